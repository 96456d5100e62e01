// Restoring compressed textures: the round trip both ways over every kind of sample, the layout
// a restore writes, every kind of damage (classified as --verify classifies it, file untouched),
// a stream that inflates far past its stored size, and the files the road refuses.

#include "Brevora.h"
#include "FailureText.h"
#include "FileContents.h"
#include "NamedTexture.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureFile.h"
#include "TextureFormat.h"
#include "TextureSamples.h"
#include "TextureVerify.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace quorvel::test {
namespace {

// Prepare, stage and commit through the restoring road, as the batch command does per file.
TextureResult RestoreTextureFile(const std::filesystem::path& path) {
    TextureRewrite rewrite = NamedRewrite(path, TextureTransform::Restore);
    if (rewrite.Prepare({}) && rewrite.Stage())
        rewrite.Commit();
    return rewrite.result();
}

// The uncompressed layout a restore must write: bytes 0..6 of `file`, nine 0x40 bytes, `payload`.
Bytes ExpectedRestore(const Bytes& file, const Bytes& payload) {
    Bytes out(file.begin(), file.begin() + 7);
    out.insert(out.end(), 9, 0x40);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

struct RoundTripCase {
    const char* name;
    std::uint8_t marker;
    Bytes payload;
};

void PrintTo(const RoundTripCase& sample, std::ostream* out) {
    *out << sample.name;
}

class RestoreRoundTrip : public testing::TestWithParam<RoundTripCase> {};

// Compress then restore gives the payload back under the restored head; restore then compress
// gives the compressed file back byte for byte.
TEST_P(RestoreRoundTrip, GivesThePayloadBackAndCompressesToTheSameBytes) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes original = MakeTexture(GetParam().marker, GetParam().payload);
    WriteFileBytes(path, original);
    Brevora compressor;
    ASSERT_EQ(CompressNamedFile(compressor, path).outcome, Outcome::Compressed);
    const Bytes compressed = ReadFileBytes(path);

    const TextureResult restored = RestoreTextureFile(path);
    ASSERT_EQ(restored.outcome, Outcome::Decompressed) << DescribeFailure(restored);
    EXPECT_EQ(ReadFileBytes(path), ExpectedRestore(original, GetParam().payload));
    const auto n = static_cast<std::int32_t>(GetParam().payload.size());
    const auto c = static_cast<std::int32_t>(compressed.size() - 16);
    EXPECT_EQ(restored.originalSize, n);
    EXPECT_EQ(restored.compressedSize, c);
    EXPECT_EQ(restored.bytesSaved, c - n);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});

    ASSERT_EQ(CompressNamedFile(compressor, path).outcome, Outcome::Compressed);
    EXPECT_EQ(ReadFileBytes(path), compressed);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, RestoreRoundTrip,
    testing::Values(RoundTripCase{"MarkerAtExactly0x40", 0x40, CompressibleBytes(5000)},
                    RoundTripCase{"MarkerZero", 0x00, CompressibleBytes(300)},
                    RoundTripCase{"SmallestPayloadOfTwoBytes", 0x00, Bytes{'a', 'b'}},
                    RoundTripCase{"IncompressiblePayload", 0x3F, RandomBytes(4000)},
                    // Longer than any internal piece size of zlib or of the verifier.
                    RoundTripCase{"LargeIncompressiblePayload", 0x12, RandomBytes(600000, 7)}),
    [](const auto& p) { return std::string(p.param.name); });

