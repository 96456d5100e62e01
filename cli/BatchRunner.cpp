#include "BatchRunner.h"

#include "InterruptCleanup.h"
#include "SafeReplace.h"
#include "System.h"
#include "TextureError.h"
#include "TextureFile.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// Staged files smaller than this are made durable together, by one syncfs() per batch, rather
// than by an fsync() each; bigger ones are dominated by their data and keep their own fsync.
constexpr std::int32_t kDeferredSyncLimit = 1024 * 1024;

// Every staged file holds an interrupt-cleanup slot and, until its batch commits, up to three
// open descriptors: the original's (it carries the read lease), the temporary file's until it
// is synced, and its folder's when the work list could not keep that open. The work list holds
// one for each folder it keeps open. All workers' batches
// together must stay within both limits, with room left for the files each worker is reading
// and writing; otherwise many workers with full batches fail their files with "too many open
// files".
std::size_t BatchFilesPerWorker(std::size_t wanted, unsigned jobs, std::size_t openFolders) {
    const auto slots = static_cast<std::size_t>(kMaxTemporaryFiles);
    std::size_t descriptors = 2 * slots;
    if (const std::size_t limit = OpenFileLimit(); limit != 0 && limit != kUnlimitedFiles)
        descriptors = limit;
    const std::size_t reserve = 32 + 4 * static_cast<std::size_t>(jobs) + openFolders;
    const std::size_t room = descriptors > reserve ? (descriptors - reserve) / 3 : 0;
    return std::clamp<std::size_t>(std::min(room, slots) / jobs, 1,
                                   std::max<std::size_t>(wanted, 1));
}

// The distinct folders the work list holds open.
std::size_t OpenFolders(const WorkList& work) {
    std::set<const OpenFolder*> folders;
    for (const WorkItem& item : work.items) {
        if (item.file.folder && item.file.folder->handle() != kNoFolder)
            folders.insert(item.file.folder.get());
    }
    return folders.size();
}

// What the workers share with the collecting thread.
class SharedState {
public:
    SharedState(const WorkList& workList, const BatchOptions& batchOptions, unsigned jobs,
                const std::atomic<bool>& stopFlag)
        : work(workList), options(batchOptions),
          batchFiles(BatchFilesPerWorker(batchOptions.batchFiles, jobs, OpenFolders(workList))),
          stop(stopFlag) {}

    const WorkList& work;
    const BatchOptions& options;
    const std::size_t batchFiles; // options.batchFiles, cut to fit the open-file limits
    const std::atomic<bool>& stop;
    // Set when the collecting thread leaves by an exception: workers stop as on an interrupt.
    std::atomic<bool> abort{false};
    std::atomic<std::size_t> next{0};
    std::atomic<std::int64_t> filesDone{0};
    std::atomic<std::int64_t> bytesRead{0};
    std::atomic<std::int64_t> bytesSaved{0};
    std::atomic<std::int64_t> abandoned{0}; // staged, then left unrenamed by an interrupt

    bool stopping() const {
        return stop.load(std::memory_order_relaxed) || abort.load(std::memory_order_relaxed);
    }

    void Publish(std::size_t index, FileReport report) {
        {
            std::lock_guard lock(m_mutex);
            m_ready.emplace(index, std::move(report));
        }
        m_wake.notify_one();
    }

    void WorkerFinished() {
        {
            std::lock_guard lock(m_mutex);
            ++m_workersFinished;
        }
        m_wake.notify_one();
    }

    // Waits up to `timeout` for the report at `index` or for all `workers` to finish; then
    // moves out every report from `index` on that is ready without a gap.
    std::vector<FileReport> TakeInOrder(std::size_t index, unsigned workers,
                                        Clock::duration timeout, bool& allFinished) {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, timeout,
                        [&] { return m_ready.count(index) > 0 || m_workersFinished == workers; });
        std::vector<FileReport> out;
        for (auto it = m_ready.find(index); it != m_ready.end() && it->first == index;
             it = m_ready.find(index)) {
            out.push_back(std::move(it->second));
            m_ready.erase(it);
            ++index;
        }
        allFinished = m_workersFinished == workers;
        return out;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::size_t, FileReport> m_ready; // finished, waiting for earlier ones
    unsigned m_workersFinished = 0;
};

