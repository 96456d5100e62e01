#pragma once
// FileMetadata: what a rewritten file takes over from the original besides its content.
//
// On POSIX that is the owner, the group, the extended attributes (the POSIX ACL travels as one)
// and the permission bits; on Windows the security descriptor, then the file attributes and the
// creation time. Each system's set is one named function over the file calls (FileOps.h), so
// both are tested with the calls failing anywhere; CopyFileMetadata picks the system's.
//
// Only what differs is carried over: the new file is looked at first, and a call that would
// change nothing is not made. So a file system that keeps no owners, no permission bits or no
// extended attributes (FAT's made-up owner and mode, a mount that refuses chown or chmod) costs
// nothing as long as the new file already looks like the original. Where a piece really
// differs and can't be given, what the user would lose decides: a file that would belong to
// someone else, or lose an extended attribute or ACL, is refused; permission bits that can't be
// set are accepted only when the new file's grant nothing the original's did not.

#include "FileIdentity.h"
#include "FileOps.h"

#include <system_error>

namespace quorvel {

// The piece of metadata that could not be given to the new file.
enum class MetadataPart {
    None,
    Owner,          // owner and group (POSIX)
    Permissions,    // permission bits (POSIX); the security descriptor (Windows)
    Attributes,     // extended attributes, the POSIX ACL among them
    FileAttributes, // Windows file attributes and creation time
};

// What went wrong, and where; empty (false) on success.
struct MetadataFailure {
    MetadataPart part = MetadataPart::None;
    std::error_code error;

    explicit operator bool() const noexcept { return static_cast<bool>(error); }
};

// Gives `target`, a new file of ours, the original's owner, group, extended attributes (read
// from `source`, a descriptor of the original) and permission bits, in that order, so access
// never widens, each only where `target` differs from the original:
// - an owner that differs and can't be given (not privileged, a mount that refuses chown, a
//   file system without owners) fails the copy (Owner): the file would become someone else's.
//   A group that can't be kept is no failure: the group permission bits are cleared rather
//   than handed to the group the file has instead.
// - an extended attribute the original has and `target` lacks, or has with another value, is
//   set; one `target` has and the original lacks (an ACL inherited from the folder) is
//   removed. Either failing fails the copy (Attributes), except for security and trusted ones
//   (labels the system sets itself), and except where the original's file system keeps none.
// - permission bits that differ are set; refused by the file system or the mount, they fail
//   the copy (Permissions) only when `target`'s bits grant something the original's did not.
// An error that says nothing about what the file system can keep (EIO, say) fails the copy.
MetadataFailure CopyOwnerGroupAttributesAndMode(const FileOps& ops, const FileIdentity& original,
                                                int source, int target);

// Gives `target` the extended attributes of `source`, as described above; `changed` tells
// whether any was set or removed.
std::error_code CopyExtendedAttributes(const FileOps& ops, int source, int target, bool& changed);

// Gives `target` the security descriptor of `source` (Permissions), then its file attributes
// and creation time (FileAttributes) (FileOps::copySecurity, copyFileAttributes): hidden or
// system never come before the access the original had.
MetadataFailure CopySecurityAndFileAttributes(const FileOps& ops, int source, int target);

// The system's set: CopySecurityAndFileAttributes where files keep security descriptors
// (SystemCapabilities), else CopyOwnerGroupAttributesAndMode.
MetadataFailure CopyFileMetadata(const FileOps& ops, const FileIdentity& original, int source,
                                 int target);

} // namespace quorvel
