#include "FileMetadata.h"

#include "System.h"
#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {
namespace {

// Bits of the POSIX mode, which FileIdentity::mode holds on every system.
constexpr unsigned kPermissionBits = 07777u;
constexpr unsigned kGroupBits = 00070u;
// fchown's "leave this one as it is".
constexpr auto kUnchanged = static_cast<std::uint32_t>(-1);
// Attempts at reading a value that keeps growing between asking its size and reading it.
constexpr int kReadAttempts = 4;

// Attributes the system sets on its own, or only a privileged process may set: a new file gets
// its own, and failing to copy them widens nothing.
bool IsSystemLabel(std::string_view name) {
    return name.starts_with("security.") || name.starts_with("trusted.");
}

// The file system keeps no such thing at all.
bool NotKeptHere(int code) {
    return code == ENOTSUP || code == EOPNOTSUPP || code == ENOSYS;
}

// The file system, the mount or our privileges refuse to set this piece, as opposed to
// something having gone wrong (EIO, ENOSPC, ...).
bool CannotBeSet(int code) {
    return NotKeptHere(code) || code == EPERM || code == EACCES;
}

// The names of `fd`'s extended attributes; false with errno set on failure.
bool ListNames(const FileOps& ops, int fd, std::vector<std::string>& names) {
    names.clear();
    std::vector<char> list;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        std::int64_t size = ops.listXattr(fd, nullptr, 0);
        if (size <= 0) // none at all, the common case: no second call
            return size == 0;
        list.resize(static_cast<std::size_t>(size) + 1);
        size = ops.listXattr(fd, list.data(), list.size() - 1);
        if (size < 0) {
            if (errno == ERANGE) // grew meanwhile
                continue;
            return false;
        }
        list.resize(static_cast<std::size_t>(size));
        for (std::size_t at = 0; at < list.size();) {
            const std::string_view name(list.data() + at,
                                        strnlen(list.data() + at, list.size() - at));
            at += name.size() + 1;
            if (!name.empty())
                names.emplace_back(name);
        }
        return true;
    }
    errno = ERANGE;
    return false;
}

// The value of `name` on `fd`; false with errno set (ENODATA: there is none).
bool ReadValue(const FileOps& ops, int fd, const std::string& name, std::vector<char>& value) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        std::int64_t length = ops.getXattr(fd, name.c_str(), nullptr, 0);
        if (length < 0)
            return false;
        value.resize(static_cast<std::size_t>(length) + 1);
        length = ops.getXattr(fd, name.c_str(), value.data(), value.size() - 1);
        if (length >= 0) {
            value.resize(static_cast<std::size_t>(length));
            return true;
        }
        if (errno != ERANGE) // anything but having grown meanwhile
            return false;
    }
    errno = ERANGE;
    return false;
}

} // namespace

std::error_code CopyExtendedAttributes(const FileOps& ops, int source, int target, bool& changed) {
    changed = false;
    std::vector<std::string> names;
    if (!ListNames(ops, source, names))
        return NotKeptHere(errno) ? std::error_code{} : LastError();
    std::vector<std::string> carried;
    std::vector<char> value;
    std::vector<char> present;
    for (const std::string& name : names) {
        if (!ReadValue(ops, source, name, value)) {
            if (errno == ENODATA) // removed meanwhile
                continue;
            return LastError();
        }
        carried.push_back(name);
        // The new file may have it already: an ACL inherited from the folder, a label.
        if (ReadValue(ops, target, name, present) && present == value)
            continue;
        if (ops.setXattr(target, name.c_str(), value.data(), value.size()) != 0) {
            if (IsSystemLabel(name) && CannotBeSet(errno))
                continue;
            return LastError();
        }
        changed = true;
    }
    // What the new file has and the original hasn't, such as an ACL inherited from the folder
    // that would give someone access the original didn't, goes.
    if (!ListNames(ops, target, names))
        return NotKeptHere(errno) ? std::error_code{} : LastError();
    for (const std::string& name : names) {
        if (IsSystemLabel(name) || std::find(carried.begin(), carried.end(), name) != carried.end())
            continue;
        if (ops.removeXattr(target, name.c_str()) != 0 && errno != ENODATA)
            return LastError();
        changed = true;
    }
    return {};
}

MetadataFailure CopyOwnerGroupAttributesAndMode(const FileOps& ops, const FileIdentity& original,
                                                int source, int target) {
    FileIdentity now;
    if (ops.fstat(target, now) != 0)
        return {MetadataPart::Owner, LastError()};
    bool keptGroup = true;
    bool changed = false; // since `now` was taken
    const bool ownerDiffers = now.owner != original.owner;
    const bool groupDiffers = now.group != original.group;
    if ((ownerDiffers || groupDiffers) &&
        ops.fchown(target, ownerDiffers ? original.owner : kUnchanged,
                   groupDiffers ? original.group : kUnchanged) != 0) {
        const int code = errno;
        // A user's file never becomes someone else's. A group we may not give (not one of
        // ours) is dropped together with the access it had.
        if (ownerDiffers || !CannotBeSet(code))
            return {MetadataPart::Owner, ErrorFromErrno(code)};
        keptGroup = false;
    } else if (ownerDiffers || groupDiffers) {
        changed = true; // a new owner may have cleared set-id bits
    }
    bool attributesChanged = false;
    if (const std::error_code error =
            CopyExtendedAttributes(ops, source, target, attributesChanged))
        return {MetadataPart::Attributes, error};
    changed = changed || attributesChanged; // an ACL carries the group bits

    // Last, as it also sets the ACL's mask from the group bits; compared with the file as the
    // owner and the ACL left it.
    unsigned mode = original.mode & kPermissionBits;
    if (!keptGroup)
        mode &= ~kGroupBits;
    if (changed && ops.fstat(target, now) != 0)
        return {MetadataPart::Permissions, LastError()};
    const unsigned has = now.mode & kPermissionBits;
    if (has == mode || ops.fchmod(target, mode) == 0)
        return {};
    const int code = errno;
    // Bits that can't be set here (FAT, a mount refusing chmod) are accepted where they grant
    // no more than the original's: access never widens.
    if (CannotBeSet(code) && (has & ~mode) == 0)
        return {};
    return {MetadataPart::Permissions, ErrorFromErrno(code)};
}

MetadataFailure CopySecurityAndFileAttributes(const FileOps& ops, int source, int target) {
    if (ops.copySecurity(source, target) != 0)
        return {MetadataPart::Permissions, LastError()};
    if (ops.copyFileAttributes(source, target) != 0)
        return {MetadataPart::FileAttributes, LastError()};
    return {};
}

MetadataFailure CopyFileMetadata(const FileOps& ops, const FileIdentity& original, int source,
                                 int target) {
    if (SystemCapabilities().keepsSecurityDescriptors)
        return CopySecurityAndFileAttributes(ops, source, target);
    return CopyOwnerGroupAttributesAndMode(ops, original, source, target);
}

} // namespace quorvel
