// Fuzz target of how a file name is shown and reported: DisplayPath (the one form every front end
// shows, the console's included), PathText and NativeBytes (how the JSON report carries a name
// exactly) and the JSON report's strings (JsonString, Base64). The input is the native bytes of
// two names, split at the first NUL byte (no name holds one); without a NUL it is one name, and
// the second is the first with its last byte dropped.
//
// What must hold, for each name: the display is valid UTF-8 and holds no raw control character
// (C0, DEL or C1), no bidirectional control (U+061C, U+200E, U+200F, U+202A..U+202E,
// U+2066..U+2069) and no line or paragraph separator (U+2028, U+2029), so nothing reaches the
// console raw that could act on it or make the name look like another; it is the name itself when
// the name is such text and doesn't start with a double quote, and otherwise a quoted text that
// reads back, escape by escape, to the name's very bytes; PathText is the name exactly when it is
// UTF-8 and nothing otherwise; NativeBytes are its bytes and survive base64; a JSON string holds
// no raw control character and reads back to its text. For the two names: they display alike
// only when they are the same name.

#include "DisplayPath.h"
#include "FuzzCheck.h"
#include "JsonReport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace quorvel;

// The code point at the start of `text` and its length in bytes, or nullopt when `text` doesn't
// start with a shortest-form UTF-8 sequence of a Unicode scalar value.
std::optional<std::pair<char32_t, std::size_t>> DecodeUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = lead < 0x80       ? 1
                         : lead >> 5 == 6  ? 2
                         : lead >> 4 == 14 ? 3
                         : lead >> 3 == 30 ? 4
                                           : 0;
    if (length == 0 || text.size() < length)
        return std::nullopt;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (byte(i) >> 6 != 2)
            return std::nullopt;
        c = c << 6 | (byte(i) & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kShortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    return std::pair{c, length};
}

bool IsUtf8(std::string_view text) {
    while (!text.empty()) {
        const auto decoded = DecodeUtf8(text);
        if (!decoded)
            return false;
        text.remove_prefix(decoded->second);
    }
    return true;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// What must never reach a console raw: controls, bidirectional controls, line and paragraph
// separators.
bool MustNotShowRaw(char32_t c) {
    return IsControl(c) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 ||
           c == 0x2029;
}

// True when `text` holds a character (of its valid UTF-8 sequences) `test` is true of.
bool Holds(std::string_view text, bool (*test)(char32_t)) {
    while (!text.empty()) {
        const auto decoded = DecodeUtf8(text);
        if (decoded && test(decoded->first))
            return true;
        text.remove_prefix(decoded ? decoded->second : 1);
    }
    return false;
}

std::string Utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::optional<unsigned> Hex(std::string_view digits) {
    unsigned value = 0;
    for (const char c : digits) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

// Reads a quoted, escaped text back: `escapes` maps the letter after a backslash to the
// character it stands for; \xHH and \uHHHH are hexadecimal. nullopt when `quoted` isn't one.
std::optional<std::string> Unescape(std::string_view quoted, std::string_view escapes,
                                    std::string_view meanings) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return std::nullopt;
    const std::string_view body = quoted.substr(1, quoted.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '"')
            return std::nullopt;
        if (body[i] != '\\') {
            out += body[i];
            continue;
        }
        if (++i == body.size())
            return std::nullopt;
        const char letter = body[i];
        const std::size_t digits = letter == 'x' ? 2 : letter == 'u' ? 4 : 0;
        if (digits > 0) {
            const auto value = Hex(body.substr(i + 1, digits));
            if (!value || body.size() - i - 1 < digits || (*value >= 0xD800 && *value <= 0xDFFF))
                return std::nullopt;
            out += letter == 'x' ? std::string(1, static_cast<char>(*value)) : Utf8(*value);
            i += digits;
        } else if (const std::size_t at = escapes.find(letter); at != std::string_view::npos) {
            out += meanings[at];
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// A quoted display read back: \xHH is that byte, \uHHHH that character in UTF-8.
std::optional<std::string> ReadDisplay(std::string_view shown) {
    return Unescape(shown, "ntre\"\\", "\n\t\r\x1b\"\\");
}

std::optional<std::string> ReadJsonString(std::string_view json) {
    return Unescape(json, "\"\\/bfnrt", "\"\\/\b\f\n\r\t");
}

std::optional<std::string> ReadBase64(std::string_view text) {
    static constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t group = 0;
        std::size_t padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            const std::size_t digit = kDigits.find(c);
            if (c == '=' && i + 4 == text.size() && k >= 2)
                ++padding;
            else if (digit == std::string_view::npos || padding > 0)
                return std::nullopt;
            group = group << 6 |
                    static_cast<std::uint32_t>(digit == std::string_view::npos ? 0 : digit);
        }
        for (std::size_t k = 0; k < 3 - padding; ++k)
            out += static_cast<char>(group >> (16 - 8 * k) & 0xFF);
    }
    return out;
}

void CheckJsonString(std::string_view text) {
    const std::string json = JsonString(text);
    FUZZ_CHECK(
        std::ranges::none_of(json, [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
    FUZZ_CHECK(ReadJsonString(json) == text);
}

// Every invariant of one name; returns its display.
std::string CheckName(const std::string& name) {
    const std::filesystem::path path(name);
    const std::string display = DisplayPath(path);
    FUZZ_CHECK(IsUtf8(display) && !Holds(display, MustNotShowRaw));
    const bool plain = IsUtf8(name) && !Holds(name, MustNotShowRaw) && !name.starts_with('"');
    if (plain)
        FUZZ_CHECK(display == name);
    else
        FUZZ_CHECK(display.starts_with('"') && ReadDisplay(display) == name);

    const std::optional<std::string> text = PathText(path);
    FUZZ_CHECK(IsUtf8(name) ? text == name : !text.has_value());
    const std::string bytes = NativeBytes(path);
    FUZZ_CHECK(bytes == name);
    FUZZ_CHECK(ReadBase64(Base64(bytes)) == bytes);
    CheckJsonString(text ? *text : display);
    return display;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string first(input.substr(0, split));
    const std::string second(split == std::string_view::npos
                                 ? input.substr(0, input.empty() ? 0 : input.size() - 1)
                                 : input.substr(split + 1));
    const std::string shownFirst = CheckName(first);
    const std::string shownSecond = CheckName(second);
    FUZZ_CHECK((shownFirst == shownSecond) == (first == second));
    return 0;
}
