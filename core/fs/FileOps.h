#pragma once
// The file system calls the texture routine makes, gathered in one table so that tests can make
// any of them fail (a full disk on the third write, a refused rename) and check that the
// original file survives. Production code always runs with the real calls; nothing but a test
// should ever install other ones.
//
// Every entry follows the POSIX convention: -1 (or a negative count) on failure with errno set.
// Files are reached through the folder they lie in (OpenFolder.h) and one name component, so a
// test can also swap a file or folder for a link at any step and check nothing outside the
// tree is touched.

#include "FileIdentity.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace quorvel {

struct FileOps {
    // openat(2) of one name (or, with `folder` kNoFolder, a path relative to the current
    // folder); the real call always adds close-on-exec and no-controlling-terminal.
    std::function<int(FolderHandle folder, const std::filesystem::path& name, int flags,
                      unsigned mode)>
        openAt;
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
    // Starts writing a file's dirty pages to disk without waiting for them (Linux
    // sync_file_range with SYNC_FILE_RANGE_WRITE), so that a later fsync or syncfs has little
    // left to wait for. Makes nothing durable. Fails with ENOSYS where the system has no such
    // call.
    std::function<int(int fd)> startWriteBack;
    std::function<int(int fd, unsigned mode)> fchmod;
    std::function<int(int fd, std::uint32_t owner, std::uint32_t group)> fchown;
    // renameat(2) within one folder: atomically replaces `to`. `fromFd` is -1 or a descriptor
    // of ours open on `from`: Windows then renames through it (it was opened with DELETE
    // access, and the rename acts on the very file written, never on the name found again);
    // POSIX renames by name either way.
    std::function<int(FolderHandle folder, const std::filesystem::path& from,
                      const std::filesystem::path& to, int fromFd)>
        renameAt;
    // unlinkat(2) of a file (not a folder). `fd` is -1 or a descriptor of ours open on `name`:
    // Windows then marks the file for deletion through it (it goes once `fd` is closed, which
    // the caller does next); POSIX removes the name either way.
    std::function<int(FolderHandle folder, const std::filesystem::path& name, int fd)> unlinkAt;
    std::function<int(int fd, FileIdentity& out)> fstat;
    // fstatat(2) of one name; a link is reported as itself unless followLinks.
    std::function<int(FolderHandle folder, const std::filesystem::path& name, bool followLinks,
                      FileIdentity& out)>
        statAt;
    // Whether this process may write the file, link not followed: faccessat(W_OK, AT_EACCESS).
    std::function<int(FolderHandle folder, const std::filesystem::path& name)> checkWritable;
    // Extended attributes (flistxattr, fgetxattr, fsetxattr, fremovexattr). A list is
    // NUL-separated names; a size of 0 asks for the size needed. ENOTSUP where the file system
    // has none, ENODATA for a name the file doesn't have.
    std::function<std::int64_t(int fd, char* list, std::size_t size)> listXattr;
    std::function<std::int64_t(int fd, const char* name, void* value, std::size_t size)> getXattr;
    std::function<int(int fd, const char* name, const void* value, std::size_t size)> setXattr;
    std::function<int(int fd, const char* name)> removeXattr;
    // A read lease on a file open for reading (fcntl F_SETLEASE F_RDLCK; false: F_UNLCK). The
    // system breaks it when any other program opens the file for writing or truncates it; the
    // real call then releases it at once, from a signal handler, so that program isn't held up.
    // Fails with EAGAIN when the file is open for writing already, EACCES when we neither own
    // the file nor may lease any, EINVAL or ENOSYS where the file system or system has none.
    std::function<int(int fd, bool read)> setLease;
    // 1 while the read lease taken on `fd` is held, 0 once it was broken or released.
    std::function<int(int fd)> leaseHeld;
    // Windows: gives `target` the file attributes (hidden, system, archive, not content indexed
    // and the like; never read-only) and the creation time of `source`. Elsewhere ENOSYS.
    std::function<int(int source, int target)> copyFileAttributes;
    // Windows: gives `target` the security descriptor of `source`: its DACL, the owner and group
    // where this process may set them (not being allowed to give a file away is no failure
    // here, unlike on POSIX: see the README's Windows section), and the SACL where the process
    // may read and set it. Succeeds without doing anything on a file system without security
    // descriptors. Elsewhere ENOSYS.
    std::function<int(int source, int target)> copySecurity;
    // Called when a call failed with EBUSY, because another program holds the file open in a
    // way that keeps us out (Windows sharing and lock violations; a replace refused because the
    // file is open), before retry number `attempt` (1, 2, ...) of that call. Returns false when
    // no more retries should be made. The real one waits 100, 200, 400 and 800 ms, long enough
    // for an indexer or a virus scanner that holds a file briefly, then gives up.
    std::function<bool(int attempt)> waitWhileInUse;
};

// The real system calls: MakeSystemFileOps() of the system's folder (posix/, win32/) with the
// portable ones added.
FileOps SystemFileOps();

// The system's own calls, waitWhileInUse left empty. Implemented in posix/ and win32/.
FileOps MakeSystemFileOps();

// The table in use. Read concurrently by any number of threads.
const FileOps& CurrentFileOps() noexcept;

// Reads up to `count` bytes at `offset` through `ops`, fewer only at the end of the file, going
// on after an interrupted call and in pieces of at most 1 GiB. Returns the number read, or -1
// with errno set.
std::int64_t ReadFully(const FileOps& ops, int fd, std::uint8_t* buffer, std::size_t count,
                       std::int64_t offset);

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