void SetStoredSize(Bytes& file, std::int64_t delta) {
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= static_cast<std::uint32_t>(file[static_cast<std::size_t>(8 + i)]) << (8 * i);
    n = static_cast<std::uint32_t>(static_cast<std::int64_t>(n) + delta);
    for (int i = 0; i < 4; ++i)
        file[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(n >> (8 * i));
}

struct Damage {
    const char* name;
    std::size_t payloadSize;
    void (*apply)(Bytes& file);
    VerifyProblem expected;
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

const Damage kDamages[] = {
    {"TruncatedStream", 5000, [](Bytes& f) { f.resize(f.size() - 3); }, VerifyProblem::Truncated},
    {"TruncatedLarge", 600000, [](Bytes& f) { f.resize(f.size() - 300000); },
     VerifyProblem::Truncated},
    {"NoStreamAtAll", 5000, [](Bytes& f) { f.resize(16); }, VerifyProblem::Truncated},
    {"StoredSizeOneTooBig", 5000, [](Bytes& f) { SetStoredSize(f, 1); },
     VerifyProblem::SizeMismatch},
    {"StoredSizeOneTooSmall", 5000, [](Bytes& f) { SetStoredSize(f, -1); },
     VerifyProblem::SizeMismatch},
    {"StoredSizeZero", 5000, [](Bytes& f) { SetStoredSize(f, -5000); },
     VerifyProblem::SizeMismatch},
    {"StoredSizeNegative", 5000, [](Bytes& f) { f[11] = 0x80; }, VerifyProblem::NegativeSize},
    {"TrailingJunk", 5000, [](Bytes& f) { f.push_back(0); }, VerifyProblem::TrailingData},
    {"TrailingJunkLarge", 600000, [](Bytes& f) { f.insert(f.end(), 300000, 'x'); },
     VerifyProblem::TrailingData},
    {"FlippedStreamByte", 5000, [](Bytes& f) { f[f.size() / 2] ^= 0x55; },
     VerifyProblem::CorruptStream},
    {"BadChecksum", 5000, [](Bytes& f) { f.back() ^= 1; }, VerifyProblem::CorruptStream},
    // More than promised comes out before the checksum is read: the size is the first problem.
    {"StoredSizeTwoTooSmallAndBadChecksum", 5000,
     [](Bytes& f) {
         SetStoredSize(f, -2);
         f.back() ^= 1;
     },
     VerifyProblem::SizeMismatch},
    {"BadSeparator", 5000, [](Bytes& f) { f[13] = '#'; }, VerifyProblem::BadSeparator},
    {"MarkedButShort", 5000, [](Bytes& f) { f.resize(12); }, VerifyProblem::TooShort},
};

class RestoreDamage : public testing::TestWithParam<Damage> {};

// A damaged file fails at Decompress with the problem --verify finds in it, and stays as it was.
TEST_P(RestoreDamage, FailsWithTheVerifiersProblemAndLeavesTheFile) {
    const Damage& damage = GetParam();
    TempDir dir;
    const auto path = dir / "t.ace";
    const Bytes payload = damage.payloadSize > 100000 ? RandomBytes(damage.payloadSize)
                                                      : CompressibleBytes(damage.payloadSize);
    Bytes file = ExpectedRewrite(MakeTexture(0x40, payload));
    damage.apply(file);
    WriteFileBytes(path, file);

    const TextureResult result = RestoreTextureFile(path);
    EXPECT_EQ(result.failedStep, Step::Decompress) << DescribeFailure(result);
    EXPECT_EQ(result.error, TextureErrc::DamagedStream);
    EXPECT_EQ(result.problem, damage.expected) << DescribeProblem(result.problem);
    EXPECT_EQ(result.problem, VerifyTextureFile(path).problem);
    EXPECT_EQ(ReadFileBytes(path), file);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"t.ace"});
}

INSTANTIATE_TEST_SUITE_P(TextureRestore, RestoreDamage, testing::ValuesIn(kDamages),
                         [](const auto& param) { return std::string(param.param.name); });

// A stream of 64 MiB of zeros (about 64 KB) under a stored size of 1000: the restore stops once
// one byte more than promised came out and never holds more than that.
TEST(InflatePayload, StreamInflatingFarPastItsStoredSizeIsAMismatchNotAnAllocation) {
    const Bytes stream = ZlibCompress(Bytes(64u << 20, 0));
    ByteBuffer payload;
    EXPECT_EQ(InflatePayload(stream, 1000, payload), VerifyProblem::SizeMismatch);
    EXPECT_LE(payload.capacity(), 1001u);

    TempDir dir;
    const auto path = dir / "bomb.ace";
    const TextureHead head = CompressedHead(std::array<std::uint8_t, 8>{'T', 'X', 'R'}, 1000);
    Bytes file(head.begin(), head.end());
    file.insert(file.end(), stream.begin(), stream.end());
    WriteFileBytes(path, file);
    const TextureResult result = RestoreTextureFile(path);
    EXPECT_EQ(result.problem, VerifyProblem::SizeMismatch) << DescribeFailure(result);
    EXPECT_EQ(ReadFileBytes(path), file);
}

// The other way round: a few bytes of stream claiming the largest stored size. The answer is
// the same as with the room for it, but the memory taken is what the stream could fill.
TEST(InflatePayload, ShortStreamClaimingAHugeSizeTakesOnlyTheMemoryItCouldFill) {
    const Bytes payloadBytes = CompressibleBytes(5000);
    const Bytes stream = ZlibCompress(payloadBytes);
    ByteBuffer payload;
    EXPECT_EQ(InflatePayload(stream, INT32_MAX, payload), VerifyProblem::SizeMismatch);
    EXPECT_LE(payload.capacity(), stream.size() * 1032 + 64);
    EXPECT_EQ(InflatePayload(std::span(stream).first(stream.size() / 2), INT32_MAX, payload),
              VerifyProblem::Truncated);
    EXPECT_LE(payload.capacity(), stream.size() * 1032 + 64);
    // A stream at deflate's densest still fits in what is set aside for it.
    const Bytes zeros(8u << 20, 0);
    const Bytes dense = ZlibCompress(zeros);
    EXPECT_EQ(InflatePayload(dense, static_cast<std::int32_t>(zeros.size()), payload),
              VerifyProblem::None);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), zeros.begin(), zeros.end()));
}

