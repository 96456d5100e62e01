#include "RewritePipeline.h"

#include "BatchCommit.h"
#include "InterruptCleanup.h"
#include "System.h"
#include "TextureError.h"
#include "TextureRewrite.h"
#include "TextureVerify.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

std::error_code CurrentExceptionCode() {
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

FileReport NotProcessedReport(const std::filesystem::path& path) {
    FileReport report;
    report.path = path;
    report.outcome = Outcome::NotProcessed;
    return report;
}

// A file given up on an interrupt, its temporary file removed; one that couldn't be is named.
FileReport AbandonedReport(const std::filesystem::path& path, const TextureResult& result) {
    FileReport report = NotProcessedReport(path);
    report.leftover = result.leftover;
    report.leftoverError = result.leftoverError;
    return report;
}

TextureTransform TransformOf(BatchMode mode) {
    return IsRestoreMode(mode) ? TextureTransform::Restore : TextureTransform::Compress;
}

// One file on its way through the stages.
struct Job {
    std::size_t seq = 0;
    WorkItem item;
    std::optional<TextureRewrite> rewrite;
    std::int64_t heldBytes = 0; // of the read-ahead or the write-behind budget
    bool counted = false;       // the progress counted it
    bool committing = false;    // in a batch: the committer reports it
};
using JobPtr = std::unique_ptr<Job>;

// A place in the delivery order: a folder entered, or a file, ready once its report is final.
struct Slot {
    std::optional<std::filesystem::path> folder;
    std::optional<FileReport> report;
    bool ready() const { return folder || report; }
};

// How much may be in flight at once, so that everything open stays within the open-file limit:
// a staged file holds its original, its temporary file and perhaps its folder open, a file read
// ahead or waiting for the writer holds its original and perhaps its folder, a file waiting to
// be read perhaps its folder.
struct Limits {
    std::size_t batchFiles = 1;  // files a batch may hold (two are staged at a time)
    std::size_t readAhead = 1;   // files read ahead of the workers
    std::size_t writeBehind = 1; // compressed files waiting for the writer
    std::size_t window = 1;      // folders and files handed in and not yet delivered
};

Limits FitToDescriptors(std::size_t wantedBatch, unsigned jobs, std::size_t held) {
    std::size_t descriptors = 2 * static_cast<std::size_t>(kMaxTemporaryFiles);
    if (const std::size_t limit = OpenFileLimit(); limit != 0 && limit != kUnlimitedFiles)
        descriptors = limit;
    const std::size_t reserve = 64 + held; // the walk, the process's own, the work list's folders
    const std::size_t room = descriptors > reserve + 32 ? descriptors - reserve : 32;
    Limits limits;
    limits.readAhead = std::clamp<std::size_t>(room / 16, 2, 64);
    limits.writeBehind = limits.readAhead;
    const std::size_t inHand = 2 * (limits.readAhead + limits.writeBehind + jobs);
    // Two batches of three each, and as many again waiting to be read, one each.
    const std::size_t perBatchFile = 2 * 3 + 1;
    const std::size_t slotsRoom = static_cast<std::size_t>(kMaxTemporaryFiles) / 2 - 8;
    limits.batchFiles =
        std::clamp<std::size_t>(room > inHand ? (room - inHand) / perBatchFile : 1, 1,
                                std::min(std::max<std::size_t>(wantedBatch, 1), slotsRoom));
    limits.window =
        3 * limits.batchFiles + limits.readAhead + limits.writeBehind + 2 * std::size_t{jobs};
    return limits;
}

} // namespace

class RewritePipeline::Impl {
public:
    Impl(const BatchOptions& options, BatchSink& sink, const std::atomic<bool>& stop,
         std::size_t heldDescriptors);
    ~Impl();

    void SetProgressTotals(std::int64_t files, std::int64_t bytes);
    void EnterFolder(const std::filesystem::path& folder);
    void Submit(WorkItem item);
    BatchTotals Finish();
    bool stopping() const;

private:
    // The feeder's side.
    void Handed(Slot slot, JobPtr job);
    void CheckStop();
    void Halt();
    void WaitForRoom();
    void WaitAndDeliver();
    void DeliverReady();
    void Progress(bool last);
    void Join() noexcept;

