#pragma once
// FileMetadata: what a rewritten file takes over from the original besides its content.
//
// On POSIX that is the owner, the group, the extended attributes (the POSIX ACL travels as one)
// and the permission bits; on Windows the security descriptor, then the file attributes and the
// creation time. Each system's set is one named function over the file calls (FileOps.h), so
// both are tested with the calls failing anywhere; CopyFileMetadata picks the system's.

#include "FileIdentity.h"
#include "FileOps.h"

#include <system_error>

namespace quorvel {

// Gives `target` the original's owner, group, extended attributes (read from `source`, a
// descriptor of the original) and permission bits, in that order, so access never widens: not
// being allowed to keep the owner (EPERM when not privileged) is no failure, the file then
// belongs to the current user, without set-user-ID and set-group-ID bits; when the group can't
// be kept either, the group permission bits are cleared rather than handed to the user's own
// group. An attribute the file system or the user can't set fails the copy, except security and
// trusted ones (labels the system sets itself) and any where neither side supports attributes.
std::error_code CopyOwnerGroupAttributesAndMode(const FileOps& ops, const FileIdentity& original,
                                                int source, int target);

// Gives `target` the extended attributes of `source`, as described above.
std::error_code CopyExtendedAttributes(const FileOps& ops, int source, int target);

// Gives `target` the security descriptor of `source`, then its file attributes and creation time
// (FileOps::copySecurity, copyFileAttributes): hidden or system never come before the access the
// original had.
std::error_code CopySecurityAndFileAttributes(const FileOps& ops, int source, int target);

// The system's set: CopySecurityAndFileAttributes where files keep security descriptors
// (SystemCapabilities), else CopyOwnerGroupAttributesAndMode.
std::error_code CopyFileMetadata(const FileOps& ops, const FileIdentity& original, int source,
                                 int target);

} // namespace quorvel
