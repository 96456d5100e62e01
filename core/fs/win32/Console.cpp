// Text on a Windows console. A console shows bytes written to it in its code page (437 or 850
// by default), so UTF-8 text would show as mojibake; it is given UTF-16 through WriteConsoleW
// instead. A stream redirected to a file or pipe is no console and gets the UTF-8 bytes.
#include "System.h"

#include <algorithm>
#include <io.h>
#include <string>
#include <windows.h>

namespace quorvel {
namespace {

// The console handle behind `stream`, or null when it is none (a file, a pipe, NUL).
HANDLE ConsoleOf(std::FILE* stream) {
    const int fd = _fileno(stream);
    if (fd < 0)
        return nullptr;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0)
        return nullptr;
    return handle;
}

} // namespace

bool IsTerminal(std::FILE* stream) {
    return ConsoleOf(stream) != nullptr;
}

bool WriteText(std::FILE* stream, std::string_view text) {
    const HANDLE console = ConsoleOf(stream);
    if (console == nullptr)
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    if (std::fflush(stream) != 0)
        return false;
    if (text.empty())
        return true;
    // The text is valid UTF-8 (names come through DisplayPath); anything else would show as
    // U+FFFD.
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    // In pieces, as older consoles refuse a single write of more than about 64 KiB; a piece
    // never ends between the two halves of a surrogate pair.
    constexpr std::size_t kPiece = 8192;
    std::size_t done = 0;
    while (done < wide.size()) {
        std::size_t count = std::min(kPiece, wide.size() - done);
        if (done + count < wide.size() && wide[done + count - 1] >= 0xD800 &&
            wide[done + count - 1] <= 0xDBFF)
            --count;
        DWORD written = 0;
        if (WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(count), &written,
                          nullptr) == 0 ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace quorvel