    // The stages, each on its own thread (the workers on `jobs` threads).
    void Reader();
    void Worker(PayloadEngine& engine);
    void Writer();
    void Committer();
    bool Read(Job& job);
    std::optional<FileReport> Transform(Job& job, PayloadEngine& engine);
    bool Stage(Job& job);
    void Commit(std::vector<JobPtr>& batch, bool abandon);

    void CountDone(Job& job, std::int64_t payloadBytesSaved);
    // With the lock held: `job`'s report is final.
    void PublishLocked(Job& job, FileReport report);
    // With the lock held: the run is being stopped. The stop flag is read directly, so a stage
    // that wakes for any reason notices it before the feeder passes it on.
    bool Halted() const { return m_halted || m_stop.load(std::memory_order_relaxed); }
    bool RoomToReadAhead() const;
    bool RoomBehind() const;
    bool RoomInBatch() const;
    bool BatchDue(Clock::time_point now) const;

    const BatchOptions m_options;
    BatchSink& m_sink;
    const std::atomic<bool>& m_stop;
    const unsigned m_jobs;
    const Limits m_limits;
    const TextureTransform m_transform;

    std::mutex m_mutex;
    std::condition_variable m_readerWake, m_workerWake, m_writerWake, m_committerWake;
    std::condition_variable m_feederWake;
    // Guarded by m_mutex:
    std::deque<JobPtr> m_toRead, m_toTransform, m_toStage;
    std::vector<JobPtr> m_batch; // staged, waiting for the committer
    Clock::time_point m_batchOpened;
    std::int64_t m_batchBytes = 0;
    std::int64_t m_aheadBytes = 0, m_behindBytes = 0;
    std::size_t m_aheadFiles = 0, m_behindFiles = 0;
    std::size_t m_upstream = 0; // files handed in, neither final nor in a batch
    unsigned m_workersRunning = 0;
    bool m_readerDone = false, m_workersDone = false, m_writerDone = false;
    bool m_inputClosed = false;
    bool m_feederWaiting = false;
    bool m_halted = false;
    std::deque<Slot> m_slots; // from the first one not yet delivered
    std::size_t m_firstSlot = 0;
    std::size_t m_nextSlot = 0;
    std::int64_t m_abandoned = 0;

    // The feeder's own.
    BatchTotals m_totals;
    std::int64_t m_filesTotal = 0, m_bytesTotal = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastProgress = m_start - kProgressInterval;
    bool m_finished = false;

    std::atomic<std::int64_t> m_filesDone{0}, m_bytesRead{0}, m_bytesSaved{0};
    std::atomic<bool> m_haltedFlag{false}; // m_halted, for stopping() without the lock

    std::vector<std::unique_ptr<PayloadEngine>> m_engines;
    std::vector<std::thread> m_threads;
};

RewritePipeline::Impl::Impl(const BatchOptions& options, BatchSink& sink,
                            const std::atomic<bool>& stop, std::size_t heldDescriptors)
    : m_options(options), m_sink(sink), m_stop(stop), m_jobs(std::max(1u, options.jobs)),
      m_limits(FitToDescriptors(options.batchFiles, m_jobs, heldDescriptors)),
      m_transform(TransformOf(options.mode)) {
    // Made first, so that a failure to create one surfaces before any thread starts.
    for (unsigned i = 0; i < m_jobs; ++i) {
        m_engines.push_back(i == 0 && options.lentCompressor != nullptr
                                ? std::make_unique<PayloadEngine>(*options.lentCompressor)
                                : std::make_unique<PayloadEngine>(options.engine));
    }
    m_workersRunning = m_jobs;
    try {
        m_threads.emplace_back([this] { Reader(); });
        for (auto& engine : m_engines)
            m_threads.emplace_back([this, e = engine.get()] { Worker(*e); });
        m_threads.emplace_back([this] { Writer(); });
        m_threads.emplace_back([this] { Committer(); });
    } catch (...) {
        Halt();
        Join();
        throw;
    }
}

RewritePipeline::Impl::~Impl() {
    if (!m_finished)
        Halt();
    Join();
}

