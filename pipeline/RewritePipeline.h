#pragma once
// RewritePipeline: the one road every front end takes to rewrite, check or restore files.
//
// Data flow. One thread, the feeder (the window program's UI thread, the batch command's main
// thread), hands in files in walk order, and the folders the walk enters, and is the only thread
// that sees a result: the sink (BatchSink.h) gets every folder and every file's final report in
// that same order, on that thread, whatever order the work finished in. Behind it:
//
//     feeder --> reader --> workers (jobs) --> writer --> committer --> back to the feeder
//                open, check,  compress or     temporary   sync, rename,
//                read ahead    restore         file,       folder syncs
//                                              write-back
//
// The reader opens and reads the next files while the workers compress, each with its own engine
// (PayloadEngine.h), and the writer stages finished files in temporary files and starts their
// write-back while the workers go on; the committer makes the staged files durable and renames
// them in batches. So the compressors never wait for the disk unless its queues are full.
//
// Durability, as with one file at a time: every file is on disk before it is renamed over its
// original, and each folder is synced after the renames into it (where the system can), so a
// crash leaves the old or the new file. A batch of staged files is committed (made durable,
// renamed, its folders synced once each) once it holds BatchOptions::batchFiles files or
// batchBytes bytes, once its first file has waited commitInterval, or at once when nothing more
// is on its way; the next batch fills meanwhile. Small files (below 1 MiB) are made durable
// together by one syncfs() of their file system per batch, bigger ones by an fsync() each, their
// write-back started as soon as they are written; where the file system can't be synced as a whole,
// every file gets its own fsync(). A file's report is sent once its batch is committed, so what
// the sink sees is on disk.
//
// Memory: each worker holds one file (payload and compression buffer, about 2 x the payload);
// the files read ahead hold up to readAheadBytes of payload and the compressed files waiting for
// the writer up to writeBehindBytes, each exceeded by one file at most. So about jobs x 2 x the
// largest payload + readAheadBytes + writeBehindBytes + 2 x the largest payload, whatever the
// tree. Staged files hold no memory, only their descriptors, which are kept within the process's
// open-file limit.
//
// Interrupts. Once `stop` is set (or the sink threw), no new file is read, the files in hand are
// dropped and a staged batch not yet committed is abandoned: its temporary files are removed and
// its originals stay as they were. A batch already being committed completes. Files already
// committed stay rewritten; every other file is reported NotProcessed.
//
// The same files get the same bytes and the same reports, in the same order, for any number of
// jobs.

#include "BatchMode.h"
#include "BatchSink.h"
#include "FileReport.h"
#include "PayloadEngine.h"
#include "WorkItem.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace quorvel {

class Brevora;

struct BatchOptions {
    BatchMode mode = BatchMode::Compress;
    EngineKind engine = EngineKind::Zlib;
    unsigned jobs = 1; // compressing workers; below 1 counts as 1
    // The commit cadence (see above). batchFiles is cut to fit the open-file limits.
    std::size_t batchFiles = 256;
    std::int64_t batchBytes = 256LL * 1024 * 1024;
    std::chrono::milliseconds commitInterval{25};
    // Make small files durable together with one syncfs() per batch (Linux); false gives every
    // file its own fsync(), for comparison.
    bool deferSmallSyncs = true;
    std::int64_t readAheadBytes = 32LL * 1024 * 1024;
    std::int64_t writeBehindBytes = 32LL * 1024 * 1024;
    // The first worker compresses through this component instead of an engine of its own (the
    // window program's); null for none. It must outlive the pipeline.
    Brevora* lentCompressor = nullptr;
};

class RewritePipeline {
public:
    // Starts the threads. `heldDescriptors` are descriptors the caller keeps open for the items
    // it will hand in (the work list's folders), left out of the pipeline's share of the open-file
    // limit. Throws std::bad_alloc when an engine can't be created, before any thread starts.
    RewritePipeline(const BatchOptions& options, BatchSink& sink, const std::atomic<bool>& stop,
                    std::size_t heldDescriptors = 0);
    // Without Finish (the feeder left by an exception): stops as on an interrupt, removes the
    // temporary files not yet renamed and waits for the threads.
    ~RewritePipeline();
    RewritePipeline(const RewritePipeline&) = delete;
    RewritePipeline& operator=(const RewritePipeline&) = delete;

    // The counts the progress snapshots compare against: files and payload bytes in all.
    void SetProgressTotals(std::int64_t files, std::int64_t payloadBytes);

    // The walk entered `folder`; the sink hears of it after every file handed in before it.
    // May deliver earlier results to the sink before it returns, and waits for them while too
    // many are on their way.
    void EnterFolder(const std::filesystem::path& folder);
    // Hands in the next file. Delivers and waits as EnterFolder does.
    void Submit(WorkItem item);
    // Waits for every file handed in and delivers the rest, then the last progress snapshot, and
    // returns the totals of all reports. Call once, at the end.
    BatchTotals Finish();

    // True once the run is being stopped: the stop flag was set (or the sink threw). A walk
    // feeding the pipeline ends there.
    bool stopping() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace quorvel
