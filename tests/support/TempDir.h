#pragma once
// A fresh, empty folder for one test, removed with everything in it when the object goes out of
// scope. It lies in $TMPDIR (or /tmp) and is world-readable and traversable (mode 0755), so a
// child process that dropped its privileges (ChildProcess.h) can reach files inside it.

#include <filesystem>

namespace quorvel::test {

class TempDir {
public:
    // Throws std::runtime_error when the folder can't be created.
    TempDir();
    // Removes the tree, making read-only folders in it writable first; errors are ignored.
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const {
        return m_path / relative;
    }

private:
    std::filesystem::path m_path;
};

} // namespace quorvel::test
