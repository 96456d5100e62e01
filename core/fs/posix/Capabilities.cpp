// What POSIX systems do their own way; see System.h.
#include "System.h"

#include <fcntl.h>

namespace quorvel {

const Capabilities& SystemCapabilities() noexcept {
    static constexpr Capabilities kPosix{
        .openNoFollow = O_NOFOLLOW,
        .openNoBlock = O_NONBLOCK,
        .renamesThroughHandle = false,
        .closesOriginalBeforeRename = false,
        .syncsFolders = true,
        .syncsFileSystems = true,
        .keepsSecurityDescriptors = false,
        .refusesFoldersAsAccessDenied = false,
    };
    return kPosix;
}

} // namespace quorvel
