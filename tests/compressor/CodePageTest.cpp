#include "CodePage.h"

#include <gtest/gtest.h>
#include <numeric>
#include <set>

using quorvel::FromSingleByte;
using quorvel::ToSingleByte;
using namespace std::string_literals;

TEST(CodePage, EveryByteValueMapsToItsOwnCharacterAndBack) {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), std::uint8_t{0});
    const std::u16string text = FromSingleByte(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(std::set<char16_t>(text.begin(), text.end()).size(), 256u);
    EXPECT_EQ(ToSingleByte(text), all);
}

#ifndef _WIN32
// The built-in page stands in for the system's on hosts without one.
TEST(CodePage, IsWindows1252WithControlsInItsGaps) {
    const std::vector<std::uint8_t> bytes = {0x00, 0x41, 0x80, 0x81, 0x8D, 0x9D, 0x9F, 0xA0, 0xFF};
    EXPECT_EQ(FromSingleByte(bytes), u"\0A\u20AC\u0081\u008D\u009D\u0178\u00A0\u00FF"s);
}

TEST(CodePage, CharacterOutsideBecomesQuestionMark) {
    // Surrogates are code units of their own, one byte each.
    const std::u16string outside = {0x0080, 0x0100, 0x20AD, 0x4E2D, 0xD800, 0xDC00, 0xFFFF};
    EXPECT_EQ(ToSingleByte(outside), std::vector<std::uint8_t>(outside.size(), '?'));
}
#endif
