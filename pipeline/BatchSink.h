#pragma once
// BatchSink: the one consumer of a run's results, and the progress it is shown meanwhile.

#include "FileReport.h"

#include <cstdint>
#include <filesystem>

namespace quorvel {

// Progress counts a file once it has been read and compressed (or checked), before it is renamed
// into place, so the count moves while a batch fills; the totals of the run count only what was
// renamed. All byte counts are payload bytes (file size less the 16-byte header), so rate and
// time left compare like with like.
struct ProgressSnapshot {
    std::int64_t filesDone = 0;
    std::int64_t filesTotal = 0;
    std::int64_t bytesRead = 0;  // of the files done
    std::int64_t bytesTotal = 0; // of all files to handle
    std::int64_t bytesSaved = 0; // by the files done that were rewritten; negative: grown
    double seconds = 0;          // since the run started
};

// Receives, in walk order, the folders entered and every file's final report, and now and then a
// progress snapshot, all on the thread that feeds the run (RewritePipeline.h); it never needs a
// lock. An exception it throws ends the run: the files not yet renamed are left as they were.
class BatchSink {
public:
    virtual ~BatchSink() = default;
    // The walk entered `folder`: every report before it is of a file found before it.
    virtual void OnFolder(const std::filesystem::path& folder) { (void)folder; }
    virtual void OnReport(const FileReport& report) = 0;
    virtual void OnProgress(const ProgressSnapshot&) {}
};

} // namespace quorvel
