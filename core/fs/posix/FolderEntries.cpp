// A folder's entries on POSIX systems: readdir() through the folder's descriptor.
#include "FolderEntries.h"

#include "TextureError.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

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

void Classify(int dirFd, const dirent& raw, EntryKindSource source, DirectoryEntry& entry) {
#if defined(DT_UNKNOWN)
    if (source == EntryKindSource::EntryType) {
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

FolderEntries ReadFolderEntries(const OpenFolder& folder, EntryKindSource source) {
    FolderEntries listing;
    // readdir needs a stream of its own, which closes the descriptor it was made from; the
    // folder's descriptor stays open for the files in it.
    const int fd = ::fcntl(folder.handle(), F_DUPFD_CLOEXEC, 0);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
        listing.openError = LastError();
        if (fd >= 0)
            ::close(fd);
        return listing;
    }
    DirCloser closer(dir);
    // The copy shares the folder descriptor's position, which an earlier listing left at the
    // end: without this a folder read twice through one handle would seem empty.
    ::rewinddir(dir);
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
        Classify(dirFd, *raw, source, entry);
        if (!entry.error && entry.kind == EntryKind::Folder) {
            struct stat info {};
            if (::fstatat(dirFd, raw->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                entry.error = LastError();
            else if (!S_ISDIR(info.st_mode)) // swapped since readdir saw it
                entry.kind = KindFromMode(dirFd, raw->d_name, info.st_mode);
            else
                entry.identity = FolderIdentity{static_cast<std::uint64_t>(info.st_dev),
                                                static_cast<std::uint64_t>(info.st_ino)};
        }
        listing.entries.push_back(std::move(entry));
    }
    return listing;
}

} // namespace quorvel