FileReport NotProcessed(const std::filesystem::path& path) {
    FileReport report;
    report.path = path;
    report.outcome = Outcome::NotProcessed;
    return report;
}

class Worker {
public:
    Worker(SharedState& shared) : m_shared(shared), m_engine(shared.options.engine) {}

    // Never throws: an exception while handling a file (out of memory, say) fails that file,
    // or the batch being renamed, and the worker goes on.
    void Run() {
        const std::vector<WorkItem>& items = m_shared.work.items;
        for (;;) {
            if (m_shared.stopping())
                break;
            const std::size_t index = m_shared.next.fetch_add(1, std::memory_order_relaxed);
            if (index >= items.size())
                break;
            m_current = index;
            try {
                Handle(index, items[index]);
            } catch (...) {
                Recover(items[index], CurrentExceptionCode());
            }
        }
        m_current = kNone;
        try {
            if (m_shared.stopping())
                AbandonBatch();
            else
                CommitBatch();
        } catch (...) {
            Recover(WorkItem{}, CurrentExceptionCode());
        }
    }

private:
    struct Staged {
        std::size_t index;
        PreparedTexture prepared;
        PendingReplacement pending;
        bool synced; // the temporary file is known to be on disk
    };

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    static std::error_code CurrentExceptionCode() {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            return std::make_error_code(std::errc::not_enough_memory);
        } catch (const std::system_error& e) {
            return e.code();
        } catch (...) {
            return make_error_code(TextureErrc::Unexpected);
        }
    }

    // After an exception: the file in hand (not yet reported nor staged) fails, its temporary
    // file already gone with the stack. A batch that was being renamed is reported as far as it
    // got: files renamed stay renamed but their folder may not be on disk, the others are
    // removed and stay as they were. Nothing here may throw again but Publish, whose reports
    // the collector then counts as not processed.
    void Recover(const WorkItem& item, std::error_code error) noexcept {
        try {
            if (m_current != kNone) {
                FileReport report;
                report.path = item.path;
                report.outcome = Outcome::Failed;
                report.transform = IsRestoreMode(m_shared.options.mode)
                                       ? TextureTransform::Restore
                                       : TextureTransform::Compress;
                report.error = error;
                m_shared.Publish(m_current, std::move(report));
                m_current = kNone;
            }
            if (m_committing) {
                for (Staged& staged : m_batch) {
                    TextureResult& result = staged.prepared.result;
                    if (staged.pending) {
                        result.SetFailure(Step::Replace, error);
                        DiscardStaged(staged.pending, result);
                    } else if (!result.failed()) {
                        result.SetFailure(Step::SyncFolder, error);
                    }
                    m_shared.Publish(staged.index, ReportFromTexture(result));
                }
                m_batch.clear();
                m_batchBytes = 0;
                m_committing = false;
            }
        } catch (...) {
            // Out of memory even for a report: the collector reports these files as not
            // processed, and the staged ones are removed by their destructors.
            m_batch.clear();
            m_committing = false;
        }
    }

    void Handle(std::size_t index, const WorkItem& item) {
        const BatchMode mode = m_shared.options.mode;
        if (item.preset &&
            !(mode == BatchMode::Verify && item.preset->outcome == Outcome::ReadOnlySkipped)) {
            m_current = kNone;
            m_shared.Publish(index, *item.preset);
            return;
        }
        // A folder the work list could not keep open is opened again along its route.
        FileInFolder file = item.file;
        std::error_code reopenError;
        file.folder = ReopenFolder(item.file.folder, reopenError);
        if (reopenError) {
            CountDone(item, 0);
            if (mode == BatchMode::Verify) {
                VerifyResult result;
                result.SetFailure(Step::Open, reopenError);
                m_shared.Publish(index, ReportFromVerify(item.path, result));
            } else {
                TextureResult result;
                result.path = item.path;
                result.SetFailure(Step::Open, reopenError);
                m_shared.Publish(index, ReportFromTexture(result));
            }
            return;
        }
        if (mode == BatchMode::Verify) {
            VerifyResult result;
            try {
                result = file.folder ? VerifyTextureFile(file) : VerifyTextureFile(item.path);
            } catch (const std::bad_alloc&) {
                result.SetFailure(Step::Read, std::make_error_code(std::errc::not_enough_memory));
            }
            CountDone(item, 0);
            m_current = kNone;
            m_shared.Publish(index, ReportFromVerify(item.path, result));
            return;
        }

        const TextureTransform transform =
            IsRestoreMode(mode) ? TextureTransform::Restore : TextureTransform::Compress;
        PreparedTexture prepared =
            file.folder ? PrepareTexture(file, m_engine.compressor(), transform)
                        : PrepareTexture(item.path, m_engine.compressor(), transform);
        // The progress counts a file as soon as it is compressed, not when its batch is renamed
        // into place; the totals count only what was renamed.
        CountDone(item, prepared.result.rewritten() ? prepared.result.bytesSaved : 0);
        if (IsDryRunMode(mode) || !prepared.result.rewritten()) {
            m_current = kNone;
            m_shared.Publish(index, ReportFromTexture(prepared.result));
            return;
        }
        const std::int32_t newPayloadBytes = prepared.stream.count();
        const bool deferSync =
            m_shared.options.deferSmallSyncs && newPayloadBytes < kDeferredSyncLimit;
        PendingReplacement pending =
            StageTexture(prepared, deferSync ? StageSync::Later : StageSync::Now);
        if (!pending) {
            m_current = kNone;
            m_shared.Publish(index, ReportFromTexture(prepared.result));
            return;
        }
        // The stream is on disk now; free it (erase() would keep the capacity) so a batch holds
        // no payload memory while it fills.
        prepared.stream = ByteArray{};
        m_batchBytes += static_cast<std::int64_t>(kTextureHeaderBytes) + newPayloadBytes;
        m_batch.push_back({index, std::move(prepared), std::move(pending), !deferSync});
        m_current = kNone;
        if (m_batch.size() >= m_shared.batchFiles || m_batchBytes >= m_shared.options.batchBytes)
            CommitBatch();
    }

    // Makes every staged file durable, renames them into place, then flushes each folder once.
    // A folder that fails to flush marks the files renamed into it.
    void CommitBatch() {
        m_committing = true;
        SyncDeferred();
        std::set<const OpenFolder*> folders;
        for (Staged& staged : m_batch) {
            if (CommitTexture(staged.prepared, staged.pending, false))
                folders.insert(staged.prepared.target.folder.get());
        }
        for (const OpenFolder* folder : folders) {
            const std::error_code error = SyncFolder(*folder);
            if (!error)
                continue;
            for (Staged& staged : m_batch) {
                if (!staged.prepared.result.failed() &&
                    staged.prepared.target.folder.get() == folder)
                    staged.prepared.result.SetFailure(Step::SyncFolder, error);
            }
        }
        for (Staged& staged : m_batch)
            m_shared.Publish(staged.index, ReportFromTexture(staged.prepared.result));
        m_batch.clear();
        m_batchBytes = 0;
        m_committing = false;
    }

    // One syncfs() per file system for the files staged without their own fsync. Where that
    // fails, each file is synced on its own, which also tells which of them has the problem.
    void SyncDeferred() {
        std::map<std::uint64_t, std::error_code> deviceErrors;
        for (Staged& staged : m_batch) {
            if (staged.synced)
                continue;
            const std::uint64_t device = staged.prepared.original.device;
            auto it = deviceErrors.find(device);
            if (it == deviceErrors.end())
                it = deviceErrors.emplace(device, SyncFileSystem(*staged.prepared.target.folder))
                         .first;
            if (it->second) {
                if (const std::error_code error = staged.pending.sync()) {
                    staged.prepared.result.SetFailure(Step::Sync, error);
                    DiscardStaged(staged.pending, staged.prepared.result);
                }
            }
            staged.synced = true;
        }
    }

    void AbandonBatch() {
        m_shared.abandoned.fetch_add(static_cast<std::int64_t>(m_batch.size()),
                                     std::memory_order_relaxed);
        for (Staged& staged : m_batch) {
            FileReport report = NotProcessed(staged.prepared.result.path);
            DiscardStaged(staged.pending, staged.prepared.result);
            report.leftover = staged.prepared.result.leftover;
            report.leftoverError = staged.prepared.result.leftoverError;
            m_shared.Publish(staged.index, std::move(report));
        }
        m_batch.clear();
        m_batchBytes = 0;
    }

    void CountDone(const WorkItem& item, std::int64_t payloadBytesSaved) {
        m_shared.bytesRead.fetch_add(PayloadBytes(item.size), std::memory_order_relaxed);
        m_shared.bytesSaved.fetch_add(payloadBytesSaved, std::memory_order_relaxed);
        m_shared.filesDone.fetch_add(1, std::memory_order_relaxed);
    }

    SharedState& m_shared;
    PayloadEngine m_engine;
    std::vector<Staged> m_batch;
    std::int64_t m_batchBytes = 0;
    std::size_t m_current = kNone; // the item in hand, until it is reported or staged
    bool m_committing = false;     // inside CommitBatch
};

