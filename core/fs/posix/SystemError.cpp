// Error codes and texts on POSIX systems: errno values are the system's codes, and
// std::system_category() gives their texts ("Error 13: Permission denied").
#include "TextureError.h"

#include <string>

namespace quorvel {

std::error_code ErrorFromErrno(int errnoValue) noexcept {
    return {errnoValue, std::system_category()};
}

std::string DescribeError(const std::error_code& error) {
    if (error.category() == std::system_category() || error.category() == std::generic_category())
        return "Error " + std::to_string(error.value()) + ": " + error.message();
    return error.message();
}

} // namespace quorvel
