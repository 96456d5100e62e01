#include "LeftoverFiles.h"

#include "FileOps.h"
#include "SafeReplace.h"
#include "TextureError.h"

#include <cerrno>
#include <chrono>

namespace quorvel {

Outcome RemoveLeftoverTemporaryFile(const OpenFolder& folder, const std::filesystem::path& name,
                                    std::error_code& error) {
    error.clear();
    if (!IsTemporaryFileName(name))
        return Outcome::NotLeftover;
    const FileOps& ops = CurrentFileOps();
    FileIdentity info;
    if (ops.statAt(folder.handle(), name, false, info) != 0) {
        if (errno == ENOENT) // another run removed or renamed it meanwhile
            return Outcome::NotLeftover;
        error = LastError();
        return Outcome::WalkFailed;
    }
    if (!info.isRegular())
        return Outcome::NotLeftover;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    if (now - info.modifiedNs < kLeftoverAgeSeconds * 1'000'000'000)
        return Outcome::LeftoverKept;
    if (ops.unlinkAt(folder.handle(), name, -1) != 0) {
        if (errno == ENOENT)
            return Outcome::NotLeftover;
        error = LastError();
        return Outcome::WalkFailed;
    }
    return Outcome::LeftoverRemoved;
}

} // namespace quorvel