// Joins the worker threads on every way out of RunBatch; on an exception it first tells the
// workers to stop, so they abandon their staged files instead of renaming them.
class ThreadJoiner {
public:
    ThreadJoiner(std::vector<std::thread>& threads, std::atomic<bool>& abort)
        : m_threads(threads), m_abort(abort), m_exceptions(std::uncaught_exceptions()) {}
    ~ThreadJoiner() {
        if (std::uncaught_exceptions() > m_exceptions)
            m_abort.store(true);
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }
    ThreadJoiner(const ThreadJoiner&) = delete;
    ThreadJoiner& operator=(const ThreadJoiner&) = delete;

private:
    std::vector<std::thread>& m_threads;
    std::atomic<bool>& m_abort;
    int m_exceptions;
};

} // namespace

BatchTotals RunBatch(const WorkList& work, const BatchOptions& options, BatchSink& sink,
                     const std::atomic<bool>& stop) {
    const auto start = Clock::now();
    const unsigned jobs = std::max(1u, options.jobs);
    SharedState shared(work, options, jobs, stop);

    std::int64_t filesTotal = work.toHandle;
    if (options.mode == BatchMode::Verify) {
        filesTotal += std::count_if(work.items.begin(), work.items.end(), [](const WorkItem& i) {
            return i.preset && i.preset->outcome == Outcome::ReadOnlySkipped;
        });
    }

    // Engines are made here so a failure to create one surfaces before any thread starts.
    std::vector<std::unique_ptr<Worker>> workers;
    for (unsigned i = 0; i < jobs; ++i)
        workers.push_back(std::make_unique<Worker>(shared));
    std::vector<std::thread> threads;
    ThreadJoiner joiner(threads, shared.abort);
    for (auto& worker : workers) {
        threads.emplace_back([&shared, w = worker.get()] {
            w->Run();
            shared.WorkerFinished();
        });
    }

    BatchTotals totals;
    totals.leftoversRemoved = work.leftoversRemoved;
    std::size_t emitted = 0;
    auto lastProgress = Clock::now() - kProgressInterval;
    bool allFinished = false;
    while (!allFinished || emitted < work.items.size()) {
        std::vector<FileReport> reports =
            shared.TakeInOrder(emitted, jobs, kProgressInterval, allFinished);
        for (const FileReport& report : reports) {
            totals.Add(report);
            sink.OnReport(report);
        }
        emitted += reports.size();
        if (allFinished && reports.empty() && emitted < work.items.size()) {
            // Interrupted: nothing more will come for this item.
            FileReport report = NotProcessed(work.items[emitted].path);
            totals.Add(report);
            sink.OnReport(report);
            ++emitted;
        }
        const auto now = Clock::now();
        if (now - lastProgress >= kProgressInterval ||
            (allFinished && emitted == work.items.size())) {
            lastProgress = now;
            ProgressSnapshot snapshot;
            snapshot.filesDone = shared.filesDone.load(std::memory_order_relaxed);
            snapshot.filesTotal = filesTotal;
            snapshot.bytesRead = shared.bytesRead.load(std::memory_order_relaxed);
            snapshot.bytesTotal = work.payloadBytes;
            snapshot.bytesSaved = shared.bytesSaved.load(std::memory_order_relaxed);
            snapshot.seconds = std::chrono::duration<double>(now - start).count();
            sink.OnProgress(snapshot);
        }
    }
    totals.abandoned = shared.abandoned.load();
    return totals;
}

} // namespace quorvel
