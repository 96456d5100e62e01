#pragma once
// What the file calls say about a file or folder, and the handle a folder is held open by.
//
// A FileIdentity is what the rewrite compares to tell whether a file was changed meanwhile; a
// FolderIdentity tells two folder handles apart. Both are filled in by the file calls (FileOps.h)
// on every system: on Windows the volume serial number and file ID stand for device and inode,
// and the mode is made up from the file's attributes with the POSIX type and permission bits.

#include "SystemTypes.h"

#include <cstdint>

namespace quorvel {

// What the routine needs to know about a file, and what it compares to tell whether the file
// was changed meanwhile: equal identities mean the same file with the same content and
// attributes, as far as the file system can tell.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // last content change, nanoseconds since the epoch
    std::int64_t changedNs = 0;  // last content or attribute change (0 where unknown)
    std::uint32_t mode = 0;      // POSIX st_mode: file type and permission bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint64_t links = 0;
    bool encrypted = false; // Windows: the file system encrypts the content (EFS)

    bool isRegular() const noexcept;
    bool isSymlink() const noexcept;
    bool isFolder() const noexcept;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Where a folder really lives: two handles with equal identities are the same folder.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
    // An order for sets and maps. (No operator<=>: moc can't read <compare>, and front-end
    // headers include this one.)
    friend bool operator<(const FolderIdentity& a, const FolderIdentity& b) noexcept {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }
};

} // namespace quorvel
