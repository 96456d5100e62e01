#include "DisplayPath.h"

#include <cstdint>
#include <string_view>
#include <type_traits>

namespace quorvel {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// Used by the UTF-16 branch only, which POSIX builds don't instantiate.
[[maybe_unused]] void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at the start of `text`, or 0 when it doesn't start with
// one. Overlong forms, surrogates and values above U+10FFFF are invalid.
std::size_t ValidSequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80; // range the second byte must fall in
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

[[maybe_unused]] std::string FromBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t length = ValidSequenceLength(bytes);
        if (length == 0) {
            out += kReplacement;
            bytes.remove_prefix(1);
        } else {
            out += bytes.substr(0, length);
            bytes.remove_prefix(length);
        }
    }
    return out;
}

template <typename WideChar> std::string FromUtf16(std::basic_string_view<WideChar> units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto unit = static_cast<char32_t>(static_cast<std::uint16_t>(units[i]));
        const bool isHigh = unit >= 0xD800 && unit <= 0xDBFF;
        const bool isLow = unit >= 0xDC00 && unit <= 0xDFFF;
        if (isHigh && i + 1 < units.size()) {
            const auto next = static_cast<char32_t>(static_cast<std::uint16_t>(units[i + 1]));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        if (isHigh || isLow)
            out += kReplacement;
        else
            AppendUtf8(out, unit);
    }
    return out;
}

// A template so that only the branch for the platform's native string type is compiled.
template <typename Char> std::string FromNative(const std::basic_string<Char>& native) {
    if constexpr (std::is_same_v<Char, char>)
        return FromBytes(native);
    else
        return FromUtf16(std::basic_string_view<Char>(native));
}

} // namespace

std::string DisplayPath(const std::filesystem::path& path) {
    return FromNative(path.native());
}

} // namespace quorvel
