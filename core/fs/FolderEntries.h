#pragma once
// FolderEntries: the entries of a folder held open, as the system yields them.
//
// Names are kept as the file system holds them (bytes on POSIX, valid UTF-8 or not; UTF-16 on
// Windows), "." and ".." left out, nothing followed or filtered. Each entry comes with its kind,
// a link told apart by what it leads to, and a folder with its identity, so that a walk can check
// later that the folder it opens by that name is the one listed.
//
// On POSIX the folder is read through its descriptor with readdir(); an entry's kind comes from
// d_type, falling back to fstatat(AT_SYMLINK_NOFOLLOW) where the file system leaves d_type
// unknown, and a subfolder's identity always from fstatat (d_ino of a mount point is not the
// mounted folder's). On Windows the entries, with their attributes and reparse tags, come from
// the folder's handle (GetFileInformationByHandleEx); a reparse point is never a Folder.

#include "FileIdentity.h"
#include "OpenFolder.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace quorvel {

enum class EntryKind {
    File,         // a regular file
    Folder,       // a real folder, not a link
    LinkToFolder, // a symbolic link that resolves to a folder (on Windows also a junction)
    LinkToFile,   // any other symbolic link, dangling ones included
    Other,        // device, pipe, socket, junction, ...
};

struct DirectoryEntry {
    // One path component. Empty when the name itself couldn't be read.
    std::filesystem::path name;
    EntryKind kind = EntryKind::Other;
    // Set when the entry's name or kind couldn't be read (it vanished, say); kind is then
    // meaningless.
    std::error_code error;
    // A Folder's device and inode as the listing saw them (the system lister fills them in).
    std::optional<FolderIdentity> identity = std::nullopt;
};

// Where entry kinds come from on POSIX. EntryType uses readdir's d_type where the file system
// fills it in and stats only the rest; Stat stats every entry (for tests of the fallback, and
// file systems that report d_type wrongly). Windows always has the kinds with the entries.
enum class EntryKindSource { EntryType, Stat };

struct FolderEntries {
    // In the order the file system yielded them.
    std::vector<DirectoryEntry> entries;
    // The folder couldn't be read at all: entries is empty.
    std::error_code openError;
    // Reading stopped part-way: entries holds what was read before the failure.
    std::error_code readError;
};

// Reads the entries of `folder`, which must hold a handle. Never throws, except std::bad_alloc.
// Implemented by the system's folder (FolderEntries.cpp).
FolderEntries ReadFolderEntries(const OpenFolder& folder, EntryKindSource source);

} // namespace quorvel
