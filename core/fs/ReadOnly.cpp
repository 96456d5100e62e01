#include "ReadOnly.h"

namespace quorvel {

bool IsReadOnly(const std::filesystem::path& path, std::error_code& error) {
    // status() follows links and sets `error` for a missing file.
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error)
        return false;
    return IsReadOnly(status.permissions());
}

bool IsReadOnly(std::filesystem::perms permissions) noexcept {
    return (permissions & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

} // namespace quorvel
