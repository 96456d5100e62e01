#include "FileOps.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace quorvel {

// The real calls: FileOpsPosix.cpp, FileOpsWin32.cpp.
FileOps MakeSystemFileOps();

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
