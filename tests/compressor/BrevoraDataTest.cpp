#include "Brevora.h"
#include "BrevoraErrors.h"
#include "FileContents.h"

#include <gtest/gtest.h>
#include <limits>
#include <string_view>
#include <zlib.h>

using quorvel::Brevora;
using quorvel::ByteArray;
using quorvel::CompressionCapacity;
using quorvel::OverflowError;
using quorvel::SubscriptOutOfRange;
using quorvel::test::RandomBytes;
using quorvel::test::ZlibCompress;

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Contents(const ByteArray& array) {
    return {array.bytes().begin(), array.bytes().end()};
}

// Leaves nonzero sizes behind, so a later call must visibly reset them.
void DirtySizes(Brevora& brevora) {
    ByteArray data(Bytes("some bytes to compress"));
    ASSERT_EQ(brevora.CompressData(data), Z_OK);
    ASSERT_NE(brevora.CompressedSize(), 0);
}

} // namespace

class CompressionCapacityRule
    : public testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {};

TEST_P(CompressionCapacityRule, RoundsTiesToEven) {
    EXPECT_EQ(CompressionCapacity(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Table, CompressionCapacityRule,
                         testing::Values(std::pair{0, 12}, std::pair{2, 14}, std::pair{49, 61},
                                         std::pair{50, 62}, std::pair{51, 64}, std::pair{100, 113},
                                         std::pair{150, 164}, std::pair{250, 264},
                                         std::pair{350, 366}, std::pair{450, 466},
                                         std::pair{1000, 1022}));

TEST(CompressionCapacity, ThrowsOverflowJustAboveInt32Max) {
    EXPECT_EQ(CompressionCapacity(2126221421), kMax);
    EXPECT_THROW(CompressionCapacity(2126221422), OverflowError);
    EXPECT_THROW(CompressionCapacity(kMax), OverflowError);
}

// Arrays the component must leave alone: no storage, or one element wherever it stands.
class FewerThanTwoElements : public testing::TestWithParam<ByteArray> {};

TEST_P(FewerThanTwoElements, CompressDataDoesNothing) {
    Brevora b;
    DirtySizes(b);
    ByteArray data = GetParam();
    EXPECT_EQ(b.CompressData(data), 0);
    EXPECT_EQ(data, GetParam());
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 0);
}

TEST_P(FewerThanTwoElements, DecompressDataDoesNothing) {
    Brevora b;
    DirtySizes(b);
    ByteArray data = GetParam();
    EXPECT_EQ(b.DecompressData(data, 100), 0);
    EXPECT_EQ(data, GetParam());
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Arrays, FewerThanTwoElements,
                         testing::Values(ByteArray(), ByteArray(0, 0), ByteArray(1, 1),
                                         ByteArray(-1, -1), ByteArray(7, 7), ByteArray(kMax, kMax),
                                         ByteArray(kMin, kMin)));

// Inputs of every shape: compressible, incompressible, runs of zero bytes, large.
class RoundTrip : public testing::TestWithParam<std::vector<std::uint8_t>> {};

TEST_P(RoundTrip, CompressMatchesZlibAndDecompressRestores) {
    const std::vector<std::uint8_t>& original = GetParam();
    const auto n = static_cast<std::int32_t>(original.size());
    const std::vector<std::uint8_t> expected = ZlibCompress(original);
    Brevora b;
    ByteArray data(original);

    ASSERT_EQ(b.CompressData(data), Z_OK);
    EXPECT_EQ(b.OriginalSize(), n);
    EXPECT_EQ(b.CompressedSize(), static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(data.lowerBound(), 0);
    EXPECT_EQ(Contents(data), expected);

    ASSERT_EQ(b.DecompressData(data, b.OriginalSize()), Z_OK);
    EXPECT_EQ(b.OriginalSize(), n);
    EXPECT_EQ(b.CompressedSize(), static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(data.lowerBound(), 0);
    EXPECT_EQ(Contents(data), original);
}

INSTANTIATE_TEST_SUITE_P(Inputs, RoundTrip,
                         testing::Values(Bytes("ab"), std::vector<std::uint8_t>(4096, 0),
                                         Bytes(std::string_view("\0\0abc\0\0\0def\0", 13)),
                                         RandomBytes(2), RandomBytes(1000), RandomBytes(1 << 20),
                                         std::vector<std::uint8_t>(1 << 20, 0)));

class CompressDataLowerBound : public testing::TestWithParam<std::int32_t> {};

TEST_P(CompressDataLowerBound, MovesResultToIndexZero) {
    const std::vector<std::uint8_t> original = Bytes("compress me, compress me");
    Brevora b;
    ByteArray data(original, GetParam());
    ASSERT_EQ(b.CompressData(data), Z_OK);
    EXPECT_EQ(data.lowerBound(), 0);
    EXPECT_EQ(Contents(data), ZlibCompress(original));
    EXPECT_EQ(b.OriginalSize(), static_cast<std::int32_t>(original.size()));
}

INSTANTIATE_TEST_SUITE_P(Bounds, CompressDataLowerBound, testing::Values(1, 5, -1, -30));

// The output buffer holds OrigSize + 1 bytes.
TEST(DecompressData, AcceptsOrigSizeOneShortRefusesTwoShort) {
    const std::vector<std::uint8_t> original = RandomBytes(300);
    const ByteArray compressed(ZlibCompress(original));
    Brevora b;

    ByteArray data = compressed;
    ASSERT_EQ(b.DecompressData(data, 299), Z_OK);
    EXPECT_EQ(Contents(data), original);
    EXPECT_EQ(b.OriginalSize(), 300);

    data = compressed;
    EXPECT_EQ(b.DecompressData(data, 298), Z_BUF_ERROR);
    EXPECT_EQ(data, compressed);
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 0);
}

class CorruptStream
    : public testing::TestWithParam<std::vector<std::uint8_t> (*)(std::vector<std::uint8_t>)> {};

TEST_P(CorruptStream, DecompressDataReportsDataErrorAndKeepsInput) {
    const ByteArray corrupt(GetParam()(ZlibCompress(Bytes("a text long enough to deflate"))));
    Brevora b;
    DirtySizes(b);
    ByteArray data = corrupt;
    EXPECT_EQ(b.DecompressData(data, 1000), Z_DATA_ERROR);
    EXPECT_EQ(data, corrupt);
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, CorruptStream,
    testing::Values(
        +[](std::vector<std::uint8_t> s) { return s[0] = 0x12, s; },            // bad header
        +[](std::vector<std::uint8_t> s) { return s.back() ^= 0x01, s; },       // bad checksum
        +[](std::vector<std::uint8_t> s) { return s.resize(s.size() / 2), s; }, // truncated
        +[](std::vector<std::uint8_t>) { return Bytes("not a zlib stream"); }));

TEST(DecompressData, StreamOfEmptyDataEmptiesArray) {
    const std::vector<std::uint8_t> stream = ZlibCompress({});
    ASSERT_EQ(stream.size(), 8u);
    Brevora b;
    ByteArray data(stream);
    EXPECT_EQ(b.DecompressData(data, 0), Z_OK);
    EXPECT_FALSE(data.hasStorage());
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 8);
}

// The input is read from index 0 up, whatever the lower bound.
TEST(DecompressData, ReadsFromIndexZeroBelowNegativeLowerBound) {
    const std::vector<std::uint8_t> original = Bytes("read from index zero");
    std::vector<std::uint8_t> padded = {0xAA, 0xBB};
    const std::vector<std::uint8_t> stream = ZlibCompress(original);
    padded.insert(padded.end(), stream.begin(), stream.end());
    Brevora b;
    ByteArray data(padded, -2);
    ASSERT_EQ(b.DecompressData(data, 100), Z_OK);
    EXPECT_EQ(Contents(data), original);
    EXPECT_EQ(b.CompressedSize(), static_cast<std::int32_t>(padded.size()));
}

struct OutOfContract {
    std::int32_t lowerBound;
    std::int32_t origSize;
    bool overflow; // OverflowError, else SubscriptOutOfRange
};

class DecompressDataRefuses : public testing::TestWithParam<OutOfContract> {};

TEST_P(DecompressDataRefuses, BeforeCallingZlib) {
    const ByteArray input(ZlibCompress(Bytes("payload")), GetParam().lowerBound);
    Brevora b;
    DirtySizes(b);
    ByteArray data = input;
    if (GetParam().overflow)
        EXPECT_THROW(b.DecompressData(data, GetParam().origSize), OverflowError);
    else
        EXPECT_THROW(b.DecompressData(data, GetParam().origSize), SubscriptOutOfRange);
    EXPECT_EQ(data, input);
    EXPECT_EQ(b.CompressedSize(), input.count());
    EXPECT_EQ(b.OriginalSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Arguments, DecompressDataRefuses,
                         testing::Values(OutOfContract{1, 100, false}, // no element at index 0
                                         OutOfContract{0, -1, false}, OutOfContract{0, kMin, false},
                                         OutOfContract{0, kMax, true}));

// An array that ends below index 0 has no element there either; reading "index 0 to ub" would
// run past its end.
TEST(DecompressData, RefusesArrayEndingBelowIndexZero) {
    const std::vector<std::uint8_t> stream = ZlibCompress(Bytes("payload"));
    for (const std::int32_t upperBound : {-1, -5}) {
        const ByteArray input(stream, upperBound - static_cast<std::int32_t>(stream.size()) + 1);
        ASSERT_EQ(input.upperBound(), upperBound);
        Brevora b;
        ByteArray data = input;
        EXPECT_THROW(b.DecompressData(data, 100), SubscriptOutOfRange);
        EXPECT_EQ(data, input);
        EXPECT_EQ(b.CompressedSize(), input.count());
        EXPECT_EQ(b.OriginalSize(), 0);
    }
}
