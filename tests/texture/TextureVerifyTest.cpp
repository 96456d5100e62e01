// --verify must catch every way a compressed texture can be damaged, including damage that lies
// beyond the first piece the check reads, and must accept what the rewrite writes.

#include "TextureVerify.h"

#include "FailureText.h"
#include "FileContents.h"
#include "NamedTexture.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureFile.h"
#include "TextureSamples.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#ifndef _WIN32
#include "ChildProcess.h"
#endif

namespace quorvel {
namespace {

using test::Bytes;

struct Damage {
    const char* name;
    std::size_t payloadSize;
    void (*apply)(Bytes& file);
    VerifyProblem expected;
};

void SetStoredSize(Bytes& file, std::int64_t delta) {
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= static_cast<std::uint32_t>(file[static_cast<std::size_t>(8 + i)]) << (8 * i);
    n = static_cast<std::uint32_t>(static_cast<std::int64_t>(n) + delta);
    for (int i = 0; i < 4; ++i)
        file[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(n >> (8 * i));
}

// Random payloads of 600 kB give streams longer than the check's 256 KiB read size.
const Damage kDamages[] = {
    {"Sound", 5000, [](Bytes&) {}, VerifyProblem::None},
    {"SoundLarge", 600000, [](Bytes&) {}, VerifyProblem::None},
    {"TruncatedStream", 5000, [](Bytes& f) { f.resize(f.size() - 3); }, VerifyProblem::Truncated},
    {"TruncatedLarge", 600000, [](Bytes& f) { f.resize(f.size() - 300000); },
     VerifyProblem::Truncated},
    {"NoStreamAtAll", 5000, [](Bytes& f) { f.resize(16); }, VerifyProblem::Truncated},
    {"StoredSizeOneTooBig", 5000, [](Bytes& f) { SetStoredSize(f, 1); },
     VerifyProblem::SizeMismatch},
    {"StoredSizeOneTooSmall", 5000, [](Bytes& f) { SetStoredSize(f, -1); },
     VerifyProblem::SizeMismatch},
    {"StoredSizeNegative", 5000, [](Bytes& f) { f[11] = 0x80; }, VerifyProblem::NegativeSize},
    {"TrailingJunk", 5000, [](Bytes& f) { f.push_back(0); }, VerifyProblem::TrailingData},
    {"TrailingJunkPastFirstRead", 600000, [](Bytes& f) { f.insert(f.end(), 300000, 'x'); },
     VerifyProblem::TrailingData},
    {"FlippedStreamByte", 5000, [](Bytes& f) { f[f.size() / 2] ^= 0x55; },
     VerifyProblem::CorruptStream},
    {"BadChecksum", 5000, [](Bytes& f) { f.back() ^= 1; }, VerifyProblem::CorruptStream},
    {"BadSeparator", 5000, [](Bytes& f) { f[13] = '#'; }, VerifyProblem::BadSeparator},
    {"MarkedButShort", 5000, [](Bytes& f) { f.resize(12); }, VerifyProblem::TooShort},
    {"NotMarked", 5000, [](Bytes& f) { f[7] = 0x40; }, VerifyProblem::NotMarked},
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

class VerifyDamage : public testing::TestWithParam<Damage> {};

TEST_P(VerifyDamage, FindsTheProblemAndChangesNothing) {
    const Damage& damage = GetParam();
    test::TempDir dir;
    const Bytes payload = damage.payloadSize > 100000 ? test::RandomBytes(damage.payloadSize)
                                                      : test::CompressibleBytes(damage.payloadSize);
    Bytes file = test::ExpectedRewrite(test::MakeTexture(0x40, payload));
    damage.apply(file);
    test::WriteFileBytes(dir / "t.ace", file);

    const VerifyResult result = VerifyTextureFile(dir / "t.ace");
    EXPECT_EQ(result.problem, damage.expected) << DescribeProblem(result.problem);
    EXPECT_EQ(test::ReadFileBytes(dir / "t.ace"), file);
}

INSTANTIATE_TEST_SUITE_P(TextureVerify, VerifyDamage, testing::ValuesIn(kDamages),
                         [](const auto& param) { return std::string(param.param.name); });

// Only 0x46 is the layout this program writes: a file marked otherwise is another layout to
// --verify, as to restoring, whether its stream would inflate or not.
TEST(TextureVerify, AnotherMarkerIsAnotherLayoutAsForRestoring) {
    test::TempDir dir;
    const Bytes sound =
        test::ExpectedRewrite(test::MakeTexture(0x40, test::CompressibleBytes(900)));
    for (const std::uint8_t marker : {std::uint8_t{0x41}, std::uint8_t{0x47}, std::uint8_t{0xFF}}) {
        for (const bool damaged : {false, true}) {
            Bytes file = sound;
            file[7] = marker;
            if (damaged)
                file.resize(20);
            test::WriteFileBytes(dir / "t.ace", file);
            SCOPED_TRACE(std::to_string(marker) + (damaged ? " damaged" : " sound"));
            EXPECT_EQ(VerifyTextureFile(dir / "t.ace").outcome, Outcome::OtherLayout);
            TextureRewrite restore = test::NamedRewrite(dir / "t.ace", TextureTransform::Restore);
            restore.Prepare({});
            EXPECT_EQ(restore.result().outcome, Outcome::OtherLayout);
        }
    }
    test::WriteFileBytes(dir / "t.ace", sound);
    EXPECT_EQ(VerifyTextureFile(dir / "t.ace").outcome, Outcome::Verified);
}

TEST(TextureVerify, MissingFileIsAReadErrorWithTheSystemReason) {
    test::TempDir dir;
    const VerifyResult result = VerifyTextureFile(dir / "gone.ace");
    EXPECT_EQ(result.outcome, Outcome::VerifyFailed);
    EXPECT_EQ(result.failedStep, Step::Open);
    EXPECT_EQ(result.problem, VerifyProblem::None);
    EXPECT_TRUE(result.error == std::errc::no_such_file_or_directory);
}

#ifndef _WIN32 // POSIX only: see the Windows section of the README
// A pipe or a folder named by mistake is refused at once: a pipe must not hold the check up
// waiting for a writer (checked in a child, so a check that waits fails instead of hanging).
TEST(TextureVerify, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.ace").c_str(), 0644), 0);
    std::filesystem::create_directory(dir / "folder.ace");
    for (const char* name : {"pipe.ace", "folder.ace"}) {
        const test::ChildStatus status = test::RunInChild(
            [&] {
                const VerifyResult result = VerifyTextureFile(dir / name);
                return result.outcome == Outcome::VerifyFailed && result.failedStep == Step::Open &&
                               result.error == make_error_code(TextureErrc::NotRegularFile)
                           ? 0
                           : 1;
            },
            std::chrono::seconds(20));
        EXPECT_TRUE(status.exitedWith(0)) << name << ": " << status.describe();
    }
}
#else
TEST(TextureVerify, AFolderIsRefusedAsNotARegularFile) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "folder.ace");
    const VerifyResult result = VerifyTextureFile(dir / "folder.ace");
    EXPECT_EQ(result.outcome, Outcome::VerifyFailed);
    EXPECT_EQ(result.failedStep, Step::Open);
    EXPECT_EQ(result.error, make_error_code(TextureErrc::NotRegularFile));
}
#endif

} // namespace
} // namespace quorvel
