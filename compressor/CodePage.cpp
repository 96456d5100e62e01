#include "CodePage.h"

#include "BrevoraErrors.h"

#include <algorithm>
#include <array>
#include <limits>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace quorvel {
namespace {

#ifdef _WIN32

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw OverflowError("text too long for the system's code page conversion");
    return static_cast<int>(size);
}

#else

// Characters of the bytes 0x80 .. 0x9F; every other byte stands for the character of its value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::uint8_t kReplacement = 0x3F; // '?'

std::uint8_t ToByte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<std::uint8_t>(c);
    const auto* found = std::find(kHighControls.begin(), kHighControls.end(), c);
    if (found == kHighControls.end())
        return kReplacement;
    return static_cast<std::uint8_t>(0x80 + (found - kHighControls.begin()));
}

char16_t ToChar(std::uint8_t b) {
    return b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80u] : static_cast<char16_t>(b);
}

#endif

} // namespace

std::vector<std::uint8_t> ToSingleByte(std::u16string_view text) {
    if (text.empty())
        return {};
#ifdef _WIN32
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = CheckedLength(text.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, wide, length, reinterpret_cast<char*>(bytes.data()), size,
                        nullptr, nullptr);
    return bytes;
#else
    std::vector<std::uint8_t> bytes(text.size());
    std::transform(text.begin(), text.end(), bytes.begin(), ToByte);
    return bytes;
#endif
}

std::u16string FromSingleByte(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return {};
#ifdef _WIN32
    const auto* narrow = reinterpret_cast<const char*>(bytes.data());
    const int length = CheckedLength(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, narrow, length, nullptr, 0);
    std::u16string text(static_cast<std::size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow, length, reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
#else
    std::u16string text(bytes.size(), u'\0');
    std::transform(bytes.begin(), bytes.end(), text.begin(), ToChar);
    return text;
#endif
}

} // namespace quorvel
