#include "DisplayPath.h"

#include <cstdint>
#include <string_view>
#include <type_traits>

namespace quorvel {

namespace {

// One unit of a native name: a Unicode scalar value, or something that is none: a byte outside
// valid UTF-8 (POSIX), an unpaired surrogate (Windows).
struct Unit {
    char32_t value;
    bool isText;
};

void AppendUtf8(std::string& out, char32_t c) {
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

template <typename Visit> void ForEachUnit(std::string_view bytes, Visit&& visit) {
    while (!bytes.empty()) {
        const std::size_t length = ValidSequenceLength(bytes);
        if (length == 0) {
            visit(Unit{static_cast<unsigned char>(bytes[0]), false});
            bytes.remove_prefix(1);
            continue;
        }
        const auto lead = static_cast<unsigned char>(bytes[0]);
        char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t i = 1; i < length; ++i)
            c = (c << 6) | (static_cast<unsigned char>(bytes[i]) & 0x3Fu);
        visit(Unit{c, true});
        bytes.remove_prefix(length);
    }
}

template <typename WideChar, typename Visit>
void ForEachUnit(std::basic_string_view<WideChar> units, Visit&& visit) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto unit = static_cast<char32_t>(static_cast<std::uint16_t>(units[i]));
        const bool isHigh = unit >= 0xD800 && unit <= 0xDBFF;
        const bool isLow = unit >= 0xDC00 && unit <= 0xDFFF;
        if (isHigh && i + 1 < units.size()) {
            const auto next = static_cast<char32_t>(static_cast<std::uint16_t>(units[i + 1]));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                visit(Unit{0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), true});
                ++i;
                continue;
            }
        }
        visit(Unit{unit, !(isHigh || isLow)});
    }
}

// Visits the units of `path` with '/' as the system's separator. A template on the native
// character type, so that only the platform's branch is compiled.
template <typename Visit> void ForEachUnit(const std::filesystem::path& path, Visit&& visit) {
    std::filesystem::path preferred = path;
    preferred.make_preferred();
    using Char = std::filesystem::path::value_type;
    ForEachUnit(std::basic_string_view<Char>(preferred.native()), visit);
}

bool IsBidiControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// What would act on a terminal or a label, or show as something it is not.
bool MustEscape(const Unit& unit) {
    const char32_t c = unit.value;
    return !unit.isText || c < 0x20 || (c >= 0x7F && c <= 0x9F) || IsBidiControl(c) ||
           c == 0x2028 || c == 0x2029;
}

void AppendHex(std::string& out, const char* prefix, char32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
}

void AppendEscaped(std::string& out, const Unit& unit) {
    const char32_t c = unit.value;
    if (unit.isText) {
        switch (c) {
        case '\n':
            out += "\\n";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\r':
            out += "\\r";
            return;
        case 0x1B:
            out += "\\e";
            return;
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        default:
            break;
        }
    }
    // A byte (a C0 control, DEL, or one outside valid UTF-8) as itself; a character or an
    // unpaired surrogate as its code.
    if (c < 0x20 || c == 0x7F || (!unit.isText && c <= 0xFF))
        AppendHex(out, "\\x", c, 2);
    else if (MustEscape(unit))
        AppendHex(out, "\\u", c, 4);
    else
        AppendUtf8(out, c);
}

// A template so that only the branch for the platform's native string type is compiled.
template <typename Char> std::string BytesOf(const std::basic_string<Char>& native) {
    if constexpr (std::is_same_v<Char, char>) {
        return native;
    } else {
        std::string out;
        out.reserve(2 * native.size());
        for (const Char unit : native) {
            const auto value = static_cast<std::uint16_t>(unit);
            out += static_cast<char>(value & 0xFF);
            out += static_cast<char>(value >> 8);
        }
        return out;
    }
}

} // namespace

std::string DisplayPath(const std::filesystem::path& path) {
    bool quoted = false;
    bool first = true;
    ForEachUnit(path, [&](const Unit& unit) {
        quoted = quoted || MustEscape(unit) || (first && unit.value == '"');
        first = false;
    });
    std::string out = quoted ? "\"" : "";
    ForEachUnit(path, [&](const Unit& unit) {
        if (quoted)
            AppendEscaped(out, unit);
        else
            AppendUtf8(out, unit.value);
    });
    if (quoted)
        out += '"';
    return out;
}

std::optional<std::string> PathText(const std::filesystem::path& path) {
    std::string out;
    bool isText = true;
    ForEachUnit(path, [&](const Unit& unit) {
        isText = isText && unit.isText;
        AppendUtf8(out, unit.value);
    });
    if (!isText)
        return std::nullopt;
    return out;
}

std::string NativeBytes(const std::filesystem::path& path) {
    std::filesystem::path preferred = path;
    preferred.make_preferred();
    return BytesOf(preferred.native());
}

} // namespace quorvel
