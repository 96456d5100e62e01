#include "FileIdentity.h"

namespace quorvel {
namespace {

// The file type bits of st_mode, as POSIX numbers them. The Windows identity uses the same
// numbers (it has no links among them: a reparse point has no type bits at all).
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kRegularType = 0100000;
constexpr std::uint32_t kFolderType = 0040000;
constexpr std::uint32_t kLinkType = 0120000;

} // namespace

bool FileIdentity::isRegular() const noexcept {
    return (mode & kTypeMask) == kRegularType;
}

bool FileIdentity::isFolder() const noexcept {
    return (mode & kTypeMask) == kFolderType;
}

bool FileIdentity::isSymlink() const noexcept {
    return (mode & kTypeMask) == kLinkType;
}

} // namespace quorvel
