// What Windows does its own way; see System.h.
#include "System.h"

namespace quorvel {

const Capabilities& SystemCapabilities() noexcept {
    static constexpr Capabilities kWindows{
        // A name in a folder is never opened through a reparse point (SystemFileOps.cpp), and
        // opening a file never waits.
        .openNoFollow = 0,
        .openNoBlock = 0,
        // The temporary file's handle, opened with DELETE, stays open until the rename or removal
        // is made through it: reopening it by name would act on whatever holds the name by then,
        // and be checked against the security descriptor just copied from the original, which
        // may refuse us.
        .renamesThroughHandle = true,
        .closesOriginalBeforeRename = true,
        .syncsFolders = false,
        .syncsFileSystems = false,
        .keepsSecurityDescriptors = true,
        .refusesFoldersAsAccessDenied = true,
    };
    return kWindows;
}

} // namespace quorvel