void RewritePipeline::Impl::Join() noexcept {
    {
        std::lock_guard lock(m_mutex);
        m_inputClosed = true;
    }
    m_readerWake.notify_all();
    m_committerWake.notify_all();
    for (std::thread& thread : m_threads) {
        if (thread.joinable())
            thread.join();
    }
}

void RewritePipeline::Impl::Halt() {
    {
        std::lock_guard lock(m_mutex);
        m_halted = true;
    }
    m_haltedFlag = true;
    m_readerWake.notify_all();
    m_workerWake.notify_all();
    m_writerWake.notify_all();
    m_committerWake.notify_all();
    m_feederWake.notify_all();
}

bool RewritePipeline::Impl::stopping() const {
    return m_haltedFlag.load() || m_stop.load(std::memory_order_relaxed);
}

void RewritePipeline::Impl::CheckStop() {
    // The stop flag is set from a signal handler, which can't wake anyone: the feeder looks at
    // it whenever it hands something in or waits, at least every kProgressInterval.
    if (m_stop.load(std::memory_order_relaxed) && !m_haltedFlag.load())
        Halt();
}

void RewritePipeline::Impl::SetProgressTotals(std::int64_t files, std::int64_t bytes) {
    m_filesTotal = files;
    m_bytesTotal = bytes;
}

// --- The feeder -------------------------------------------------------------------------------

void RewritePipeline::Impl::EnterFolder(const std::filesystem::path& folder) {
    Slot slot;
    slot.folder = folder;
    Handed(std::move(slot), nullptr);
}

void RewritePipeline::Impl::Submit(WorkItem item) {
    CheckStop();
    Slot slot;
    JobPtr job;
    // A preset report is final already; verifying checks a read-only file all the same.
    const bool presetStands = item.preset && !(m_options.mode == BatchMode::Verify &&
                                               item.preset->outcome == Outcome::ReadOnlySkipped);
    if (stopping())
        slot.report = NotProcessedReport(item.path);
    else if (presetStands)
        slot.report = std::move(*item.preset);
    else
        job = std::make_unique<Job>(Job{0, std::move(item), std::nullopt, 0, false, false});
    Handed(std::move(slot), std::move(job));
}

void RewritePipeline::Impl::Handed(Slot slot, JobPtr job) {
    {
        std::lock_guard lock(m_mutex);
        if (job && m_halted) {
            slot.report = NotProcessedReport(job->item.path);
            job.reset();
        }
        m_slots.push_back(std::move(slot));
        if (job) {
            job->seq = m_nextSlot;
            ++m_upstream;
            m_toRead.push_back(std::move(job));
        }
        ++m_nextSlot;
    }
    m_readerWake.notify_one();
    DeliverReady();
    WaitForRoom();
}

void RewritePipeline::Impl::WaitForRoom() {
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_nextSlot - m_firstSlot < m_limits.window)
                return;
        }
        WaitAndDeliver();
    }
}

void RewritePipeline::Impl::WaitAndDeliver() {
    {
        std::unique_lock lock(m_mutex);
        m_feederWaiting = true;
        m_committerWake.notify_one(); // nothing more comes meanwhile: a batch may be due
        m_feederWake.wait_for(lock, kProgressInterval,
                              [&] { return !m_slots.empty() && m_slots.front().ready(); });
        m_feederWaiting = false;
    }
    CheckStop();
    DeliverReady();
}

void RewritePipeline::Impl::DeliverReady() {
    std::vector<Slot> ready;
    {
        std::lock_guard lock(m_mutex);
        while (!m_slots.empty() && m_slots.front().ready()) {
            ready.push_back(std::move(m_slots.front()));
            m_slots.pop_front();
            ++m_firstSlot;
        }
    }
    // Without the lock: the sink may take its time (a window repainting) while the stages go on.
    for (const Slot& slot : ready) {
        if (slot.folder) {
            m_sink.OnFolder(*slot.folder);
        } else {
            m_totals.Add(*slot.report);
            m_sink.OnReport(*slot.report);
        }
    }
    Progress(false);
}

