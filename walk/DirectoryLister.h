#pragma once
// DirectoryLister: reads one folder's listing for the folder walk.
//
// The walk asks for a folder by path and gets back, in one piece, the folder's identity (device
// and inode of the folder it really opened) and every entry with its kind, in the order the file
// system yields them. Nothing is followed or filtered here apart from "." and "..": deciding what
// to visit is the walk's job. Failures come back inside the listing, never as exceptions, so a
// test lister can hand the walk any mix of entries and failures.
//
// SystemDirectoryLister is the real one. On POSIX it opens the folder with open(O_DIRECTORY),
// fstat()s the descriptor for its identity, reads it with readdir() and takes each entry's kind
// from d_type, falling back to fstatat(AT_SYMLINK_NOFOLLOW) where the file system leaves d_type
// unknown. Links are resolved once more to tell links to folders from links to files. Names are
// kept as the bytes the file system holds, valid UTF-8 or not. On Windows it opens the folder
// handle without following a reparse point, takes the identity (volume serial number, file ID)
// and the entries with their attributes from that handle, and reports no reparse point as a
// folder (DirectoryListerWin32.cpp).

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace quorvel {

enum class EntryKind {
    File,         // a regular file
    Folder,       // a real folder, not a link
    LinkToFolder, // a symbolic link that resolves to a folder
    LinkToFile,   // any other symbolic link, dangling ones included
    Other,        // device, pipe, socket, junction, ...
};

// Where a folder really lives: two paths with equal identities name the same folder.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    auto operator<=>(const FolderIdentity&) const = default;
};

struct DirectoryEntry {
    // One path component. Empty when the name itself couldn't be read.
    std::filesystem::path name;
    EntryKind kind = EntryKind::Other;
    // Set when the entry's name or kind couldn't be read (it vanished, say); kind is then
    // meaningless.
    std::error_code error;
};

struct DirectoryListing {
    // Identity of the folder that was opened; empty where the platform has none to give or the
    // folder couldn't be opened.
    std::optional<FolderIdentity> identity;
    // Entries in the order the file system yielded them, "." and ".." left out.
    std::vector<DirectoryEntry> entries;
    // The folder couldn't be opened: entries is empty.
    std::error_code openError;
    // Reading stopped part-way: entries holds what was read before the failure.
    std::error_code readError;
};

// Whether the folder path itself may be a symbolic link.
enum class FollowLink { No, Yes };

class DirectoryLister {
public:
    virtual ~DirectoryLister() = default;

    // Lists `folder`. With FollowLink::No a folder path that is itself a link is not opened
    // (openError is set, ELOOP on POSIX), so a folder swapped for a link after its parent was
    // listed doesn't lead the walk out of the tree. Never throws, except std::bad_alloc.
    virtual DirectoryListing List(const std::filesystem::path& folder, FollowLink follow) = 0;
};

class SystemDirectoryLister final : public DirectoryLister {
public:
    // Where entry kinds come from on POSIX. EntryType uses readdir's d_type where the file
    // system fills it in and stats only the rest; Stat stats every entry (for tests of the
    // fallback, and file systems that report d_type wrongly).
    enum class KindSource { EntryType, Stat };

    explicit SystemDirectoryLister(KindSource source = KindSource::EntryType) : m_source(source) {}

    DirectoryListing List(const std::filesystem::path& folder, FollowLink follow) override;

private:
    KindSource m_source;
};

} // namespace quorvel
