// Opening folders and named files on POSIX systems: descriptors opened with openat(2), one
// name at a time and never through a link below the folder the user named.
#include "FileOps.h"
#include "ListedName.h"
#include "OpenFolder.h"
#include "System.h"
#include "TextureError.h"

#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <vector>

namespace quorvel {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC;

std::error_code SystemError(int code) {
    return {code, std::system_category()};
}

// Opens `name` relative to `parent` with `flags` and checks the handle is a folder; returns it
// with its identity, or kNoFolder with `error` set.
FolderHandle OpenAndIdentify(FolderHandle parent, const std::filesystem::path& name, int flags,
                             FolderIdentity& identity, std::error_code& error) {
    const FileOps& ops = CurrentFileOps();
    const int fd = ops.openAt(parent, name, flags, 0);
    if (fd < 0) {
        error = LastError();
        return kNoFolder;
    }
    FileIdentity info;
    if (ops.fstat(fd, info) != 0) {
        error = LastError();
        ops.close(fd);
        return kNoFolder;
    }
    if (!info.isFolder()) {
        error = SystemError(ENOTDIR);
        ops.close(fd);
        return kNoFolder;
    }
    identity = {info.device, info.inode};
    error.clear();
    return fd;
}

// Opens an absolute path that holds no links (canonical() made it) one component at a time,
// never following a link: a folder on the way swapped for a link since the path was resolved
// fails with ELOOP instead of leading somewhere else.
SharedFolder OpenResolvedFolder(const std::filesystem::path& real, std::error_code& error) {
    const FileOps& ops = CurrentFileOps();
#ifdef O_PATH
    // Passing through a folder needs only search permission, as resolving a path does.
    constexpr int kPassFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW;
#else
    constexpr int kPassFlags = kFolderFlags | O_NOFOLLOW;
#endif
    int current = ops.openAt(kNoFolder, real.root_path(), kPassFlags, 0);
    if (current < 0) {
        error = LastError();
        return nullptr;
    }
    std::vector<std::filesystem::path> parts(std::next(real.begin()), real.end());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const int next =
            ops.openAt(current, parts[i], last ? kFolderFlags | O_NOFOLLOW : kPassFlags, 0);
        const int code = errno;
        ops.close(current);
        if (next < 0) {
            error = SystemError(code);
            return nullptr;
        }
        current = next;
    }
    if (parts.empty()) { // the root folder itself: reopen it for reading
        const int next = ops.openAt(current, ".", kFolderFlags, 0);
        const int code = errno;
        ops.close(current);
        if (next < 0) {
            error = SystemError(code);
            return nullptr;
        }
        current = next;
    }
    FileIdentity info;
    if (ops.fstat(current, info) != 0 || !info.isFolder()) {
        error = info.mode == 0 ? LastError() : SystemError(ENOTDIR);
        ops.close(current);
        return nullptr;
    }
    error.clear();
    return std::make_shared<const OpenFolder>(current, FolderIdentity{info.device, info.inode},
                                              real);
}

} // namespace

// Relative to the parent's descriptor, never through a link.
FolderHandle OpenChildFolderHandle(FolderHandle parent, const std::filesystem::path& name,
                                   FolderIdentity& identity, std::error_code& error) {
    return OpenAndIdentify(parent, name, kFolderFlags | O_NOFOLLOW, identity, error);
}

void CloseFolderHandle(FolderHandle folder) noexcept {
    if (folder != kNoFolder)
        CurrentFileOps().close(folder);
}

int SyncFolderHandle(FolderHandle folder) {
    return CurrentFileOps().fsync(folder);
}

int SyncFileSystemOf(FolderHandle folder) {
    return CurrentFileOps().syncfs(folder);
}

SharedFolder OpenFolderPath(const std::filesystem::path& path, std::error_code& error) {
    FolderIdentity identity;
    const FolderHandle handle = OpenAndIdentify(kNoFolder, path, kFolderFlags, identity, error);
    if (handle == kNoFolder)
        return nullptr;
    return std::make_shared<const OpenFolder>(handle, identity, path);
}

FileInFolder ResolveNamedFile(const std::filesystem::path& path, std::error_code& error) {
    FileInFolder file;
    file.shown = path;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (error)
        return file;
    if (!real.has_filename() || real == real.root_path()) {
        error = make_error_code(TextureErrc::NotRegularFile);
        return file;
    }
    file.folder = OpenResolvedFolder(real.parent_path(), error);
    if (error) {
        file.folder.reset();
        return file;
    }
    // canonical() keeps the last name as typed; on a file system that ignores case the
    // rename must go to the name the folder lists, or the file would be listed as typed.
    file.name = real.filename();
    FileIdentity named;
    if (CurrentFileOps().statAt(file.folder->handle(), file.name, false, named) == 0)
        file.name = ListedName(*file.folder, file.name, named);
    return file;
}

} // namespace quorvel
