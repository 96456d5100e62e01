#include "ByteArray.h"

#include "BrevoraErrors.h"

#include <gtest/gtest.h>
#include <limits>

using quorvel::ByteArray;
using quorvel::SubscriptOutOfRange;

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

std::vector<std::uint8_t> Contents(const ByteArray& array) {
    return {array.bytes().begin(), array.bytes().end()};
}

} // namespace

TEST(ByteArray, WithoutStorageHasZeroBoundsAndNoElements) {
    ByteArray array(std::vector<std::uint8_t>{}, 5);
    EXPECT_FALSE(array.hasStorage());
    EXPECT_EQ(array.lowerBound(), 0);
    EXPECT_EQ(array.upperBound(), 0);
    EXPECT_EQ(array.count(), 0);
    EXPECT_THROW(array.at(0), SubscriptOutOfRange);
    EXPECT_EQ(array, ByteArray());
}

TEST(ByteArray, IndexesFromItsBoundsOnly) {
    ByteArray array(std::vector<std::uint8_t>{10, 20, 30}, -1);
    EXPECT_EQ(array.upperBound(), 1);
    EXPECT_EQ(array.at(-1), 10);
    EXPECT_EQ(array.at(1), 30);
    EXPECT_THROW(array.at(-2), SubscriptOutOfRange);
    EXPECT_THROW(array.at(2), SubscriptOutOfRange);
    EXPECT_THROW(ByteArray(3, 2), SubscriptOutOfRange);
}

TEST(ByteArray, ElementAtLargestIndexKeepsItsBound) {
    ByteArray array(kMax - 1, kMax);
    EXPECT_EQ(array.upperBound(), kMax);
    EXPECT_EQ(array.at(kMax), 0);
    EXPECT_THROW(ByteArray(std::vector<std::uint8_t>(2), kMax), SubscriptOutOfRange);
}

TEST(ByteArray, UninitializedHasTheBoundsAndFailuresOfTheZeroFilledOne) {
    const ByteArray array = ByteArray::Uninitialized(-2, 5);
    EXPECT_EQ(array.lowerBound(), -2);
    EXPECT_EQ(array.upperBound(), 5);
    EXPECT_EQ(array.count(), 8);
    EXPECT_THROW(ByteArray::Uninitialized(3, 2), SubscriptOutOfRange);
}

struct Redim {
    std::int32_t lower;
    std::int32_t upper;
    bool preserve;
    std::vector<std::uint8_t> expected; // from the new lower bound up
};

class ByteArrayRedim : public testing::TestWithParam<Redim> {};

// Starts from {1, 2, 3, 4} at indices 10 .. 13.
TEST_P(ByteArrayRedim, KeepsValuesAtSharedIndices) {
    ByteArray array(std::vector<std::uint8_t>{1, 2, 3, 4}, 10);
    array.redim(GetParam().lower, GetParam().upper, GetParam().preserve);
    EXPECT_EQ(array.lowerBound(), GetParam().lower);
    EXPECT_EQ(array.upperBound(), GetParam().upper);
    EXPECT_EQ(Contents(array), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ByteArrayRedim,
    testing::Values(Redim{10, 15, true, {1, 2, 3, 4, 0, 0}}, Redim{10, 11, true, {1, 2}},
                    Redim{12, 14, true, {3, 4, 0}}, Redim{8, 11, true, {0, 0, 1, 2}},
                    Redim{20, 21, true, {0, 0}}, Redim{10, 13, false, {0, 0, 0, 0}}));

TEST(ByteArray, RedimGivesStorageAndEraseDropsIt) {
    ByteArray array;
    array.redim(0, 2, true);
    EXPECT_EQ(Contents(array), (std::vector<std::uint8_t>{0, 0, 0}));
    array.erase();
    EXPECT_FALSE(array.hasStorage());
    EXPECT_EQ(array.upperBound(), 0);
}
