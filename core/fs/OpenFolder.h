#pragma once
// OpenFolder: a folder held open, so that every later step on the files in it acts on that
// folder and not on whatever a path names by then.
//
// A link or a folder swapped in by someone else while a run is going must not steer a rewrite
// out of the tree. So a folder is opened once (the start folder by its path, every folder below
// it by one name relative to its open parent, never following a link) and files are named by
// the open folder plus one name component: opening, checking, creating the temporary file,
// renaming and removing all go through the folder's handle (FileOps.h), and no path is resolved
// again afterwards.
//
// The handle is a POSIX descriptor; on Windows it is a folder HANDLE, opened without following a
// reparse point, and a name in it is opened relative to that handle (System.h, SystemTypes.h).
// OpenFolder is immutable once made and shared (std::shared_ptr<const OpenFolder>) by the walk
// and every file found in it; the handle is closed with the last owner.

#include "FileIdentity.h"

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace quorvel {

class OpenFolder;
using SharedFolder = std::shared_ptr<const OpenFolder>;

// One folder on the way from a walk's start folder down to a folder below it.
struct RouteStep {
    std::filesystem::path name;
    FolderIdentity identity;
};

class OpenFolder {
public:
    // Takes ownership of `handle` (kNoFolder for a stand-in that names a folder without holding
    // it, as test listers make). `start` and `route` say how the folder was reached from the
    // start folder of a walk (ReopenFolder); empty for a start folder.
    OpenFolder(FolderHandle handle, FolderIdentity identity, std::filesystem::path shown,
               SharedFolder start = nullptr, std::vector<RouteStep> route = {});
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    FolderHandle handle() const noexcept { return m_handle; }
    const FolderIdentity& identity() const noexcept { return m_identity; }
    // The path to show for the folder in messages; never used to reach it.
    const std::filesystem::path& shown() const noexcept { return m_shown; }
    const SharedFolder& start() const noexcept { return m_start; }
    const std::vector<RouteStep>& route() const noexcept { return m_route; }

    // A stand-in for this folder that holds no handle but remembers how to reach it again from
    // its start folder (ReopenFolder), for a work list that would otherwise need more handles
    // than the process may have open. Null for a start folder, which has no route.
    SharedFolder Detached() const;

private:
    FolderHandle m_handle;
    FolderIdentity m_identity;
    std::filesystem::path m_shown;
    SharedFolder m_start;
    std::vector<RouteStep> m_route;
};

// A file named by the open folder it lies in and one name component.
struct FileInFolder {
    SharedFolder folder;
    std::filesystem::path name;  // one component, never a path
    std::filesystem::path shown; // the path to show: the folder's shown path / name
};

// Opens the folder `path` names, following links (the user named it). Sets `error` and
// returns null on failure. Implemented by the system's folder (OpenFolders.cpp).
SharedFolder OpenFolderPath(const std::filesystem::path& path, std::error_code& error);

// Opens the folder `name` inside `parent` without following a link, and checks it is the
// folder `expected` describes (the parent's listing saw it so): a folder swapped meanwhile
// fails with TextureErrc::FileChanged, a link with ELOOP, anything else not a folder with
// ENOTDIR. `shown` is its path for messages.
SharedFolder OpenChildFolder(const SharedFolder& parent, const std::filesystem::path& name,
                             const FolderIdentity& expected, std::filesystem::path shown,
                             std::error_code& error);

// The folder itself when it is open; for a Detached() stand-in, the folder opened afresh from its
// start folder, one name at a time along its route, never following a link, each folder
// checked to be the one the walk saw (TextureErrc::FileChanged otherwise, ELOOP for a link).
SharedFolder ReopenFolder(const SharedFolder& folder, std::error_code& error);

// A file named on a command line: the path is resolved once (every link in it followed, as
// the user named it), its real folder is opened, and the result names the final file in it as
// that folder lists it (in the case the folder lists it, on a file system that ignores case:
// ListedName.h; on Windows the system's path for the file's handle). `shown` stays the path as
// given. On failure sets `error` and returns a FileInFolder without a
// folder. Implemented by the system's folder (OpenFolders.cpp).
FileInFolder ResolveNamedFile(const std::filesystem::path& path, std::error_code& error);

// Splits a Windows path in long-path form ("\\?\C:\dir\name", "\\?\GLOBALROOT\Device\...",
// "\\?\UNC\server\share\...") into its folder and its last name, the folder of a file at a
// volume's or share's root keeping its separator, so that it names the root folder rather than
// the volume. False for a path without a name after its last separator. Portable, for tests.
bool SplitWindowsFilePath(const std::wstring& path, std::wstring& folder, std::wstring& name);

} // namespace quorvel