// Not marked: nothing to restore. Marked with another value than 0x46: a compressed layout this
// program doesn't write, so it can't know what the bytes mean. Both stay untouched.
TEST(RestoreTexture, LeavesFilesNotInTheLayoutItWritesAlone) {
    TempDir dir;
    const Bytes payload = CompressibleBytes(3000);
    const std::pair<std::uint8_t, Outcome> cases[] = {
        {0x00, Outcome::NotCompressed}, {0x40, Outcome::NotCompressed},
        {0x41, Outcome::OtherLayout},   {0x47, Outcome::OtherLayout},
        {0xFF, Outcome::OtherLayout},
    };
    for (const auto& [marker, outcome] : cases) {
        Bytes file = ExpectedRewrite(MakeTexture(0x40, payload));
        file[7] = marker;
        const auto path = dir / "t.ace";
        WriteFileBytes(path, file);
        const TextureResult result = RestoreTextureFile(path);
        EXPECT_EQ(result.outcome, outcome) << int(marker);
        EXPECT_EQ(ReadFileBytes(path), file) << int(marker);
    }
    // Too short to be anything: not marked, so left alone rather than refused.
    WriteFileBytes(dir / "t.ace", Bytes{1, 2, 3});
    EXPECT_EQ(RestoreTextureFile(dir / "t.ace").outcome, Outcome::NotCompressed);
}

#ifndef _WIN32 // mode bits and symbolic links
// The road's checks hold for restoring as for compressing: read-only and hard-linked files are
// refused, a link is followed and stays a link.
TEST(RestoreTexture, RefusesReadOnlyAndHardLinkedFilesAndFollowsLinks) {
    TempDir dir;
    const Bytes payload = CompressibleBytes(2000);
    const Bytes original = MakeTexture(0x40, payload);
    const Bytes compressed = ExpectedRewrite(original);

    WriteFileBytes(dir / "locked.ace", compressed);
    ASSERT_EQ(::chmod((dir / "locked.ace").c_str(), 0444), 0);
    const TextureResult locked = RestoreTextureFile(dir / "locked.ace");
    EXPECT_EQ(locked.failedStep, Step::Check);
    EXPECT_EQ(locked.error, std::error_code(EACCES, std::system_category()));
    EXPECT_EQ(ReadFileBytes(dir / "locked.ace"), compressed);

    WriteFileBytes(dir / "a.ace", compressed);
    std::filesystem::create_hard_link(dir / "a.ace", dir / "b.ace");
    EXPECT_EQ(RestoreTextureFile(dir / "a.ace").error, TextureErrc::HardLinked);
    EXPECT_EQ(ReadFileBytes(dir / "b.ace"), compressed);

    std::filesystem::create_directory(dir / "real");
    WriteFileBytes(dir / "real" / "brick.ace", compressed);
    std::filesystem::create_symlink("real/brick.ace", dir / "link.ace");
    const TextureResult linked = RestoreTextureFile(dir / "link.ace");
    EXPECT_EQ(linked.outcome, Outcome::Decompressed) << DescribeFailure(linked);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ace"));
    EXPECT_EQ(ReadFileBytes(dir / "real" / "brick.ace"), ExpectedRestore(original, payload));
}
#endif

#ifndef _WIN32 // Windows refuses to replace a file that is open
// A file replaced by another program between reading and renaming is not overwritten.
TEST(RestoreTexture, FileChangedMeanwhileIsLeftWithTheOtherProgramsContent) {
    TempDir dir;
    const auto path = dir / "busy.ace";
    const Bytes payload = CompressibleBytes(2000);
    WriteFileBytes(path, ExpectedRewrite(MakeTexture(0x40, payload)));
    TextureRewrite rewrite = NamedRewrite(path, TextureTransform::Restore);
    rewrite.Prepare({});
    ASSERT_EQ(rewrite.result().outcome, Outcome::Decompressed);
    rewrite.Stage();
    ASSERT_TRUE(rewrite.staged());

    const Bytes theirs = MakeTexture(0x40, CompressibleBytes(2500));
    WriteFileBytes(dir / "other", theirs);
    std::filesystem::rename(dir / "other", path);
    EXPECT_FALSE(rewrite.Commit());
    EXPECT_EQ(rewrite.result().failedStep, Step::Replace);
    EXPECT_EQ(rewrite.result().error, TextureErrc::FileChanged);
    EXPECT_EQ(ReadFileBytes(path), theirs);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"busy.ace"});
}
#endif

TEST(DescribeRestoreFailure, SpeaksOfDecompressingAndNamesTheDamage) {
    TextureResult result;
    result.path = "brick.ace";
    result.transform = TextureTransform::Restore;
    const std::error_code full = ErrorFromErrno(ENOSPC);
    result.SetFailure(Step::Write, full);
    EXPECT_EQ(DescribeFailure(result),
              "Could not write the decompressed copy of brick.ace: " + DescribeError(full) +
                  ". The original file is unchanged.");
    result.SetFailure(Step::Decompress, make_error_code(TextureErrc::DamagedStream));
    result.problem = VerifyProblem::TrailingData;
    EXPECT_EQ(DescribeFailure(result),
              "Could not decompress brick.ace: bytes follow the end of the zlib stream. The "
              "file is unchanged.");
}

} // namespace
} // namespace quorvel::test
