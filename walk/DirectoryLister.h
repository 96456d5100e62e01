#pragma once
// DirectoryLister: opens and reads one folder's listing for the folder walk.
//
// The walk asks for a folder (the start folder by its path, any other by its open parent
// folder and one name) and gets back, in one piece, the folder held open (OpenFolder.h), its
// identity, and every entry with its kind, in the order the file system yields them. Nothing is
// followed or filtered here apart from "." and "..": deciding what to visit is the walk's job.
// Failures come back inside the listing, never as exceptions, so a test lister can hand the
// walk any mix of entries and failures.
//
// SystemDirectoryLister is the real one. It opens a subfolder through its open parent, never
// through a link, and checks that it is the folder the parent's listing saw (device and inode),
// so a folder swapped for a link or another folder after its parent was listed doesn't lead the
// walk out of the tree (OpenFolder.h); the entries come from the system (FolderEntries.h). It
// also gives the folder-picker dialog the drives and the subfolders to offer, so that a folder
// is listed one way only.

#include "FileOps.h"
#include "FolderEntries.h"
#include "OpenFolder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace quorvel {

struct DirectoryListing {
    // The folder that was opened; files and subfolders in it are reached through it. Null when
    // it couldn't be opened, or from a stand-in lister that doesn't open folders.
    SharedFolder folder;
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

// Which folder to list.
struct FolderRequest {
    // The folder it lies in; null for the start folder, which is opened by its path and may be
    // a link (the user picked it).
    SharedFolder parent;
    // One name component in `parent`, or the start folder's path.
    std::filesystem::path name;
    // Its path to show and to report failures under.
    std::filesystem::path shown;
    // What the parent's listing said it is; a different folder found now is refused.
    std::optional<FolderIdentity> expected;
};

class DirectoryLister {
public:
    virtual ~DirectoryLister() = default;

    // Opens and lists the folder `request` names. A subfolder that is now a link is not opened
    // (openError is set, ELOOP on POSIX), nor one that is no longer the folder the parent's
    // listing saw (TextureErrc::FileChanged). Never throws, except std::bad_alloc.
    virtual DirectoryListing List(const FolderRequest& request) = 0;

    // The type and permissions of entry `name` of a listed folder, a link not followed: through
    // the listing's open folder, or by `shown` path where a stand-in lister opened none. Sets
    // errno and returns -1 on failure.
    virtual int ReadAttributes(const DirectoryListing& listing, const std::filesystem::path& name,
                               const std::filesystem::path& shown, FileIdentity& out);
};

class SystemDirectoryLister final : public DirectoryLister {
public:
    // Where entry kinds come from on POSIX (FolderEntries.h).
    using KindSource = EntryKindSource;

    explicit SystemDirectoryLister(KindSource source = KindSource::EntryType) : m_source(source) {}

    DirectoryListing List(const FolderRequest& request) override;

    // The places a walk can start from (SystemDrives, System.h), the drive or mount point holding
    // `currentFolder` among them.
    std::vector<std::filesystem::path> Drives(const std::filesystem::path& currentFolder);

    // The names of the folders directly inside `folder` (opened by its path, links followed),
    // hidden ones and links to folders included, in listing order; on failure sets `error` and
    // returns nothing.
    std::vector<std::filesystem::path> Subfolders(const std::filesystem::path& folder,
                                                  std::error_code& error);

private:
    KindSource m_source;
};

} // namespace quorvel
