#include "WorkList.h"

#include "FileOps.h"
#include "FolderWalk.h"
#include "TextureFormat.h"

#include <algorithm>
#include <set>
#include <tuple>
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
        m_list.payloadBytes += PayloadBytes(size);
        ++m_list.toHandle;
    }

    // Adds a read-only skip or a walk failure, once per file or folder (and, for failures, per
    // step): a tree named twice ("." and "./") is walked twice. What can't be stat()ed goes in.
    void AddPreset(FileReport report) {
        FileIdentity identity;
        if (CurrentFileOps().stat(report.path, false, identity) == 0) {
            const PresetKey key{report.walkStep ? static_cast<int>(*report.walkStep) : -1,
                                identity.device, identity.inode};
            if (!m_seenPresets.insert(key).second)
                return;
        }
        m_list.items.push_back({report.path, 0, std::move(report)});
    }

    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

private:
    WorkList& m_list;
    const std::atomic<bool>& m_stop;
    using PresetKey = std::tuple<int, std::uint64_t, std::uint64_t>; // walk step or -1, identity
    std::set<Identity> m_seen;
    std::set<PresetKey> m_seenPresets;
};

class Visitor final : public FolderVisitor {
public:
    explicit Visitor(Collector& collector) : m_collector(collector) {}

    void EnterFolder(const std::filesystem::path&) override {}
    void Candidate(const std::filesystem::path& file) override { m_collector.AddFile(file); }
    void Skipped(const std::filesystem::path& file, SkipReason reason) override {
        if (reason != SkipReason::ReadOnly)
            return;
        FileReport report;
        report.path = file;
        report.outcome = FileOutcome::ReadOnlySkipped;
        m_collector.AddPreset(std::move(report));
    }
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

std::int64_t PayloadBytes(std::int64_t size) {
    return std::max<std::int64_t>(0, size - static_cast<std::int64_t>(kTextureHeaderBytes));
}

WorkList CollectWork(const std::vector<std::filesystem::path>& paths,
                     const std::atomic<bool>& stop) {
    WorkList list;
    Collector collector(list, stop);
    for (const std::filesystem::path& path : paths) {
        if (collector.stopRequested())
            break;
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            Visitor visitor(collector);
            WalkFolderTree(path, visitor);
        } else {
            collector.AddFile(path);
        }
    }
    return list;
}

} // namespace quorvel
