// Error codes and texts on Windows. std::system_category() there means Win32 codes, so failures
// the C run-time reports through errno are turned into the Win32 code for the same failure, and
// a system code is described with the system's own text (FormatMessage), as the window
// program's component does: "Error 5: Access is denied".
#include "TextureError.h"

#include <cerrno>
#include <iterator>
#include <windows.h>

namespace quorvel {

namespace {

struct ErrnoToWin32 {
    int errnoValue;
    DWORD code;
};

constexpr ErrnoToWin32 kErrnoToWin32[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_FILE_EXISTS},
    {ENOSPC, ERROR_DISK_FULL},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EBADF, ERROR_INVALID_HANDLE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOTDIR, ERROR_DIRECTORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {EIO, ERROR_IO_DEVICE},
};

} // namespace

std::error_code ErrorFromErrno(int errnoValue) noexcept {
    DWORD code = ERROR_GEN_FAILURE; // any failure without a closer Win32 code
    for (const ErrnoToWin32& entry : kErrnoToWin32)
        if (entry.errnoValue == errnoValue)
            code = entry.code;
    return {static_cast<int>(code), std::system_category()};
}

std::string DescribeError(const std::error_code& error) {
    if (error.category() == std::generic_category())
        return "Error " + std::to_string(error.value()) + ": " + error.message();
    if (error.category() != std::system_category())
        return error.message();
    // The system's text in UTF-16, turned into UTF-8 like every text the windows show.
    wchar_t buffer[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(error.value()), 0, buffer,
                                  static_cast<DWORD>(std::size(buffer)), nullptr);
    // The system's texts end in a full stop and a line break; without them they read like the
    // POSIX ones inside a sentence ("Error 5: Access is denied. The file is unchanged.").
    while (length > 0 && (buffer[length - 1] == L'\n' || buffer[length - 1] == L'\r' ||
                          buffer[length - 1] == L'.' || buffer[length - 1] == L' '))
        --length;
    std::string text;
    if (length > 0) {
        const int wide = static_cast<int>(length);
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, buffer, wide, nullptr, 0, nullptr, nullptr);
        if (bytes > 0) {
            text.resize(static_cast<std::size_t>(bytes));
            WideCharToMultiByte(CP_UTF8, 0, buffer, wide, text.data(), bytes, nullptr, nullptr);
        }
    }
    if (text.empty())
        text = "Unknown system error";
    return "Error " + std::to_string(error.value()) + ": " + text;
}

} // namespace quorvel
