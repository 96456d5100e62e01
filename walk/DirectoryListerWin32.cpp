// SystemDirectoryLister on Windows: everything through one handle on the folder.
//
// The folder is opened (OpenFolder.cpp) with FILE_FLAG_BACKUP_SEMANTICS (needed for folders)
// and, below the start folder, FILE_FLAG_OPEN_REPARSE_POINT, so a symbolic link or junction is
// opened as itself instead of what it points to and then refused. Its identity is the volume serial
// number and file ID of that handle; its entries come from the same handle
// (GetFileInformationByHandleEx), with each entry's attributes and reparse tag, so no entry is
// looked up by path again. A reparse point is never a Folder: symbolic links are reported as
// links, junctions, mount points and every other kind as Other, and the walk follows none.
#include "DirectoryLister.h"

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
        if (reparseTag == IO_REPARSE_TAG_SYMLINK)
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::LinkToFolder
                                                                : EntryKind::LinkToFile;
        return EntryKind::Other; // junctions and mount points among them
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return EntryKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return EntryKind::Other;
    return EntryKind::File;
}

} // namespace

int DirectoryLister::ReadAttributes(const DirectoryListing& listing,
                                    const std::filesystem::path& name,
                                    const std::filesystem::path& shown, FileIdentity& out) {
    const FileOps& ops = CurrentFileOps();
    if (listing.folder && listing.folder->handle() != kNoFolder)
        return ops.statAt(listing.folder->handle(), name, false, out);
    return ops.statAt(kNoFolder, shown, false, out);
}

DirectoryListing SystemDirectoryLister::List(const FolderRequest& request) {
    (void)m_source; // entry kinds always come with the listing here
    DirectoryListing listing;
    std::error_code error;
    if (request.parent) {
        if (request.expected)
            listing.folder = OpenChildFolder(request.parent, request.name, *request.expected,
                                             request.shown, error);
        else
            error = std::make_error_code(std::errc::invalid_argument);
    } else {
        listing.folder = OpenFolderPath(request.name, error);
    }
    if (error) {
        listing.folder.reset();
        listing.openError = error;
        return listing;
    }
    listing.identity = listing.folder->identity();
    const HANDLE handle = listing.folder->handle();

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
                        FolderIdentity{listing.identity->device,
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
