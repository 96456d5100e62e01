#pragma once
// Windows-only helpers shared by the files of this folder (and the Windows-only tests): Win32
// codes as errno values, paths in long-path form, a folder handle's path and names opened
// relative to a folder handle.

#include "SystemTypes.h"

#include <filesystem>

namespace quorvel {

// The errno value the file calls report for a Win32 error code (EIO for any without a closer
// one).
int ErrnoFromWin32(unsigned long code) noexcept;

// `path` made absolute and put in the long-path form ("\\?\C:\...", "\\?\UNC\server\...")
// that Win32 calls take at any length, whatever the process's path-length limit. A path already
// in that form is returned as it is. Empty, with errno set, when it can't be made absolute.
std::filesystem::path LongPathForm(const std::filesystem::path& path);

// The path of the open folder `folder` as the system knows it now (long-path form, "\\?\"),
// whatever it was opened by. Empty, with errno set, when it can't be had. For messages and for
// removing temporary files on an interrupt; files are reached through OpenInFolder.
std::filesystem::path FolderPath(FolderHandle folder);

// Opens `name`, one name component, in the open folder `folder` relative to the folder's handle
// (NtCreateFile with the folder as root directory), the Windows form of openat(2): whatever the
// folder's path names meanwhile, the name is looked up in this very folder. `disposition` and
// `options` are NtCreateFile's (FILE_OPEN, FILE_OPEN_REPARSE_POINT, ...); synchronous I/O is
// always added. Returns the handle, or INVALID_HANDLE_VALUE with errno set (a name with a
// separator in it fails with EINVAL).
void* OpenInFolder(FolderHandle folder, const std::filesystem::path& name, unsigned long access,
                   unsigned long share, unsigned long disposition, unsigned long options);

} // namespace quorvel
