#pragma once
// The file system calls the texture routine makes, gathered in one table so that tests can make
// any of them fail (a full disk on the third write, a refused rename) and check that the
// original file survives. Production code always runs with the real calls; nothing but a test
// should ever install other ones.
//
// Every entry follows the POSIX convention: -1 (or a negative count) on failure with errno set.
// Paths are passed as given; the real calls use the platform's native path encoding.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace quorvel {

// What the routine needs to know about a file, and what it compares to tell whether the file
// was changed meanwhile: equal identities mean the same file with the same content and
// attributes, as far as the file system can tell.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // last content change, nanoseconds since the epoch
    std::int64_t changedNs = 0;  // last content or attribute change (0 where unknown)
    std::uint32_t mode = 0;      // POSIX st_mode: file type and permission bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint64_t links = 0;

    bool isRegular() const noexcept;
    bool isSymlink() const noexcept;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileOps {
    // open(2); the real call always adds close-on-exec and no-controlling-terminal.
    std::function<int(const std::filesystem::path& path, int flags, unsigned mode)> open;
    std::function<int(int fd)> close;
    // pread(2): up to `count` bytes at `offset`; 0 at the end of the file.
    std::function<std::int64_t(int fd, void* buffer, std::size_t count, std::int64_t offset)>
        readAt;
    // write(2) at the current position; may write fewer bytes than asked.
    std::function<std::int64_t(int fd, const void* buffer, std::size_t count)> write;
    // fsync(2), for files and folders alike.
    std::function<int(int fd)> fsync;
    // syncfs(2): flushes the whole file system holding `fd`. Fails with ENOSYS where the system
    // has no such call.
    std::function<int(int fd)> syncfs;
    std::function<int(int fd, unsigned mode)> fchmod;
    std::function<int(int fd, std::uint32_t owner, std::uint32_t group)> fchown;
    // rename(2): atomically replaces `to`.
    std::function<int(const std::filesystem::path& from, const std::filesystem::path& to)> rename;
    std::function<int(const std::filesystem::path& path)> unlink;
    std::function<int(int fd, FileIdentity& out)> fstat;
    // stat(2) when followLinks, else lstat(2).
    std::function<int(const std::filesystem::path& path, bool followLinks, FileIdentity& out)> stat;
    // Whether this process may write the file: faccessat(W_OK, AT_EACCESS).
    std::function<int(const std::filesystem::path& path)> checkWritable;
};

// The real system calls.
FileOps SystemFileOps();

// The table in use. Read concurrently by any number of threads.
const FileOps& CurrentFileOps() noexcept;

// Tests only: installs `ops` until destruction, then restores what was there before. Not
// thread-safe: no file work may run while one is created or destroyed.
class ScopedFileOps {
public:
    explicit ScopedFileOps(FileOps ops);
    ~ScopedFileOps();
    ScopedFileOps(const ScopedFileOps&) = delete;
    ScopedFileOps& operator=(const ScopedFileOps&) = delete;

private:
    FileOps m_previous;
};

} // namespace quorvel
