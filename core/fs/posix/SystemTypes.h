#pragma once
// The handle types of POSIX systems (the Windows ones: win32/SystemTypes.h; CMake puts the
// system's folder on the include path).

namespace quorvel {

// An open folder: a descriptor opened with O_DIRECTORY.
using FolderHandle = int;
inline constexpr FolderHandle kNoFolder = -1;

} // namespace quorvel