void RewritePipeline::Impl::Progress(bool last) {
    const auto now = Clock::now();
    if (!last && now - m_lastProgress < kProgressInterval)
        return;
    m_lastProgress = now;
    ProgressSnapshot snapshot;
    snapshot.filesDone = m_filesDone.load(std::memory_order_relaxed);
    snapshot.filesTotal = m_filesTotal;
    snapshot.bytesRead = m_bytesRead.load(std::memory_order_relaxed);
    snapshot.bytesTotal = m_bytesTotal;
    snapshot.bytesSaved = m_bytesSaved.load(std::memory_order_relaxed);
    snapshot.seconds = std::chrono::duration<double>(now - m_start).count();
    m_sink.OnProgress(snapshot);
}

BatchTotals RewritePipeline::Impl::Finish() {
    {
        std::lock_guard lock(m_mutex);
        m_inputClosed = true;
    }
    m_readerWake.notify_all();
    m_committerWake.notify_all();
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_firstSlot == m_nextSlot)
                break;
        }
        WaitAndDeliver();
    }
    m_finished = true;
    Join();
    Progress(true);
    std::lock_guard lock(m_mutex);
    m_totals.abandoned = m_abandoned;
    return m_totals;
}

// --- What the stages share --------------------------------------------------------------------

void RewritePipeline::Impl::CountDone(Job& job, std::int64_t payloadBytesSaved) {
    job.counted = true;
    m_bytesRead.fetch_add(PayloadBytes(job.item.size), std::memory_order_relaxed);
    m_bytesSaved.fetch_add(payloadBytesSaved, std::memory_order_relaxed);
    m_filesDone.fetch_add(1, std::memory_order_relaxed);
}

void RewritePipeline::Impl::PublishLocked(Job& job, FileReport report) {
    if (report.outcome == Outcome::NotProcessed && job.counted)
        ++m_abandoned;
    m_slots[job.seq - m_firstSlot].report = std::move(report);
    if (!job.committing && --m_upstream == 0)
        m_committerWake.notify_one();
    if (job.seq == m_firstSlot)
        m_feederWake.notify_one();
}

bool RewritePipeline::Impl::RoomToReadAhead() const {
    return m_aheadFiles == 0 ||
           (m_aheadFiles < m_limits.readAhead && m_aheadBytes < m_options.readAheadBytes);
}

bool RewritePipeline::Impl::RoomBehind() const {
    return m_behindFiles == 0 ||
           (m_behindFiles < m_limits.writeBehind && m_behindBytes < m_options.writeBehindBytes);
}

bool RewritePipeline::Impl::RoomInBatch() const {
    return m_batch.size() < m_limits.batchFiles && m_batchBytes < m_options.batchBytes;
}

bool RewritePipeline::Impl::BatchDue(Clock::time_point now) const {
    // Nothing more on its way: a feeder waiting for these files, or the end of the input.
    const bool nothingComing = m_upstream == 0 && (m_feederWaiting || m_inputClosed);
    return !RoomInBatch() || now - m_batchOpened >= m_options.commitInterval || nothingComing ||
           m_writerDone;
}

// --- The reader -------------------------------------------------------------------------------

void RewritePipeline::Impl::Reader() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_readerWake.wait(lock, [&] {
            return m_toRead.empty() ? m_inputClosed || Halted() : Halted() || RoomToReadAhead();
        });
        if (m_toRead.empty())
            break;
        JobPtr job = std::move(m_toRead.front());
        m_toRead.pop_front();
        if (Halted()) {
            PublishLocked(*job, NotProcessedReport(job->item.path));
            continue;
        }
        lock.unlock();
        const bool goesOn = Read(*job);
        lock.lock();
        if (!goesOn) {
            PublishLocked(*job, ReportFromTexture(job->rewrite->result()));
            continue;
        }
        m_aheadBytes += job->heldBytes;
        ++m_aheadFiles;
        m_toTransform.push_back(std::move(job));
        m_workerWake.notify_one();
    }
    m_readerDone = true;
    m_workerWake.notify_all();
}

