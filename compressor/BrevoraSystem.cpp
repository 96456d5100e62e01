// Brevora's two operations that keep no state: the system's message text for an error code and
// the about box. Message bytes come from the system (FormatMessageA on Windows, the C library's
// errno descriptions elsewhere) and become text through the single-byte code page; the about box
// goes to whichever MessageBoxPresenter the process installed.

#include "Brevora.h"
#include "CodePage.h"
#include "MessageBoxPresenter.h"

#include <cstring>
#include <string_view>

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

// FormatMessageA's buffer, terminating null included; a longer text gives no text at all.
constexpr std::size_t kMessageBufferSize = 256;

#ifndef _WIN32
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))

// glibc's own table: null for a code without a text, never translated, thread-safe.
std::string_view LibraryText(int code) {
    const char* text = strerrordesc_np(code);
    return text ? std::string_view(text) : std::string_view();
}

#else

// strerror_r comes in two shapes. The XSI one returns 0 or an error number and fills the buffer;
// the GNU one returns the text, which for an unknown code is "Unknown error N".
[[maybe_unused]] std::string_view StrerrorText(int status, const char* buffer) {
    return status == 0 ? std::string_view(buffer) : std::string_view();
}

[[maybe_unused]] std::string_view StrerrorText(const char* text, const char*) {
    const std::string_view view = text ? std::string_view(text) : std::string_view();
    return view.starts_with("Unknown error") ? std::string_view() : view;
}

std::string_view LibraryText(int code) {
    thread_local char buffer[kMessageBufferSize + 1];
    buffer[0] = '\0';
    return StrerrorText(strerror_r(code, buffer, sizeof buffer), buffer);
}

#endif
#endif

} // namespace

std::u16string Brevora::WinAPIError(std::int32_t lLastDLLError) const {
#ifdef _WIN32
    char buffer[kMessageBufferSize] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(lLastDLLError), 0, buffer,
                                        static_cast<DWORD>(kMessageBufferSize), nullptr);
    return FromSingleByte({reinterpret_cast<const std::uint8_t*>(buffer), length});
#else
    const std::string_view text = LibraryText(lLastDLLError);
    if (text.size() >= kMessageBufferSize)
        return {};
    return FromSingleByte({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
#endif
}

std::int16_t Brevora::About() const {
    static const std::u16string title = u"Quorvel - Brevora ActiveX DLL";
    static const std::u16string text = u"Brevora\r\n\r\n"
                                       u"Data compression ActiveX component module.\r\n\r\n"
                                       u"Written by the Quorvel developers.\r\n\r\n"
                                       u"Special thanks and honor to the authors of the zLib DLL.";
    CurrentMessageBoxPresenter()->ShowInformation(title, text);
    return 0;
}

} // namespace quorvel
