// The real file calls of POSIX systems.

#include "FileOps.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace quorvel {
namespace {

std::int64_t ToNanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
    return seconds * 1'000'000'000 + nanoseconds;
}

void Fill(const struct stat& st, FileIdentity& out) {
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.size = static_cast<std::int64_t>(st.st_size);
    out.modifiedNs = ToNanoseconds(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    out.changedNs = ToNanoseconds(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    out.mode = static_cast<std::uint32_t>(st.st_mode);
    out.owner = static_cast<std::uint32_t>(st.st_uid);
    out.group = static_cast<std::uint32_t>(st.st_gid);
    out.links = static_cast<std::uint64_t>(st.st_nlink);
    // A file encrypted by the file system (fscrypt) is so by its folder's policy, which the new
    // file in that folder gets as well.
    out.encrypted = false;
}

int Folder(FolderHandle folder) {
    return folder == kNoFolder ? AT_FDCWD : folder;
}

#ifndef __linux__
int NotSupported() {
    errno = ENOTSUP;
    return -1;
}
#endif

#ifdef __linux__
// A real-time signal, so that breaks of several leases queue instead of merging, and so that
// si_fd names the file whose lease is being broken.
int LeaseBreakSignal() {
    return SIGRTMIN + 2;
}

// Gives the lease up at once: the other program's open then goes ahead, and the lease state
// (leaseHeld) tells the rewrite that the file is being written to. fcntl is async-signal-safe.
extern "C" void OnLeaseBreak(int, siginfo_t* info, void*) {
    const int savedErrno = errno;
    if (info != nullptr)
        ::fcntl(info->si_fd, F_SETLEASE, F_UNLCK);
    errno = savedErrno;
}

void InstallLeaseBreakHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnLeaseBreak;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigaction(LeaseBreakSignal(), &action, nullptr);
    });
}
#endif

} // namespace

FileOps MakeSystemFileOps() {
    FileOps ops;
    ops.openAt = [](FolderHandle folder, const std::filesystem::path& name, int flags,
                    unsigned mode) {
        return ::openat(Folder(folder), name.c_str(), flags | O_CLOEXEC | O_NOCTTY,
                        static_cast<mode_t>(mode));
    };
    ops.close = [](int fd) { return ::close(fd); };
    ops.readAt = [](int fd, void* buffer, std::size_t count, std::int64_t offset) {
        return static_cast<std::int64_t>(::pread(fd, buffer, count, static_cast<off_t>(offset)));
    };
    ops.write = [](int fd, const void* buffer, std::size_t count) {
        return static_cast<std::int64_t>(::write(fd, buffer, count));
    };
    ops.fsync = [](int fd) { return ::fsync(fd); };
#ifdef __linux__
    ops.syncfs = [](int fd) { return ::syncfs(fd); };
    ops.startWriteBack = [](int fd) { return ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); };
#else
    ops.syncfs = [](int) {
        errno = ENOSYS;
        return -1;
    };
    ops.startWriteBack = ops.syncfs;
#endif
    ops.fchmod = [](int fd, unsigned mode) { return ::fchmod(fd, static_cast<mode_t>(mode)); };
    ops.fchown = [](int fd, std::uint32_t owner, std::uint32_t group) {
        return ::fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group));
    };
    ops.renameAt = [](FolderHandle folder, const std::filesystem::path& from,
                      const std::filesystem::path& to, int) {
        return ::renameat(Folder(folder), from.c_str(), Folder(folder), to.c_str());
    };
    ops.unlinkAt = [](FolderHandle folder, const std::filesystem::path& name, int) {
        return ::unlinkat(Folder(folder), name.c_str(), 0);
    };
    ops.fstat = [](int fd, FileIdentity& out) {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return -1;
        Fill(st, out);
        return 0;
    };
    ops.statAt = [](FolderHandle folder, const std::filesystem::path& name, bool followLinks,
                    FileIdentity& out) {
        struct stat st {};
        if (::fstatat(Folder(folder), name.c_str(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) !=
            0)
            return -1;
        Fill(st, out);
        return 0;
    };
    ops.checkWritable = [](FolderHandle folder, const std::filesystem::path& name) {
        return ::faccessat(Folder(folder), name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW);
    };
#ifdef __linux__
    ops.listXattr = [](int fd, char* list, std::size_t size) {
        return static_cast<std::int64_t>(::flistxattr(fd, list, size));
    };
    ops.getXattr = [](int fd, const char* name, void* value, std::size_t size) {
        return static_cast<std::int64_t>(::fgetxattr(fd, name, value, size));
    };
    ops.setXattr = [](int fd, const char* name, const void* value, std::size_t size) {
        return ::fsetxattr(fd, name, value, size, 0);
    };
    ops.removeXattr = [](int fd, const char* name) { return ::fremovexattr(fd, name); };
    ops.setLease = [](int fd, bool read) {
        if (!read)
            return ::fcntl(fd, F_SETLEASE, F_UNLCK);
        InstallLeaseBreakHandler();
        if (::fcntl(fd, F_SETSIG, LeaseBreakSignal()) != 0)
            return -1;
        return ::fcntl(fd, F_SETLEASE, F_RDLCK);
    };
    ops.leaseHeld = [](int fd) {
        // While a break is pending the kernel already answers with the type the lease is being
        // broken to, F_UNLCK for a writer.
        const int type = ::fcntl(fd, F_GETLEASE);
        return type < 0 ? -1 : (type == F_RDLCK ? 1 : 0);
    };
#else
    ops.listXattr = [](int, char*, std::size_t) -> std::int64_t { return NotSupported(); };
    ops.getXattr = [](int, const char*, void*, std::size_t) -> std::int64_t {
        return NotSupported();
    };
    ops.setXattr = [](int, const char*, const void*, std::size_t) { return NotSupported(); };
    ops.removeXattr = [](int, const char*) { return NotSupported(); };
    ops.setLease = [](int, bool) {
        errno = ENOSYS;
        return -1;
    };
    ops.leaseHeld = [](int) { return 0; };
#endif
    // Owner, group, mode bits and extended attributes carry what these carry on Windows.
    ops.copyFileAttributes = [](int, int) {
        errno = ENOSYS;
        return -1;
    };
    ops.copySecurity = ops.copyFileAttributes;
    return ops;
}

} // namespace quorvel
