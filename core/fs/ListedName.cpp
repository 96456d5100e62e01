#include "ListedName.h"

#include "FileOps.h"
#include "FolderEntries.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace quorvel {
namespace {

using NativeText = std::filesystem::path::string_type;
using NativeUnit = NativeText::value_type;

NativeUnit SwapAsciiCase(NativeUnit c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<NativeUnit>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<NativeUnit>(c - 'A' + 'a');
    return c;
}

NativeUnit LowerAscii(NativeUnit c) {
    return c >= 'A' && c <= 'Z' ? static_cast<NativeUnit>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(const NativeText& a, const NativeText& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](NativeUnit x, NativeUnit y) { return LowerAscii(x) == LowerAscii(y); });
}

// The same file seen through a name a FUSE driver numbered on its own.
bool SameButInode(FileIdentity a, FileIdentity b) {
    a.inode = b.inode = 0;
    return a == b;
}

std::optional<FileIdentity> StatName(FolderHandle folder, const std::filesystem::path& name) {
    FileIdentity identity;
    if (CurrentFileOps().statAt(folder, name, false, identity) != 0)
        return std::nullopt;
    return identity;
}

} // namespace

std::filesystem::path ListedName(const OpenFolder& folder, const std::filesystem::path& name,
                                 const FileIdentity& named) {
    // A file system that tells case apart finds nothing under the other spelling (or another
    // file), and lists the name as it opened.
    NativeText swapped = name.native();
    std::transform(swapped.begin(), swapped.end(), swapped.begin(), SwapAsciiCase);
    if (swapped == name.native())
        return name;
    const std::optional<FileIdentity> other = StatName(folder.handle(), swapped);
    if (!other || (*other != named && !SameButInode(*other, named)))
        return name;

    const FolderEntries listing = ReadFolderEntries(folder, EntryKindSource::EntryType);
    std::vector<const DirectoryEntry*> files;
    for (const DirectoryEntry& entry : listing.entries) {
        if (entry.name.native() == name.native())
            return name;
        if (!entry.error && entry.kind == EntryKind::File)
            files.push_back(&entry);
    }
    // First the names that differ only in case: the same file, or, where the driver numbers
    // each spelling anew, the one such name that is the same file but for its inode number.
    std::optional<std::filesystem::path> sameButInode;
    int sameButInodeCount = 0;
    for (const DirectoryEntry* entry : files) {
        if (!EqualIgnoringAsciiCase(entry->name.native(), name.native()))
            continue;
        const std::optional<FileIdentity> identity = StatName(folder.handle(), entry->name);
        if (identity && *identity == named)
            return entry->name;
        if (identity && SameButInode(*identity, named) && ++sameButInodeCount == 1)
            sameButInode = entry->name;
    }
    if (sameButInodeCount == 1)
        return *sameButInode;
    // Then any other spelling the file system folds alike (case beyond ASCII, normalisation).
    for (const DirectoryEntry* entry : files) {
        const std::optional<FileIdentity> identity = StatName(folder.handle(), entry->name);
        if (identity && *identity == named)
            return entry->name;
    }
    return name;
}

} // namespace quorvel
