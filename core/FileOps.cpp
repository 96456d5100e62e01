#include "FileOps.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quorvel {

#ifdef _WIN32
namespace {

std::int64_t ToNanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
    return seconds * 1'000'000'000 + nanoseconds;
}

// Windows has no inode numbers or change times in the C runtime's stat; the volume and file
// index from the handle identify the file, the write time and size tell a change.
void Fill(const struct _stat64& st, FileIdentity& out) {
    out = {};
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.size = st.st_size;
    out.modifiedNs = ToNanoseconds(st.st_mtime, 0);
    out.mode = static_cast<std::uint32_t>(st.st_mode);
    out.links = static_cast<std::uint64_t>(st.st_nlink);
}

int FileIndex(HANDLE handle, FileIdentity& out) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        errno = EIO;
        return -1;
    }
    out.device = info.dwVolumeSerialNumber;
    out.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    out.links = info.nNumberOfLinks;
    return 0;
}

int RealOpen(const std::filesystem::path& path, int flags, unsigned mode) {
    return _wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, static_cast<int>(mode));
}

std::int64_t RealReadAt(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    if (_lseeki64(fd, offset, SEEK_SET) < 0)
        return -1;
    const unsigned chunk = count > 0x40000000u ? 0x40000000u : static_cast<unsigned>(count);
    return _read(fd, buffer, chunk);
}

std::int64_t RealWrite(int fd, const void* buffer, std::size_t count) {
    const unsigned chunk = count > 0x40000000u ? 0x40000000u : static_cast<unsigned>(count);
    return _write(fd, buffer, chunk);
}

// A virus scanner or indexer briefly holding the original makes the replace fail with a
// sharing violation; a few short retries get past it.
int RealRename(const std::filesystem::path& from, const std::filesystem::path& to) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        const DWORD code = GetLastError();
        if ((code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED) || attempt == 4) {
            errno = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ? EACCES : EIO;
            return -1;
        }
        Sleep(50);
    }
}

int RealFstat(int fd, FileIdentity& out) {
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0)
        return -1;
    Fill(st, out);
    return FileIndex(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), out);
}

int RealStat(const std::filesystem::path& path, bool, FileIdentity& out) {
    struct _stat64 st;
    if (_wstat64(path.c_str(), &st) != 0)
        return -1;
    Fill(st, out);
    HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EACCES;
        return -1;
    }
    const int status = FileIndex(handle, out);
    CloseHandle(handle);
    return status;
}

FileOps MakeSystemFileOps() {
    FileOps ops;
    ops.open = RealOpen;
    ops.close = [](int fd) { return _close(fd); };
    ops.readAt = RealReadAt;
    ops.write = RealWrite;
    ops.fsync = [](int fd) { return _commit(fd); };
    ops.syncfs = [](int) {
        errno = ENOSYS;
        return -1;
    };
    // Permission bits and owners don't carry over on Windows; a new file gets the folder's ACL.
    ops.fchmod = [](int, unsigned) { return 0; };
    ops.fchown = [](int, std::uint32_t, std::uint32_t) { return 0; };
    ops.rename = RealRename;
    ops.unlink = [](const std::filesystem::path& path) { return _wunlink(path.c_str()); };
    ops.fstat = RealFstat;
    ops.stat = RealStat;
    ops.checkWritable = [](const std::filesystem::path& path) { return _waccess(path.c_str(), 2); };
    return ops;
}

} // namespace
#else
// The real calls of POSIX systems, in FileOpsPosix.cpp.
FileOps MakeSystemFileOps();
#endif

namespace {

FileOps& Installed() {
    static FileOps ops = MakeSystemFileOps();
    return ops;
}

} // namespace

bool FileIdentity::isRegular() const noexcept {
    return (mode & S_IFMT) == S_IFREG;
}

bool FileIdentity::isFolder() const noexcept {
    return (mode & S_IFMT) == S_IFDIR;
}

bool FileIdentity::isSymlink() const noexcept {
#ifdef _WIN32
    return false;
#else
    return (mode & S_IFMT) == S_IFLNK;
#endif
}

FileOps SystemFileOps() {
    return MakeSystemFileOps();
}

const FileOps& CurrentFileOps() noexcept {
    return Installed();
}

ScopedFileOps::ScopedFileOps(FileOps ops) : m_previous(std::move(Installed())) {
    Installed() = std::move(ops);
}

ScopedFileOps::~ScopedFileOps() {
    Installed() = std::move(m_previous);
}

} // namespace quorvel
