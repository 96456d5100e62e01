#include "FileOps.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

namespace quorvel {

// The real calls: FileOpsPosix.cpp, FileOpsWin32.cpp.
FileOps MakeSystemFileOps();

namespace {

constexpr int kInUseRetries = 4;

bool WaitWhileInUse(int attempt) {
    if (attempt < 1 || attempt > kInUseRetries)
        return false;
    const int saved = errno;
    std::this_thread::sleep_for(std::chrono::milliseconds(100) * (1 << (attempt - 1)));
    errno = saved;
    return true;
}

FileOps WithPortableCalls(FileOps ops) {
    ops.waitWhileInUse = WaitWhileInUse;
    return ops;
}

FileOps& Installed() {
    static FileOps ops = WithPortableCalls(MakeSystemFileOps());
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
    return WithPortableCalls(MakeSystemFileOps());
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
