#include "WorkList.h"

#include "FileOps.h"
#include "FolderWalk.h"
#include "LeftoverFiles.h"
#include "System.h"
#include "TextureFormat.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace quorvel {
namespace {

using Identity = std::pair<std::uint64_t, std::uint64_t>;

// Whether `path` names a folder, links followed. Through the file calls, which take a path of
// any length on Windows, where the C run-time's stat() doesn't.
bool IsFolderPath(const std::filesystem::path& path) {
    FileIdentity identity;
    return CurrentFileOps().statAt(kNoFolder, path, true, identity) == 0 && identity.isFolder();
}

class Collector {
public:
    Collector(WorkList& list, const std::atomic<bool>& stop, std::size_t maxOpenFolders)
        : m_list(list), m_stop(stop), m_maxOpenFolders(maxOpenFolders) {}

    // Adds a file to handle, once per file.
    void AddFile(FileInFolder file, std::error_code openError = {}) {
        FileIdentity identity;
        std::int64_t size = 0;
        if (file.folder &&
            CurrentFileOps().statAt(file.folder->handle(), file.name, false, identity) == 0) {
            if (!m_seen.insert({identity.device, identity.inode}).second)
                return;
            size = identity.size;
        }
        // A file that can't be stat()ed still goes in: the core reports why it can't be read.
        if (file.folder)
            file.folder = Held(file.folder);
        std::filesystem::path shown = file.shown;
        m_list.items.push_back({std::move(shown), std::move(file), openError, size, std::nullopt});
        m_list.payloadBytes += PayloadBytes(size);
        ++m_list.toHandle;
    }

    void AddNamedFile(const std::filesystem::path& path) {
        std::error_code error;
        FileInFolder file = ResolveNamedFile(path, error);
        if (error)
            file.folder.reset();
        file.shown = path;
        AddFile(std::move(file), error);
    }

    // Adds a read-only skip or a walk failure, once per file or folder (and, for failures, per
    // step): a tree named twice ("." and "./") is walked twice. The identity only tells repeats
    // apart; nothing is acted on through the path. What can't be stat()ed goes in.
    void AddPreset(FileReport report) {
        FileIdentity identity;
        if (CurrentFileOps().statAt(kNoFolder, report.path, false, identity) == 0) {
            const PresetKey key{static_cast<int>(report.step), identity.device, identity.inode};
            if (!m_seenPresets.insert(key).second)
                return;
        }
        std::filesystem::path shown = report.path;
        m_list.items.push_back({std::move(shown), {}, {}, 0, std::move(report)});
    }

    void CountLeftoverRemoved() { ++m_list.leftoversRemoved; }

    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

private:
    // The folder to keep in the list: the open folder while there is room, else a detached
    // stand-in (one per folder), so the list never needs more descriptors than allowed.
    SharedFolder Held(const SharedFolder& folder) {
        if (folder->handle() == kNoFolder)
            return folder;
        const FolderIdentity identity = folder->identity();
        if (const auto kept = m_kept.find(identity); kept != m_kept.end())
            return kept->second;
        SharedFolder kept = folder;
        if (m_open >= m_maxOpenFolders) {
            if (SharedFolder detached = folder->Detached())
                kept = std::move(detached);
        }
        if (kept->handle() != kNoFolder)
            ++m_open;
        m_kept.emplace(identity, kept);
        return kept;
    }

    WorkList& m_list;
    const std::atomic<bool>& m_stop;
    using PresetKey =
        std::tuple<int, std::uint64_t, std::uint64_t>; // step (None: a skip), identity
    std::set<Identity> m_seen;
    std::size_t m_maxOpenFolders;
    std::size_t m_open = 0;
    std::map<FolderIdentity, SharedFolder> m_kept;
    std::set<PresetKey> m_seenPresets;
};

class Visitor final : public FolderVisitor {
public:
    Visitor(Collector& collector, bool removeLeftovers)
        : m_collector(collector), m_removeLeftovers(removeLeftovers) {}

    void EnterFolder(const std::filesystem::path&) override {}
    void Candidate(const FileInFolder& file) override { m_collector.AddFile(file); }
    void TemporaryFile(const FileInFolder& file) override {
        if (!m_removeLeftovers)
            return;
        std::error_code error;
        const Outcome outcome = RemoveLeftoverTemporaryFile(*file.folder, file.name, error);
        if (outcome == Outcome::LeftoverRemoved)
            m_collector.CountLeftoverRemoved();
        else if (outcome == Outcome::WalkFailed)
            Failure(file.shown, Step::RemoveLeftover, error);
    }
    void Skipped(const std::filesystem::path& file, Outcome outcome) override {
        if (outcome != Outcome::ReadOnlySkipped)
            return;
        FileReport report;
        report.path = file;
        report.outcome = Outcome::ReadOnlySkipped;
        m_collector.AddPreset(std::move(report));
    }
    void Failure(const std::filesystem::path& path, Step step, std::error_code error) override {
        FileReport report;
        report.path = path;
        report.outcome = Outcome::WalkFailed;
        report.step = step;
        report.error = error;
        m_collector.AddPreset(std::move(report));
    }
    bool StopRequested() override { return m_collector.stopRequested(); }

private:
    Collector& m_collector;
    bool m_removeLeftovers;
};

} // namespace

WorkList CollectWork(const std::vector<std::filesystem::path>& paths, const std::atomic<bool>& stop,
                     bool removeLeftovers, std::size_t maxOpenFolders) {
    if (maxOpenFolders == 0) {
        // Half the limit: the rest is for the walk itself and for the workers' batches.
        const std::size_t limit = OpenFileLimit();
        if (limit == 0)
            maxOpenFolders = 512;
        else if (limit == kUnlimitedFiles)
            maxOpenFolders = std::size_t{1} << 20;
        else
            maxOpenFolders = std::max<std::size_t>(16, limit / 2);
    }
    WorkList list;
    Collector collector(list, stop, maxOpenFolders);
    for (const std::filesystem::path& path : paths) {
        if (collector.stopRequested())
            break;
        if (IsFolderPath(path)) {
            Visitor visitor(collector, removeLeftovers);
            WalkFolderTree(path, visitor);
        } else {
            collector.AddNamedFile(path);
        }
    }
    return list;
}

} // namespace quorvel
