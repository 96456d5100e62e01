#include "Arguments.h"

#include "System.h"

#include <type_traits>

namespace quorvel {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A native argument as CLI11 takes it: bytes as they are, UTF-16 as UTF-8. A template, so that
// only the branch for the system's native string type is compiled.
template <class Char> std::string ArgumentText(const std::basic_string<Char>& native) {
    if constexpr (std::is_same_v<Char, char>)
        return native;
    else
        return Utf8FromUtf16(std::u16string(native.begin(), native.end()));
}

// The reverse, for a path argument.
template <class Char> std::basic_string<Char> NativeText(std::string_view argument) {
    if constexpr (std::is_same_v<Char, char>) {
        return std::string(argument);
    } else {
        const std::u16string wide = Utf16FromUtf8(argument);
        return std::basic_string<Char>(wide.begin(), wide.end());
    }
}

} // namespace

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf16FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t c = 0;
        char32_t least = 0; // smallest value the length may encode; shorter forms are invalid
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            length = 2;
            c = lead & 0x1Fu;
            least = 0x80;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            length = 3;
            c = lead & 0x0Fu;
            least = 0x800;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            length = 4;
            c = lead & 0x07u;
            least = 0x10000;
        }
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0u) == 0x80u;
            c = (c << 6) | (next & 0x3Fu);
        }
        if (valid && (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            AppendUtf16(out, kReplacement);
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (const NativeString& argument : ProcessArguments(argc, argv))
        arguments.push_back(ArgumentText(argument));
    return arguments;
}

std::filesystem::path PathFromArgument(std::string_view argument) {
    return std::filesystem::path(NativeText<NativeChar>(argument));
}

} // namespace quorvel
