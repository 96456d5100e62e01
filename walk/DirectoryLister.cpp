#include "DirectoryLister.h"

#include "TextureError.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

// The Windows form is in DirectoryListerWin32.cpp.

namespace {

// Closes the stream (and with it the descriptor it was opened from) on every path out.
class DirCloser {
public:
    explicit DirCloser(DIR* dir) : m_dir(dir) {}
    ~DirCloser() { ::closedir(m_dir); }
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;

private:
    DIR* m_dir;
};

// A link's kind is the kind of what it leads to; a dangling or unreadable link is no folder.
EntryKind LinkKind(int dirFd, const char* name) {
    struct stat target {};
    if (::fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode))
        return EntryKind::LinkToFolder;
    return EntryKind::LinkToFile;
}

EntryKind KindFromMode(int dirFd, const char* name, mode_t mode) {
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISLNK(mode))
        return LinkKind(dirFd, name);
    return EntryKind::Other;
}

void ClassifyByStat(int dirFd, const char* name, DirectoryEntry& entry) {
    struct stat info {};
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        entry.error = LastError(); // ENOENT when the entry vanished after readdir saw it
        return;
    }
    entry.kind = KindFromMode(dirFd, name, info.st_mode);
}

void Classify(int dirFd, const dirent& raw, SystemDirectoryLister::KindSource source,
              DirectoryEntry& entry) {
#if defined(DT_UNKNOWN)
    if (source == SystemDirectoryLister::KindSource::EntryType) {
        switch (raw.d_type) {
        case DT_REG:
            entry.kind = EntryKind::File;
            return;
        case DT_DIR:
            entry.kind = EntryKind::Folder;
            return;
        case DT_LNK:
            entry.kind = LinkKind(dirFd, raw.d_name);
            return;
        case DT_UNKNOWN:
            break;
        default:
            entry.kind = EntryKind::Other;
            return;
        }
    }
#else
    (void)source;
#endif
    ClassifyByStat(dirFd, raw.d_name, entry);
}

} // namespace

DirectoryListing SystemDirectoryLister::List(const std::filesystem::path& folder,
                                             FollowLink follow) {
    DirectoryListing listing;
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (follow == FollowLink::No)
        flags |= O_NOFOLLOW;
    const int fd = ::open(folder.c_str(), flags);
    if (fd < 0) {
        listing.openError = LastError();
        return listing;
    }
    // The identity comes from the descriptor, not the path, so it is the folder actually read.
    struct stat info {};
    if (::fstat(fd, &info) == 0)
        listing.identity = FolderIdentity{static_cast<std::uint64_t>(info.st_dev),
                                          static_cast<std::uint64_t>(info.st_ino)};
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        listing.openError = LastError();
        ::close(fd);
        return listing;
    }
    DirCloser closer(dir);
    const int dirFd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* raw = ::readdir(dir);
        if (raw == nullptr) {
            if (errno != 0)
                listing.readError = LastError();
            break;
        }
        const std::string_view name(raw->d_name);
        if (name == "." || name == "..")
            continue;
        DirectoryEntry entry;
        // From std::string a POSIX path takes the bytes as they are, with no conversion.
        entry.name = std::filesystem::path(std::string(name));
        Classify(dirFd, *raw, m_source, entry);
        listing.entries.push_back(std::move(entry));
    }
    return listing;
}

} // namespace quorvel
