#pragma once
// The read-only test shared by the texture routine and the folder walk. A file counts as
// read-only when its owner-write permission is clear (on Windows: FILE_ATTRIBUTE_READONLY,
// which std::filesystem reports the same way), whoever runs the program, root included.

#include <filesystem>
#include <system_error>

namespace quorvel {

// True when the file at `path` (symbolic links followed) is read-only. On failure (missing
// file, no access to its folder) sets `error` and returns false; clears `error` otherwise.
// Thread-safe.
bool IsReadOnly(const std::filesystem::path& path, std::error_code& error);

// The same test on permissions already fetched, e.g. from a directory_entry's status(), so a
// folder walk need not query each file twice.
bool IsReadOnly(std::filesystem::perms permissions) noexcept;

} // namespace quorvel
