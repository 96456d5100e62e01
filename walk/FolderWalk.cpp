#include "FolderWalk.h"

#include "ReadOnly.h"
#include "SafeReplace.h"
#include "TextureError.h"

#include <iterator>
#include <set>
#include <utility>
#include <vector>

namespace quorvel {

namespace {

using path = std::filesystem::path;

template <typename Char> Char AsciiUpper(Char c) {
    return (c >= Char('a') && c <= Char('z')) ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

// Walks one tree; holds what must live for the whole walk.
class Walker {
public:
    Walker(FolderVisitor& visitor, DirectoryLister& lister)
        : m_visitor(visitor), m_lister(lister) {}

    WalkSummary Run(const path& start) {
        // The next folder to walk is at the back; only the start folder, which has no parent,
        // is opened by its path.
        std::vector<FolderRequest> pending{{nullptr, start, start, std::nullopt}};
        while (!pending.empty()) {
            if (Stopped())
                break;
            const FolderRequest request = std::move(pending.back());
            pending.pop_back();
            std::vector<FolderRequest> subfolders = WalkOne(request);
            pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                           std::make_move_iterator(subfolders.rend()));
        }
        return m_summary;
    }

private:
    bool Stopped() {
        if (!m_summary.stopped && m_visitor.StopRequested())
            m_summary.stopped = true;
        return m_summary.stopped;
    }

    void Report(const path& where, Step step, std::error_code error) {
        ++m_summary.failures;
        m_visitor.Failure(where, step, error);
    }

    // Walks the files of the folder and returns its subfolders in listing order.
    std::vector<FolderRequest> WalkOne(const FolderRequest& request) {
        std::vector<FolderRequest> subfolders;
        const path& folder = request.shown;
        DirectoryListing listing = m_lister.List(request);
        if (listing.identity && !m_seen.insert(*listing.identity).second)
            return subfolders;
        ++m_summary.folders;
        m_visitor.EnterFolder(folder);
        if (listing.openError) {
            Report(folder, Step::OpenFolder, listing.openError);
            return subfolders;
        }
        if (listing.readError)
            Report(folder, Step::ListFolder, listing.readError);
        for (const DirectoryEntry& entry : listing.entries) {
            if (Stopped())
                break;
            if (entry.name.empty()) {
                Report(folder, Step::ReadName,
                       entry.error ? entry.error : std::make_error_code(std::errc::io_error));
                continue;
            }
            path full = folder / entry.name;
            if (entry.error) {
                Report(full, Step::ReadEntry, entry.error);
                continue;
            }
            if (entry.kind == EntryKind::Folder) {
                subfolders.push_back({listing.folder, entry.name, std::move(full), entry.identity});
            } else if (IsTextureFileName(entry.name)) {
                if (entry.kind == EntryKind::File)
                    OfferCandidate(listing, entry.name, std::move(full));
                else
                    m_visitor.Skipped(full, Outcome::NotRegularSkipped);
            } else if (entry.kind == EntryKind::File && listing.folder &&
                       IsTemporaryFileName(entry.name)) {
                m_visitor.TemporaryFile({listing.folder, entry.name, std::move(full)});
            }
        }
        return subfolders;
    }

    void OfferCandidate(const DirectoryListing& listing, const path& name, path file) {
        FileIdentity info;
        if (m_lister.ReadAttributes(listing, name, file, info) != 0) {
            Report(file, Step::ReadAttributes, LastError());
        } else if (!info.isRegular()) { // swapped since it was listed
            m_visitor.Skipped(file, Outcome::NotRegularSkipped);
        } else if (IsReadOnly(static_cast<std::filesystem::perms>(info.mode & 07777u))) {
            m_visitor.Skipped(file, Outcome::ReadOnlySkipped);
        } else {
            ++m_summary.candidates;
            m_visitor.Candidate({listing.folder, name, std::move(file)});
        }
    }

    FolderVisitor& m_visitor;
    DirectoryLister& m_lister;
    std::set<FolderIdentity> m_seen;
    WalkSummary m_summary;
};

} // namespace

bool IsTextureFileName(const std::filesystem::path& name) {
    using Char = path::value_type;
    static constexpr Char extension[] = {Char('.'), Char('A'), Char('C'), Char('E')};
    const path::string_type& text = name.native();
    if (text.size() < std::size(extension))
        return false;
    const Char* tail = text.data() + (text.size() - std::size(extension));
    for (std::size_t i = 0; i < std::size(extension); ++i) {
        if (AsciiUpper(tail[i]) != extension[i])
            return false;
    }
    return true;
}

WalkSummary WalkFolderTree(const std::filesystem::path& start, FolderVisitor& visitor,
                           DirectoryLister& lister) {
    return Walker(visitor, lister).Run(start);
}

WalkSummary WalkFolderTree(const std::filesystem::path& start, FolderVisitor& visitor) {
    SystemDirectoryLister lister;
    return WalkFolderTree(start, visitor, lister);
}

} // namespace quorvel
