// A folder's entries on Windows: everything through the one handle on the folder.
//
// The folder was opened (OpenFolders.cpp) with FILE_FLAG_BACKUP_SEMANTICS (needed for folders)
// and, below the start folder, FILE_FLAG_OPEN_REPARSE_POINT, so a symbolic link or junction is
// opened as itself instead of what it points to and then refused. Its entries come from the same
// handle (GetFileInformationByHandleEx), with each entry's attributes and reparse tag, so no entry
// is looked up by path again; a subfolder's identity is the folder's volume serial number and the
// entry's file ID. A reparse point is never a Folder: one on a folder (a symbolic link to a
// folder, a junction, a mount point) is a LinkToFolder, a symbolic link to a file a LinkToFile,
// any other kind Other; the walk follows none of them.
#include "FolderEntries.h"

#include <cstddef>
#include <vector>
#include <windows.h>

namespace quorvel {
namespace {

std::error_code Win32Error(DWORD code) {
    return {static_cast<int>(code), std::system_category()};
}

EntryKind KindOf(DWORD attributes, DWORD reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A folder's reparse point (a link to a folder, a junction, a mount point) leads to a
        // folder as a link does; the walk follows none of them.
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return EntryKind::LinkToFolder;
        return reparseTag == IO_REPARSE_TAG_SYMLINK ? EntryKind::LinkToFile : EntryKind::Other;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return EntryKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return EntryKind::Other;
    return EntryKind::File;
}

} // namespace

FolderEntries ReadFolderEntries(const OpenFolder& folder, EntryKindSource) {
    FolderEntries listing;
    const HANDLE handle = folder.handle();

    // FILE_ID_BOTH_DIR_INFO records need 8-byte alignment.
    std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
    FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(handle, infoClass, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
            const DWORD code = GetLastError();
            if (code != ERROR_NO_MORE_FILES)
                listing.readError = Win32Error(code);
            break;
        }
        infoClass = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const std::byte*>(buffer.data());
        for (;;) {
            const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            const std::wstring_view name(record->FileName, record->FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..") {
                DirectoryEntry entry;
                entry.name = std::filesystem::path(std::wstring(name));
                // For a reparse point the EA size field holds its tag.
                entry.kind = KindOf(record->FileAttributes, record->EaSize);
                if (entry.kind == EntryKind::Folder)
                    entry.identity =
                        FolderIdentity{folder.identity().device,
                                       static_cast<std::uint64_t>(record->FileId.QuadPart)};
                listing.entries.push_back(std::move(entry));
            }
            if (record->NextEntryOffset == 0)
                break;
            bytes += record->NextEntryOffset;
        }
    }
    return listing;
}

} // namespace quorvel
