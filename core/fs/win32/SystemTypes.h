#pragma once
// The handle types of Windows (the POSIX ones: posix/SystemTypes.h; CMake puts the system's
// folder on the include path).

namespace quorvel {

// An open folder: a HANDLE opened with FILE_FLAG_BACKUP_SEMANTICS.
using FolderHandle = void*;
inline const FolderHandle kNoFolder = nullptr;

} // namespace quorvel
