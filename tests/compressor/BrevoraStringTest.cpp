#include "Brevora.h"
#include "BrevoraErrors.h"
#include "CodePage.h"
#include "FileContents.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <zlib.h>

using quorvel::Brevora;
using quorvel::FromSingleByte;
using quorvel::OverflowError;
using quorvel::SubscriptOutOfRange;
using quorvel::ToSingleByte;
using quorvel::test::RandomBytes;
using quorvel::test::ZlibCompress;
using namespace std::string_literals;

namespace {

// The compressed string zlib's own compress() gives for `text`.
std::u16string ReferenceCompressed(const std::u16string& text) {
    return FromSingleByte(ZlibCompress(ToSingleByte(text)));
}

std::u16string AllCodePageCharacters() {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), std::uint8_t{0});
    return FromSingleByte(all);
}

// Random characters of the code page whose compressed form holds a 0 byte well before its end,
// where a text cut at code 0 would lose the rest of the stream.
std::u16string TextWhoseStreamHoldsZero() {
    for (unsigned seed = 1;; ++seed) {
        std::u16string text = FromSingleByte(RandomBytes(64, seed));
        const std::u16string compressed = ReferenceCompressed(text);
        if (compressed.find(u'\0') < compressed.size() / 2)
            return text;
    }
}

} // namespace

class StringRoundTrip : public testing::TestWithParam<std::u16string> {};

TEST_P(StringRoundTrip, CompressMatchesZlibAndDecompressRestores) {
    const std::u16string& text = GetParam();
    const std::u16string expected = ReferenceCompressed(text);
    const auto length = static_cast<std::int32_t>(text.size());
    Brevora b;
    std::u16string s = text;

    ASSERT_EQ(b.CompressString(s), Z_OK);
    EXPECT_EQ(s, expected);
    EXPECT_EQ(b.OriginalSize(), length);
    EXPECT_EQ(b.CompressedSize(), static_cast<std::int32_t>(expected.size()));

    ASSERT_EQ(b.DecompressString(s, b.OriginalSize()), Z_OK);
    EXPECT_EQ(s, text);
    EXPECT_EQ(b.OriginalSize(), length);
    EXPECT_EQ(b.CompressedSize(), static_cast<std::int32_t>(expected.size()));
}

INSTANTIATE_TEST_SUITE_P(Texts, StringRoundTrip,
                         testing::Values(u""s, u"x"s, u"\0a\0\0b\0"s, AllCodePageCharacters(),
                                         std::u16string(100000, u'\u20AC'),
                                         FromSingleByte(RandomBytes(5000))));

TEST(CompressString, EmptyStringGivesStreamOfEmptyData) {
    Brevora b;
    std::u16string s;
    ASSERT_EQ(b.CompressString(s), Z_OK);
    EXPECT_EQ(s.size(), 8u);
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 8);
}

TEST(CompressString, CompressedCodeZeroReachesDecompressString) {
    const std::u16string text = TextWhoseStreamHoldsZero();
    Brevora b;
    std::u16string s = text;
    ASSERT_EQ(b.CompressString(s), Z_OK);
    ASSERT_NE(s.find(u'\0'), std::u16string::npos);
    ASSERT_EQ(b.DecompressString(s, b.OriginalSize()), Z_OK);
    EXPECT_EQ(s, text);
}

TEST(DecompressString, AcceptsOrigSizeOneShortRefusesTwoShort) {
    const std::u16string text = FromSingleByte(RandomBytes(300));
    const std::u16string compressed = ReferenceCompressed(text);
    Brevora b;

    std::u16string s = compressed;
    ASSERT_EQ(b.DecompressString(s, 299), Z_OK);
    EXPECT_EQ(s, text);

    s = compressed;
    EXPECT_EQ(b.DecompressString(s, 298), Z_BUF_ERROR);
    EXPECT_EQ(s, compressed);
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 0);
}

// OrigSize -1 is a capacity of 0: enough for empty text only. (zlib's own uncompress() reports
// a one-byte stream as success with nothing written when given no room at all.)
TEST(DecompressString, OrigSizeMinusOneFitsEmptyTextOnly) {
    Brevora b;
    std::u16string s = ReferenceCompressed(u"");
    EXPECT_EQ(b.DecompressString(s, -1), Z_OK);
    EXPECT_EQ(s, u"");
    EXPECT_EQ(b.CompressedSize(), 8);

    for (const std::u16string text : {u"x", u"xy"}) {
        s = ReferenceCompressed(text);
        EXPECT_EQ(b.DecompressString(s, -1), Z_BUF_ERROR) << "text of " << text.size();
        EXPECT_EQ(s, ReferenceCompressed(text));
        EXPECT_EQ(b.OriginalSize(), 0);
        EXPECT_EQ(b.CompressedSize(), 0);
    }
}

struct BadOrigSize {
    std::int32_t origSize;
    bool overflow; // OverflowError, else SubscriptOutOfRange
};

class DecompressStringRefuses : public testing::TestWithParam<BadOrigSize> {};

TEST_P(DecompressStringRefuses, BeforeCallingZlib) {
    const std::u16string compressed = ReferenceCompressed(u"payload");
    Brevora b;
    std::u16string s = compressed;
    if (GetParam().overflow)
        EXPECT_THROW(b.DecompressString(s, GetParam().origSize), OverflowError);
    else
        EXPECT_THROW(b.DecompressString(s, GetParam().origSize), SubscriptOutOfRange);
    EXPECT_EQ(s, compressed);
    EXPECT_EQ(b.CompressedSize(), static_cast<std::int32_t>(compressed.size()));
    EXPECT_EQ(b.OriginalSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    OrigSizes, DecompressStringRefuses,
    testing::Values(BadOrigSize{-2, false},
                    BadOrigSize{std::numeric_limits<std::int32_t>::min(), false},
                    BadOrigSize{std::numeric_limits<std::int32_t>::max(), true}));

class DecompressStringNotAStream : public testing::TestWithParam<std::u16string> {};

TEST_P(DecompressStringNotAStream, ReportsZlibFailure) {
    Brevora b;
    std::u16string s = u"some text";
    ASSERT_EQ(b.CompressString(s), Z_OK);
    s = GetParam();
    EXPECT_LT(b.DecompressString(s, 1000), 0);
    EXPECT_EQ(s, GetParam());
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, DecompressStringNotAStream,
                         testing::Values(u""s, u"not a zlib stream"s,
                                         ReferenceCompressed(u"truncated text").substr(0, 6)));

#ifndef _WIN32
TEST(StringOperations, CharacterOutsideCodePageComesBackAsQuestionMark) {
    Brevora b;
    std::u16string s = u"\u4E2D is not a zlib stream";
    EXPECT_EQ(b.DecompressString(s, 100), Z_DATA_ERROR);
    EXPECT_EQ(s, u"? is not a zlib stream");

    s = u"caf\u00E9 \u4E2D";
    ASSERT_EQ(b.CompressString(s), Z_OK);
    ASSERT_EQ(b.DecompressString(s, b.OriginalSize()), Z_OK);
    EXPECT_EQ(s, u"caf\u00E9 ?");
}
#endif
