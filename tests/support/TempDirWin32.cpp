// TempDir on Windows: a fresh folder under the user's temporary folder. There are no mode bits
// to set; read-only attributes a test leaves behind are cleared before the tree is removed.
#include "TempDir.h"

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quorvel::test {

TempDir::TempDir() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        throw std::runtime_error("no temporary folder: " + error.message());
    std::random_device seed;
    std::mt19937_64 generator(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate =
            base / ("quorvel-test-" + std::to_string(generator() % 1'000'000'000));
        if (std::filesystem::create_directory(candidate, error)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder in " + base.string() + ": " +
                             error.message());
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
    if (!error)
        return;
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(m_path, error);
}

} // namespace quorvel::test
