#pragma once
// System: the one seam between Quorvel and the operating system.
//
// Everything POSIX and Windows do differently is implemented twice, once in posix/ and once in
// win32/, file for file under the same names; CMake compiles the system's folder and puts it on
// the include path. Code above the seam never tests the platform: it calls what is declared here
// and in the subject headers below, and asks SystemCapabilities() where the systems' policies
// differ (must the original be closed before the rename? can a folder be synced?).
//
// What each system folder implements:
//   SystemTypes.h      the folder handle type (FolderHandle, kNoFolder)
//   SystemFileOps.cpp  the real file calls (MakeSystemFileOps, FileOps.h)
//   OpenFolders.cpp    opening folders and named files (OpenFolderPath, ResolveNamedFile,
//                      OpenChildFolderHandle, CloseFolderHandle, SyncFolderHandle, ...)
//   FolderEntries.cpp  reading a folder's entries (ReadFolderEntries, FolderEntries.h)
//   SystemError.cpp    system error codes and texts (ErrorFromErrno, DescribeError)
//   Interrupts.cpp     signal or console-control handlers for the interrupt cleanup
//   Drives.cpp         the places a walk can start from and how their names compare
//   Process.cpp        the process's command line and open-file limit
//   Console.cpp        text on a terminal or console (IsTerminal, WriteText)
//   BufferReuse.cpp    the memory allocator's tuning (BufferReuse.h)
//   Capabilities.cpp   SystemCapabilities()

#include "FileIdentity.h"

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorvel {

// A path's native text: bytes on POSIX, UTF-16 on Windows.
using NativeString = std::filesystem::path::string_type;
using NativeChar = std::filesystem::path::value_type;

// Where the systems' policies differ. Constant for the life of the process.
struct Capabilities {
    // Added to FileOps::openAt's flags so that a name in a folder is never opened through a
    // link (POSIX O_NOFOLLOW). 0 where the open call refuses links itself (Windows).
    int openNoFollow = 0;
    // Added so that opening a pipe or device can't block (POSIX O_NONBLOCK); 0 where it can't.
    int openNoBlock = 0;
    // The temporary file's own handle stays open until the rename or the removal is made
    // through it (Windows); otherwise it is closed once synced and renamed by name.
    bool renamesThroughHandle = false;
    // The original must be closed before its replacement is renamed over it: the system
    // refuses to replace an open file, even one this process holds (Windows).
    bool closesOriginalBeforeRename = false;
    // A folder can be flushed to disk through its handle (POSIX fsync on a folder). Windows
    // flushes a folder only through a handle open for writing it; its journal keeps renames.
    bool syncsFolders = false;
    // The system can flush a whole file system at once (FileOps::syncfs; a POSIX system without
    // the call answers ENOSYS).
    bool syncsFileSystems = false;
    // A file's access is its security descriptor and file attributes (Windows), not the POSIX
    // owner, group, permission bits and extended attributes.
    bool keepsSecurityDescriptors = false;
    // Opening a folder by path as a file fails as "access denied" rather than "is a folder"
    // (the Windows C run-time), so that answer needs a second look.
    bool refusesFoldersAsAccessDenied = false;
};

const Capabilities& SystemCapabilities() noexcept;

// --- Folders (OpenFolder.h builds on these) ---

// Opens `name`, one name component, in the open folder `parent` as a folder, never through a
// link, and returns its handle and identity; kNoFolder with `error` set on failure (ELOOP for a
// link on POSIX, ENOTDIR for anything but a folder).
FolderHandle OpenChildFolderHandle(FolderHandle parent, const std::filesystem::path& name,
                                   FolderIdentity& identity, std::error_code& error);

// Closes a folder handle; kNoFolder is ignored.
void CloseFolderHandle(FolderHandle folder) noexcept;

// fsync(2) and syncfs(2) through a folder's handle, by FileOps::fsync and syncfs where the
// system has them (Capabilities::syncsFolders, syncsFileSystems); elsewhere they fail with
// ENOSYS. -1 with errno set on failure.
int SyncFolderHandle(FolderHandle folder);
int SyncFileSystemOf(FolderHandle folder);

// --- Drives ---

// The places a walk can start from: drive designations ("C:", "D:") on Windows, the mount
// points of the real file systems elsewhere (the one holding `currentFolder` always among them).
std::vector<std::filesystem::path> SystemDrives(const std::filesystem::path& currentFolder);

// The root folder of a drive: "C:" gives "C:\"; a mount point is its own root.
std::filesystem::path RootOfDrive(const std::filesystem::path& drive);

// The folder to start from when the current folder is gone: "/", or "C:\".
std::filesystem::path TopFolder();

// Whether two paths name the same folder as the file system compares names: byte for byte on
// POSIX; without regard to ASCII case, '/' and '\' alike, on Windows.
bool SameFileName(const std::filesystem::path& a, const std::filesystem::path& b);

// --- The interrupt cleanup (InterruptCleanup.h builds on these) ---

// Installs the handlers of the interrupts that end a process (POSIX: SIGINT, SIGTERM and SIGHUP,
// unless ignored; SIGXFSZ is ignored. Windows: the console control events); they call
// TakeGracefulStop and RemoveTemporaryFiles (InterruptCleanup.h).
void InstallInterruptHandlers();

// Prepares what RemoveInSignalHandler needs for the file `name` in `folder`, beyond the folder
// and the name themselves: on Windows the file's whole path (there is no unlinkat), left in
// `path`. False when it can't be had; the file must then not be created.
bool PrepareSignalSafeRemoval(FolderHandle folder, const std::filesystem::path& name,
                              NativeString& path) noexcept;

// Removes a file entered with PrepareSignalSafeRemoval. Async-signal-safe: allocates nothing.
void RemoveInSignalHandler(FolderHandle folder, const NativeChar* name,
                           const NativeString& path) noexcept;

// --- The process ---

// The process's arguments, argv[0] included, in the native encoding. On Windows they are split
// from the process's UTF-16 command line by the system's rules (argc and argv, converted to
// the ANSI code page, would lose names outside it); elsewhere they are argv.
std::vector<NativeString> ProcessArguments(int argc, char** argv);

// The command line as the user typed it, program name included, where the system keeps one
// (Windows); nullopt where the shell has already split it into arguments (POSIX).
std::optional<NativeString> RawCommandLine();

// The soft limit of open files; kUnlimitedFiles when there is none, 0 when the system has no
// such limit to read (Windows).
inline constexpr std::size_t kUnlimitedFiles = static_cast<std::size_t>(-1);
std::size_t OpenFileLimit();

// Raises the soft limit of open files to the hard limit, where there is one.
void RaiseOpenFileLimit();

// Opens (creates or empties) the file at `path` for writing text; null with errno set on failure.
std::FILE* OpenTextFileForWriting(const std::filesystem::path& path);

// --- The console ---

// Whether `stream` is a terminal (on Windows: a console), where a line may be redrawn in place.
bool IsTerminal(std::FILE* stream);

// Writes the UTF-8 `text` to `stream`. A file or pipe gets the bytes as they are (POSIX: a
// terminal too, which reads them in the locale's UTF-8). A Windows console gets the text as
// UTF-16 (WriteConsoleW), what the stream buffered first, so that every character shows
// whatever the console's code page. Returns false when the write failed.
bool WriteText(std::FILE* stream, std::string_view text);

} // namespace quorvel
