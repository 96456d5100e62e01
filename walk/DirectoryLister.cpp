#include "DirectoryLister.h"

#include "System.h"

#include <utility>

namespace quorvel {

int DirectoryLister::ReadAttributes(const DirectoryListing& listing,
                                    const std::filesystem::path& name,
                                    const std::filesystem::path& shown, FileIdentity& out) {
    const FileOps& ops = CurrentFileOps();
    if (listing.folder && listing.folder->handle() != kNoFolder)
        return ops.statAt(listing.folder->handle(), name, false, out);
    return ops.statAt(kNoFolder, shown, false, out);
}

DirectoryListing SystemDirectoryLister::List(const FolderRequest& request) {
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
    FolderEntries read = ReadFolderEntries(*listing.folder, m_source);
    if (read.openError) {
        listing.openError = read.openError;
        listing.folder.reset();
        return listing;
    }
    listing.entries = std::move(read.entries);
    listing.readError = read.readError;
    return listing;
}

std::vector<std::filesystem::path>
SystemDirectoryLister::Drives(const std::filesystem::path& currentFolder) {
    return SystemDrives(currentFolder);
}

std::vector<std::filesystem::path>
SystemDirectoryLister::Subfolders(const std::filesystem::path& folder, std::error_code& error) {
    std::vector<std::filesystem::path> names;
    const DirectoryListing listing = List({nullptr, folder, folder, std::nullopt});
    error = listing.openError ? listing.openError : listing.readError;
    if (error)
        return names;
    // A link to a folder is listed like a folder; a dangling link, or one to a file, isn't.
    for (const DirectoryEntry& entry : listing.entries) {
        if (!entry.error && !entry.name.empty() &&
            (entry.kind == EntryKind::Folder || entry.kind == EntryKind::LinkToFolder))
            names.push_back(entry.name);
    }
    return names;
}

} // namespace quorvel
