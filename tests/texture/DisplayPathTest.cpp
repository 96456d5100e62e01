// How a path is shown to people in every front end, and how reports carry it exactly: a name
// that could act on a terminal or pass for another is quoted and escaped, every byte that isn't
// text shows as itself, and no two names show alike.

#include "DisplayPath.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// A path from UTF-8 text: the bytes on POSIX, converted on Windows.
fs::path Utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

TEST(DisplayPath, ShowsATextNameAsItIs) {
    for (const std::string name : {"brick \xC3\xA9.ace", "a\"b\\c.ace", "\xE6\xBC\xA2\xE5\xAD\x97",
                                   "\xF0\x9F\x98\x80 a\u200Db.ace"}) {
        EXPECT_EQ(DisplayPath(Utf8Path(name)), name);
        EXPECT_EQ(PathText(Utf8Path(name)), name);
    }
}

// A newline could forge a line and ESC drive the terminal; such a name, and one starting with a
// quote (or `"\e41"` would pass for ESC and "41"), is quoted with C escapes.
TEST(DisplayPath, QuotesAndEscapesControlCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"a\nb\t\r\x1b[2J\x7F\x01\"\\.ace", "\"a\\nb\\t\\r\\e[2J\\x7F\\x01\\\"\\\\.ace\""},
        {"csi\xC2\x9B"
         "31m.ace",
         "\"csi\\u009B31m.ace\""},
        {"\x1b"
         "41",
         "\"\\e41\""},
        {"\"\\e41\"", "\"\\\"\\\\e41\\\"\""},
        {"\"quoted\".ace", "\"\\\"quoted\\\".ace\""},
    };
    for (const auto& [name, shown] : cases)
        EXPECT_EQ(DisplayPath(Utf8Path(name)), shown) << name;
}

// Bidirectional controls turn the text after them around ("\u202Eecafdrow.exe" reads as
// "exe.wordface"), and line and paragraph separators break the line: each is escaped.
TEST(DisplayPath, EscapesBidirectionalControlsAndLineSeparators) {
    const char* const escaped[] = {"\u061C", "\u200E", "\u200F", "\u202A", "\u202B",
                                   "\u202C", "\u202D", "\u202E", "\u2066", "\u2067",
                                   "\u2068", "\u2069", "\u2028", "\u2029"};
    for (const char* c : escaped) {
        const std::string name = std::string("a") + c + "b.ace";
        const std::string shown = DisplayPath(Utf8Path(name));
        EXPECT_EQ(shown.find(c), std::string::npos) << shown;
        EXPECT_TRUE(shown.starts_with("\"a\\u") && shown.ends_with("b.ace\"")) << shown;
    }
    EXPECT_EQ(DisplayPath(Utf8Path("x\u202Egpj.ace")), "\"x\\u202Egpj.ace\"");
}

#ifndef _WIN32
// Bytes that are not UTF-8 show as themselves, so names differing only there differ on screen,
// and reports carry the bytes.
TEST(DisplayPath, ShowsEachByteThatIsNotUtf8AsItsCode) {
    EXPECT_EQ(DisplayPath("\xFF\xFE.ace"), "\"\\xFF\\xFE.ace\"");
    EXPECT_NE(DisplayPath("a\xFF"), DisplayPath("a\xFE"));
    // A sequence cut short, an overlong form and a surrogate are bytes, not characters.
    EXPECT_EQ(DisplayPath("\xC3 \xC0\xAF \xED\xA0\x80"), "\"\\xC3 \\xC0\\xAF \\xED\\xA0\\x80\"");
    EXPECT_EQ(PathText("\xFF\xFE.ace"), std::nullopt);
    EXPECT_EQ(NativeBytes("\xFF\xFE.ace"), "\xFF\xFE.ace");
}
#else
// An unpaired surrogate shows as its code; a path typed with '/' shows with '\'.
TEST(DisplayPath, ShowsAnUnpairedSurrogateAndTheSystemsSeparator) {
    EXPECT_EQ(DisplayPath(fs::path(std::wstring{L'a', wchar_t(0xD800), L'b'})), "\"a\\uD800b\"");
    EXPECT_EQ(PathText(fs::path(std::wstring{L'a', wchar_t(0xDC00)})), std::nullopt);
    EXPECT_EQ(NativeBytes(fs::path(std::wstring{L'a', wchar_t(0xD800)})),
              std::string("a\0\x00\xD8", 4));
    EXPECT_EQ(DisplayPath("C:/Textures/brick.ace"), "C:\\Textures\\brick.ace");
    EXPECT_EQ(PathText("C:/Textures\\brick.ace"), "C:\\Textures\\brick.ace");
    EXPECT_EQ(DisplayPath("C:/T/\x1b.ace"), "\"C:\\\\T\\\\\\e.ace\"");
}
#endif

} // namespace
} // namespace quorvel
