#pragma once
// ListedName: a file's name as its folder lists it, for a name typed in another case.
//
// On a file system that compares names without regard to case (FAT, exFAT and NTFS through
// their drivers, a case-folding ext4 folder), "A.ACE" opens the file listed as "a.ace", and a
// rename onto "A.ACE" would leave it listed so. The rewrite renames onto the listed name
// instead, found through the open folder: the name as typed is taken as listed when the same
// name in the other case does not open anything (a file system that tells case apart); otherwise
// the folder's entries are read, and the name it lists as is, or else the one entry that is the
// same file (same identity; where the file system numbers a file anew for every spelling of its
// name, as FUSE drivers without their own inode numbers do, an entry whose name differs only in
// ASCII case and whose identity differs only in the inode number).

#include "FileIdentity.h"
#include "OpenFolder.h"

#include <filesystem>

namespace quorvel {

// The name under which `folder` lists the file `name` opens, `named` being that file's identity
// (FileOps::statAt, links not followed). `name` itself where it is listed as it is, where no
// other entry is that file, or where the folder can't be read.
std::filesystem::path ListedName(const OpenFolder& folder, const std::filesystem::path& name,
                                 const FileIdentity& named);

} // namespace quorvel
