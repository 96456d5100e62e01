#include "FileMetadata.h"

#include "System.h"
#include "TextureError.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace quorvel {
namespace {

// Bits of the POSIX mode, which FileIdentity::mode holds on every system.
constexpr unsigned kPermissionBits = 07777u;
constexpr unsigned kSetIdBits = 06000u; // set-user-ID and set-group-ID
constexpr unsigned kGroupBits = 00070u;

// Attributes the system sets on its own, or only a privileged process may set: a new file gets
// its own, and failing to copy them widens nothing.
bool IsSystemLabel(std::string_view name) {
    return name.starts_with("security.") || name.starts_with("trusted.");
}

} // namespace

std::error_code CopyExtendedAttributes(const FileOps& ops, int source, int target) {
    std::int64_t size = ops.listXattr(source, nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP || errno == ENOSYS ? std::error_code{} : LastError();
    std::vector<char> names(static_cast<std::size_t>(size) + 1);
    size = ops.listXattr(source, names.data(), names.size() - 1);
    if (size < 0)
        return LastError();
    names.resize(static_cast<std::size_t>(size));
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size();) {
        const char* name = names.data() + at;
        const std::string_view view(name, strnlen(name, names.size() - at));
        at += view.size() + 1;
        if (view.empty())
            continue;
        std::int64_t length = ops.getXattr(source, name, nullptr, 0);
        if (length >= 0) {
            value.resize(static_cast<std::size_t>(length) + 1);
            length = ops.getXattr(source, name, value.data(), value.size() - 1);
        }
        if (length < 0) {
            if (errno == ENODATA) // removed meanwhile
                continue;
            return LastError();
        }
        if (ops.setXattr(target, name, value.data(), static_cast<std::size_t>(length)) != 0) {
            if (IsSystemLabel(view) && (errno == EPERM || errno == ENOTSUP))
                continue;
            return LastError();
        }
    }
    return {};
}

std::error_code CopyOwnerGroupAttributesAndMode(const FileOps& ops, const FileIdentity& original,
                                                int source, int target) {
    bool keptOwner = true;
    bool keptGroup = true;
    if (ops.fchown(target, original.owner, original.group) != 0) {
        const int code = errno;
        // Only root may give a file away. Deleting and recreating the file would make it the
        // current user's as well, so this is accepted; keep at least the group where we are a
        // member of it.
        if (code != EPERM || MayChangeOwners())
            return ErrorFromErrno(code);
        keptOwner = false;
        keptGroup = ops.fchown(target, static_cast<std::uint32_t>(-1), original.group) == 0;
    }
    if (const std::error_code error = CopyExtendedAttributes(ops, source, target))
        return error;
    // Last, as it also sets the ACL's mask from the group bits.
    unsigned mode = original.mode & kPermissionBits;
    if (!keptOwner)
        mode &= ~kSetIdBits;
    if (!keptGroup)
        mode &= ~kGroupBits;
    if (ops.fchmod(target, mode) != 0)
        return LastError();
    return {};
}

std::error_code CopySecurityAndFileAttributes(const FileOps& ops, int source, int target) {
    if (ops.copySecurity(source, target) != 0 || ops.copyFileAttributes(source, target) != 0)
        return LastError();
    return {};
}

std::error_code CopyFileMetadata(const FileOps& ops, const FileIdentity& original, int source,
                                 int target) {
    if (SystemCapabilities().keepsSecurityDescriptors)
        return CopySecurityAndFileAttributes(ops, source, target);
    return CopyOwnerGroupAttributesAndMode(ops, original, source, target);
}

} // namespace quorvel
