#pragma once
// FolderWalk: the walk over a folder tree that finds the texture files to compress.
//
// WalkFolderTree lists a folder through a DirectoryLister, tells the FolderVisitor it entered
// the folder, hands it each file that passes the candidate test in listing order (and names the
// ones with a texture name it passes over, read-only or not regular files), and then walks each
// subfolder the same way: depth-first, a folder's own files before its subfolders, the start
// folder first. A folder's whole listing is read before any of its files is handed out, so files
// the visitor creates or replaces while rewriting (temporary siblings) never enter the walk and
// don't disturb the enumeration. Pending subfolders are kept on an explicit stack, not the call
// stack, so a deep tree can't overflow it.
//
// Links: the start folder may itself be a link to a folder (the user picked it), but links met
// inside the tree are never followed, and links to files are passed over. Every folder below
// the start is opened through its open parent by one name (DirectoryLister.h), and files are
// handed out as that open folder plus their name (OpenFolder.h), so whatever is swapped for a
// link while the walk goes on, nothing it hands out lies outside the tree. The identity of every
// folder opened is recorded, so a folder reached a second time (through a bind mount of an
// ancestor, say) is not walked again and the walk always ends. A subfolder's descriptor stays
// open while its subfolders wait to be walked or anyone holds one of its files, so the walk
// holds about one descriptor per level of depth.
//
// Failures never stop the walk: a folder that can't be opened or listed, an entry whose name or
// kind can't be read, a file that vanished before its read-only bit could be read, each goes to
// FolderVisitor::Failure with the OS error, and the walk carries on with the next entry.
//
// Paths (for showing) stay native (std::filesystem::path) throughout; on POSIX a name is the
// bytes the file system holds, valid UTF-8 or not. The walk itself never changes a file; it
// names the files that look like temporary files left behind by a killed run, for the visitor
// to remove.

#include "DirectoryLister.h"
#include "OpenFolder.h"
#include "Outcome.h"

#include <cstddef>
#include <filesystem>
#include <system_error>

namespace quorvel {

// Receives what the walk finds, in walk order, on the thread that called WalkFolderTree.
class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;

    // The walk starts on `folder` (start folder / ... / subfolder as the walk reached it). Called
    // for every folder walked, also one that then fails to open.
    virtual void EnterFolder(const std::filesystem::path& folder) = 0;

    // `file` is a regular file whose name ends in ".ACE" in any case and that is not read-only.
    // The visitor may rewrite, replace or delete it and create siblings, through file.folder.
    virtual void Candidate(const FileInFolder& file) = 0;

    // `file` is a regular file named like one of our temporary files (IsTemporaryFileName); the
    // visitor decides whether it is a leftover to remove (RemoveLeftoverTemporaryFile,
    // LeftoverFiles.h).
    virtual void TemporaryFile(const FileInFolder& file) { (void)file; }

    // `file` has a texture file name but is passed over: ReadOnlySkipped (a regular file that
    // is read-only) or NotRegularSkipped (neither a folder nor a regular file: a link, pipe,
    // device, ...). Informational: the walk goes on whatever the visitor does.
    virtual void Skipped(const std::filesystem::path& file, Outcome outcome) {
        (void)file;
        (void)outcome;
    }

    // The walk couldn't do `step` on `path` (a folder for OpenFolder, ListFolder and ReadName,
    // else the entry). It passes over what it couldn't read and goes on.
    virtual void Failure(const std::filesystem::path& path, Step step, std::error_code error) = 0;

    // Asked before each folder and each entry; true ends the walk there.
    virtual bool StopRequested() { return false; }
};

struct WalkSummary {
    std::size_t folders = 0;    // EnterFolder calls
    std::size_t candidates = 0; // Candidate calls
    std::size_t failures = 0;   // Failure calls
    bool stopped = false;       // StopRequested ended the walk early
};

// The name part of the candidate test: the last four characters of `name`, upper-cased, equal
// ".ACE". A name shorter than four characters never matches; ".ace" alone does. Case folding is
// ASCII-only and the same in every locale.
bool IsTextureFileName(const std::filesystem::path& name);

// Walks the tree at `start` as described above, with `lister` reading the folders. The candidate
// test is IsTextureFileName plus IsReadOnly (ReadOnly.h) being false, on the entry's own
// attributes (a link not followed); only regular files are tested, links to files never. Exceptions
// thrown by the visitor pass through and end the walk; the walk itself throws only std::bad_alloc.
WalkSummary WalkFolderTree(const std::filesystem::path& start, FolderVisitor& visitor,
                           DirectoryLister& lister);

// The same with a SystemDirectoryLister.
WalkSummary WalkFolderTree(const std::filesystem::path& start, FolderVisitor& visitor);

} // namespace quorvel