// Opens, checks and reads the file. False when its result is final already.
bool RewritePipeline::Impl::Read(Job& job) {
    if (m_options.mode == BatchMode::Verify)
        return true; // the worker checks the file as a whole, reading it piece by piece
    try {
        // A folder the work list could not keep open is opened again along its route.
        std::error_code error = job.item.openError;
        FileInFolder file = job.item.file;
        if (!error && file.folder)
            file.folder = ReopenFolder(file.folder, error);
        job.rewrite.emplace(error ? TextureRewrite::Unreachable(job.item.path, m_transform, error)
                                  : TextureRewrite(std::move(file), m_transform));
        TextureRewrite& rewrite = *job.rewrite;
        if (rewrite.Open() && rewrite.ReadHead() && rewrite.Check() && rewrite.ReadPayload()) {
            job.heldBytes = rewrite.payloadBytes();
            return true;
        }
    } catch (...) {
        if (!job.rewrite)
            job.rewrite.emplace(TextureRewrite(job.item.file, m_transform));
        job.rewrite->Fail(Step::None, CurrentExceptionCode());
    }
    CountDone(job, 0);
    return false;
}

// --- The workers ------------------------------------------------------------------------------

void RewritePipeline::Impl::Worker(PayloadEngine& engine) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workerWake.wait(
            lock, [&] { return m_toTransform.empty() ? m_readerDone : Halted() || RoomBehind(); });
        if (m_toTransform.empty())
            break;
        JobPtr job = std::move(m_toTransform.front());
        m_toTransform.pop_front();
        m_aheadBytes -= std::exchange(job->heldBytes, 0);
        --m_aheadFiles;
        m_readerWake.notify_one();
        if (Halted()) {
            PublishLocked(*job, NotProcessedReport(job->item.path));
            continue;
        }
        lock.unlock();
        std::optional<FileReport> final = Transform(*job, engine);
        lock.lock();
        if (final) {
            PublishLocked(*job, std::move(*final));
            continue;
        }
        job->heldBytes = job->rewrite->newBytes();
        m_behindBytes += job->heldBytes;
        ++m_behindFiles;
        m_toStage.push_back(std::move(job));
        m_writerWake.notify_one();
    }
    if (--m_workersRunning == 0) {
        m_workersDone = true;
        m_writerWake.notify_all();
    }
}

// Compresses, restores or checks the file. Its report when that is final (failed, left alone, a
// dry run, a check); nothing when it goes on to be staged. Never throws: an exception (out of
// memory, say) fails the file.
std::optional<FileReport> RewritePipeline::Impl::Transform(Job& job, PayloadEngine& engine) {
    try {
        if (m_options.mode == BatchMode::Verify) {
            VerifyResult result;
            std::error_code error = job.item.openError;
            FileInFolder file = job.item.file;
            if (!error && file.folder)
                file.folder = ReopenFolder(file.folder, error);
            if (error)
                result.SetFailure(Step::Open, error);
            else
                result = file.folder ? VerifyTextureFile(file) : VerifyTextureFile(job.item.path);
            CountDone(job, 0);
            return ReportFromVerify(job.item.path, result);
        }
        TextureRewrite& rewrite = *job.rewrite;
        const bool goesOn = rewrite.Transform(engine.compressor());
        CountDone(job, goesOn ? rewrite.result().bytesSaved : 0);
        if (!goesOn || IsDryRunMode(m_options.mode))
            return ReportFromTexture(rewrite.result());
        return std::nullopt;
    } catch (...) {
        if (!job.counted)
            CountDone(job, 0);
        if (m_options.mode == BatchMode::Verify) {
            VerifyResult result;
            result.SetFailure(Step::Read, CurrentExceptionCode());
            return ReportFromVerify(job.item.path, result);
        }
        job.rewrite->Fail(Step::None, CurrentExceptionCode());
        return ReportFromTexture(job.rewrite->result());
    }
}

// --- The writer -------------------------------------------------------------------------------

