// The batch command's arguments survive any file name: UTF-16 to UTF-8 and back is exact for
// every character, broken input becomes U+FFFD instead of being dropped or misread, and a path
// argument names the same file it was given as.

#include "Arguments.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(Utf8FromUtf16, RoundTripsEveryPlaneAndLeavesAsciiAlone) {
    // ASCII, Latin-1, Cyrillic (outside most ANSI code pages), CJK, a surrogate pair (U+1F600).
    const std::u16string text = u"a/b c\u00e9\u0442\u6f22\U0001F600";
    const std::string utf8 = Utf8FromUtf16(text);
    EXPECT_EQ(utf8, "a/b c\xC3\xA9\xD1\x82\xE6\xBC\xA2\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16FromUtf8(utf8), text);
}

TEST(Utf8FromUtf16, ReplacesUnpairedSurrogates) {
    const std::u16string lone{u'x', char16_t{0xD800}, u'y', char16_t{0xDC00}};
    EXPECT_EQ(Utf8FromUtf16(lone), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(Utf16FromUtf8, ReplacesInvalidBytesOneByOne) {
    // A stray continuation byte, an overlong "/", an encoded surrogate, a cut-off sequence.
    EXPECT_EQ(Utf16FromUtf8("a\x80z"), u"a\uFFFDz");
    EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf16FromUtf8("ok\xE6\xBC"), u"ok\uFFFD\uFFFD");
}

TEST(PathFromArgument, NamesTheFileTheArgumentNamed) {
    const std::string argument = "dir/\xD1\x82\xD0\xB5\xD0\xBA\xD1\x81.ace";
#ifdef _WIN32
    EXPECT_EQ(PathFromArgument(argument).native(), L"dir/\u0442\u0435\u043a\u0441.ace");
#else
    EXPECT_EQ(PathFromArgument(argument).native(), argument);
#endif
}

} // namespace
} // namespace quorvel
