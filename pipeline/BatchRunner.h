#pragma once
// BatchRunner: runs a WorkList on N worker threads and reports every file in walk order.
//
// Data flow. Workers take the next item from a shared counter, so each file goes to exactly
// one worker, and every worker has its own PayloadEngine (a Brevora instance is never shared).
// A worker holds one file in memory at a time (the payload and the compression buffer), so the
// bytes in flight stay below jobs x (2.01 x the largest payload + a little), whatever the tree.
// Reports go to the calling thread, which puts them back into walk order and hands them to the
// sink; the sink therefore runs on one thread only and needs no locking. The calling thread also
// takes a progress snapshot about ten times a second.
//
// Durability. Every temporary file is on disk before it is renamed over its original, so a
// crash leaves either the old or the new file, never a half-written one. A worker stages up to
// a batch of files, makes them durable, renames them, and then flushes each distinct folder
// once, not once per file; a file's report is sent only after that. Big files get an fsync()
// each as they are staged. On Linux small ones are written without it and the whole batch is
// made durable by one syncfs() of their file system before the first rename; should that fail,
// each file is fsync()ed on its own instead. This is what lets many small files go as fast as a
// script that never syncs.
//
// Interrupts. Once `stop` is set, workers take no new file. A staged batch that is not yet
// renamed is abandoned: its temporary files are removed and its originals stay as they were.
// Files already renamed stay compressed. Items never finished are reported as NotProcessed.
//
// The same files get the same bytes and the same totals for any number of jobs.

#include "FileReport.h"
#include "PayloadEngine.h"
#include "WorkList.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quorvel {

enum class BatchMode {
    Compress,         // rewrite files in place
    DryRun,           // compress in memory and report; write nothing
    Verify,           // check compressed files; write nothing
    Decompress,       // restore compressed files to the uncompressed layout in place
    DecompressDryRun, // restore in memory and report; write nothing
};

// Decompress or DecompressDryRun.
constexpr bool IsRestoreMode(BatchMode mode) {
    return mode == BatchMode::Decompress || mode == BatchMode::DecompressDryRun;
}
// DryRun or DecompressDryRun.
constexpr bool IsDryRunMode(BatchMode mode) {
    return mode == BatchMode::DryRun || mode == BatchMode::DecompressDryRun;
}

struct BatchOptions {
    BatchMode mode = BatchMode::Compress;
    EngineKind engine = EngineKind::Zlib;
    unsigned jobs = 1;
    // Most files a worker stages before renaming them and flushing their folders; fewer when
    // all workers' batches together would exceed the open-file limits.
    std::size_t batchFiles = 256;
    // Most staged bytes a worker holds on disk before renaming them.
    std::int64_t batchBytes = 256LL * 1024 * 1024;
    // Make small files durable together with one syncfs() per batch (Linux); false gives every
    // file its own fsync(), for comparison.
    bool deferSmallSyncs = true;
};

// Progress counts a file once it has been read and compressed (or checked), before its batch is
// renamed into place, so the line moves while a batch fills; the totals of the run count only
// what was renamed. All byte counts are payload bytes (file size less the 16-byte header), so
// rate and time left compare like with like.
struct ProgressSnapshot {
    std::int64_t filesDone = 0;
    std::int64_t filesTotal = 0;
    std::int64_t bytesRead = 0;  // of the files done
    std::int64_t bytesTotal = 0; // of all files to handle
    std::int64_t bytesSaved = 0; // by the files done that were rewritten; negative: grown
    double seconds = 0;          // since the run started
};

// Receives the reports in walk order and the progress snapshots, all on the thread that called
// RunBatch.
class BatchSink {
public:
    virtual ~BatchSink() = default;
    virtual void OnReport(const FileReport& report) = 0;
    virtual void OnProgress(const ProgressSnapshot&) {}
};

// Handles every item of `work` as described above and returns the totals of all reports.
// `jobs` below 1 counts as 1. Throws std::bad_alloc only when an engine can't be created.
BatchTotals RunBatch(const WorkList& work, const BatchOptions& options, BatchSink& sink,
                     const std::atomic<bool>& stop);

} // namespace quorvel
