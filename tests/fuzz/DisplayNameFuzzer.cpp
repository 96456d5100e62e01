// Fuzz target of how a file name is shown: DisplayPath (a native name as UTF-8 text), then the
// console's form of it (TerminalName) and the JSON report's (JsonString). The input is the name's
// native bytes.
//
// What must hold: the display text is valid UTF-8 and is the name itself when the name is valid
// UTF-8; the console form holds no raw control character (C0, DEL or C1) and is either the text
// itself or reads back, escape by escape, to the text; no other text shows the same on the
// console; the JSON string holds no raw control character and reads back to the text.
//
// Not asserted, because it doesn't hold: DisplayPath gives U+FFFD for every byte that isn't
// UTF-8, so two names differing only there display the same; bidirectional controls and the
// line and paragraph separators (U+2028, U+2029) reach the console raw.

#include "ConsoleReport.h"
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

// True when valid UTF-8 `text` holds a control character.
bool HasControl(std::string_view text) {
    while (!text.empty()) {
        const auto decoded = DecodeUtf8(text);
        if (decoded && IsControl(decoded->first))
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

std::optional<std::string> ReadTerminalName(std::string_view shown) {
    return Unescape(shown, "ntre\"\\", "\n\t\r\x1b\"\\");
}

std::optional<std::string> ReadJsonString(std::string_view json) {
    return Unescape(json, "\"\\/bfnrt", "\"\\/\b\f\n\r\t");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string display = DisplayPath(std::filesystem::path(name));
    FUZZ_CHECK(IsUtf8(display));
    if (IsUtf8(name))
        FUZZ_CHECK(display == name);

    const std::string shown = TerminalName(display);
    FUZZ_CHECK(IsUtf8(shown) && !HasControl(shown));
    FUZZ_CHECK(shown == display || ReadTerminalName(shown) == display);
    // A text shown as it is that reads as a quoted one must not be what another name shows.
    if (const auto other = ReadTerminalName(shown); other && *other != display)
        FUZZ_CHECK(TerminalName(*other) != shown);

    const std::string json = JsonString(display);
    FUZZ_CHECK(
        std::ranges::none_of(json, [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
    FUZZ_CHECK(ReadJsonString(json) == display);
    return 0;
}
