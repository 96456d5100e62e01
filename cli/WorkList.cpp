#include "WorkList.h"

#include "DirectoryLister.h"
#include "FileOps.h"
#include "FolderWalk.h"
#include "ReadOnly.h"

#include <set>
#include <utility>

namespace quorvel {
namespace {

using Identity = std::pair<std::uint64_t, std::uint64_t>;

class Collector {
public:
    Collector(WorkList& list, const std::atomic<bool>& stop) : m_list(list), m_stop(stop) {}

    // Adds a file to handle, once per file.
    void AddFile(const std::filesystem::path& path) {
        FileIdentity identity;
        std::int64_t size = 0;
        if (CurrentFileOps().stat(path, true, identity) == 0) {
            if (!m_seen.insert({identity.device, identity.inode}).second)
                return;
            size = identity.size;
        }
        // A file that can't be stat()ed still goes in: the core reports why it can't be read.
        m_list.items.push_back({path, size, std::nullopt});
        m_list.totalBytes += size;
        ++m_list.toHandle;
    }

    void AddPreset(FileReport report) {
        m_list.items.push_back({report.path, 0, std::move(report)});
    }

    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

private:
    WorkList& m_list;
    const std::atomic<bool>& m_stop;
    std::set<Identity> m_seen;
};

// Lists folders for the walk and notes the texture files it will pass over as read-only, which
// the walk itself leaves unreported.
class ReadOnlyNotingLister final : public DirectoryLister {
public:
    explicit ReadOnlyNotingLister(Collector& collector) : m_collector(collector) {}

    DirectoryListing List(const std::filesystem::path& folder, FollowLink follow) override {
        DirectoryListing listing = m_system.List(folder, follow);
        for (const DirectoryEntry& entry : listing.entries) {
            if (entry.error || entry.kind != EntryKind::File || !IsTextureFileName(entry.name))
                continue;
            std::error_code error;
            if (IsReadOnly(folder / entry.name, error) && !error) {
                FileReport report;
                report.path = folder / entry.name;
                report.outcome = FileOutcome::ReadOnlySkipped;
                m_collector.AddPreset(std::move(report));
            }
        }
        return listing;
    }

private:
    Collector& m_collector;
    SystemDirectoryLister m_system;
};

class Visitor final : public FolderVisitor {
public:
    explicit Visitor(Collector& collector) : m_collector(collector) {}

    void EnterFolder(const std::filesystem::path&) override {}
    void Candidate(const std::filesystem::path& file) override { m_collector.AddFile(file); }
    void Failure(const std::filesystem::path& path, WalkStep step, std::error_code error) override {
        FileReport report;
        report.path = path;
        report.outcome = FileOutcome::WalkFailed;
        report.walkStep = step;
        report.error = error;
        m_collector.AddPreset(std::move(report));
    }
    bool StopRequested() override { return m_collector.stopRequested(); }

private:
    Collector& m_collector;
};

} // namespace

WorkList CollectWork(const std::vector<std::filesystem::path>& paths,
                     const std::atomic<bool>& stop) {
    WorkList list;
    Collector collector(list, stop);
    for (const std::filesystem::path& path : paths) {
        if (collector.stopRequested())
            break;
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            ReadOnlyNotingLister lister(collector);
            Visitor visitor(collector);
            WalkFolderTree(path, visitor, lister);
        } else {
            collector.AddFile(path);
        }
    }
    return list;
}

} // namespace quorvel