void RewritePipeline::Impl::Writer() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_writerWake.wait(
            lock, [&] { return m_toStage.empty() ? m_workersDone : Halted() || RoomInBatch(); });
        if (m_toStage.empty())
            break;
        JobPtr job = std::move(m_toStage.front());
        m_toStage.pop_front();
        m_behindBytes -= std::exchange(job->heldBytes, 0);
        --m_behindFiles;
        m_workerWake.notify_one();
        if (Halted()) {
            job->rewrite->Abandon();
            PublishLocked(*job, AbandonedReport(job->item.path, job->rewrite->result()));
            continue;
        }
        lock.unlock();
        const bool staged = Stage(*job);
        lock.lock();
        if (!staged) {
            PublishLocked(*job, ReportFromTexture(job->rewrite->result()));
            continue;
        }
        if (m_batch.empty())
            m_batchOpened = Clock::now();
        m_batchBytes += job->rewrite->stagedBytes();
        job->committing = true;
        m_batch.push_back(std::move(job));
        if (--m_upstream == 0 || !RoomInBatch())
            m_committerWake.notify_one();
    }
    m_writerDone = true;
    m_committerWake.notify_all();
}

// Writes the temporary file and, unless its batch's one syncfs() will write it out with the
// others, starts its way to disk; the committer makes it durable. Started file by file, small
// files cost a block allocation and a write request each, about a sixth of the time of a run
// over many small files on ext4 with its journal.
bool RewritePipeline::Impl::Stage(Job& job) {
    TextureRewrite& rewrite = *job.rewrite;
    try {
        if (!rewrite.Stage(StageSync::Later))
            return false;
        if (!SyncsWithItsFileSystem(rewrite, m_options.deferSmallSyncs))
            rewrite.StartWriteBack();
        return true;
    } catch (...) {
        rewrite.Fail(Step::None, CurrentExceptionCode());
        return false;
    }
}

// --- The committer ----------------------------------------------------------------------------

void RewritePipeline::Impl::Committer() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_batch.empty()) {
            if (m_writerDone)
                break;
            m_committerWake.wait(lock);
            continue;
        }
        if (!Halted() && !BatchDue(Clock::now())) {
            m_committerWake.wait_until(lock, m_batchOpened + m_options.commitInterval);
            continue;
        }
        std::vector<JobPtr> batch;
        batch.swap(m_batch);
        m_batchBytes = 0;
        const bool abandon = Halted();
        m_writerWake.notify_one();
        lock.unlock();
        Commit(batch, abandon);
        lock.lock();
        for (JobPtr& job : batch) {
            PublishLocked(*job, abandon ? AbandonedReport(job->item.path, job->rewrite->result())
                                        : ReportFromTexture(job->rewrite->result()));
        }
    }
}

void RewritePipeline::Impl::Commit(std::vector<JobPtr>& batch, bool abandon) {
    std::vector<TextureRewrite*> rewrites;
    try {
        rewrites.reserve(batch.size());
        for (JobPtr& job : batch)
            rewrites.push_back(&*job->rewrite);
        if (abandon) {
            for (TextureRewrite* rewrite : rewrites)
                rewrite->Abandon();
            return;
        }
        CommitBatch(rewrites, m_options.deferSmallSyncs);
    } catch (...) {
        const std::error_code error = CurrentExceptionCode();
        if (rewrites.size() == batch.size()) {
            FailBatch(rewrites, error);
        } else {
            for (JobPtr& job : batch)
                job->rewrite->Fail(Step::Replace, error);
        }
    }
}

// --- The interface ----------------------------------------------------------------------------

RewritePipeline::RewritePipeline(const BatchOptions& options, BatchSink& sink,
                                 const std::atomic<bool>& stop, std::size_t heldDescriptors)
    : m_impl(std::make_unique<Impl>(options, sink, stop, heldDescriptors)) {}

RewritePipeline::~RewritePipeline() = default;

void RewritePipeline::SetProgressTotals(std::int64_t files, std::int64_t payloadBytes) {
    m_impl->SetProgressTotals(files, payloadBytes);
}

void RewritePipeline::EnterFolder(const std::filesystem::path& folder) {
    m_impl->EnterFolder(folder);
}

void RewritePipeline::Submit(WorkItem item) {
    m_impl->Submit(std::move(item));
}

BatchTotals RewritePipeline::Finish() {
    return m_impl->Finish();
}

bool RewritePipeline::stopping() const {
    return m_impl->stopping();
}

} // namespace quorvel
