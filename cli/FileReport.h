#pragma once
// FileReport: what the batch command has to say about one file, and the totals over a run.
//
// Workers turn each core result (TextureResult, VerifyResult, a walk failure) into a FileReport;
// the collector hands the reports, in walk order, to the console and JSON writers and adds them
// into BatchTotals. Reports carry codes and sizes only; the writers make the words.

#include "FolderWalk.h"
#include "TextureFile.h"
#include "TextureVerify.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvel {

enum class FileOutcome {
    Compressed,        // rewritten (with --dry-run: would be rewritten)
    AlreadyCompressed, // marker set; untouched
    NothingCompressed, // the compressor produced nothing; untouched
    ReadOnlySkipped,   // read-only, passed over by the walk
    Failed,            // compressing failed; see step and error
    WalkFailed,        // a folder or entry the walk couldn't read
    Verified,          // --verify: marked, and the stream inflates to exactly the stored size
    VerifyFailed,      // --verify: marked but damaged; see problem
    NotCompressed,     // --verify, --decompress: not marked, nothing to check or restore
    Decompressed,      // --decompress: rewritten in the uncompressed layout (or would be)
    OtherLayout,       // --decompress: marked, but not in the layout this program writes
    NotProcessed,      // never started, or abandoned uncommitted, because of an interrupt
};

struct FileReport {
    std::filesystem::path path;
    FileOutcome outcome = FileOutcome::NotProcessed;
    std::int64_t bytesIn = 0;  // file size before (Compressed and Decompressed only)
    std::int64_t bytesOut = 0; // file size after, or that it would have (the same)
    TextureTransform transform = TextureTransform::Compress; // Restore for --decompress
    // Rewriting: where it failed. Walking: WalkStep. Verifying or restoring: the problem found.
    TextureStep step = TextureStep::None;
    std::optional<WalkStep> walkStep;
    VerifyProblem problem = VerifyProblem::None;
    std::error_code error;

    std::int64_t bytesSaved() const { return bytesIn - bytesOut; }
    // Counts against the exit code.
    bool isFailure() const {
        return outcome == FileOutcome::Failed || outcome == FileOutcome::WalkFailed ||
               outcome == FileOutcome::VerifyFailed;
    }
};

struct BatchTotals {
    std::int64_t files = 0; // reports of any kind
    std::int64_t compressed = 0;
    std::int64_t alreadyCompressed = 0;
    std::int64_t nothingCompressed = 0;
    std::int64_t readOnlySkipped = 0;
    std::int64_t failed = 0; // Failed, WalkFailed and VerifyFailed
    std::int64_t verified = 0;
    std::int64_t notCompressed = 0;
    std::int64_t decompressed = 0;
    std::int64_t otherLayout = 0;
    std::int64_t notProcessed = 0;
    // Temporary files of killed earlier runs removed on the way (not reports: no file of the
    // run).
    std::int64_t leftoversRemoved = 0;
    // Of notProcessed: files an interrupt left staged but not renamed. The progress line had
    // counted them, as they were compressed in memory; these totals don't. Set by RunBatch.
    std::int64_t abandoned = 0;
    std::int64_t bytesIn = 0;
    std::int64_t bytesOut = 0;

    std::int64_t bytesSaved() const { return bytesIn - bytesOut; }
    void Add(const FileReport& report);
};

// The report for a finished core result. A result that failed at SyncFolder (file already
// replaced) still counts its sizes, as the file did shrink.
FileReport ReportFromTexture(const TextureResult& result);

// Stable lower-camel-case name for the JSON report (step and problem names: FailureText.h).
const char* OutcomeName(FileOutcome outcome);

// One line for a failure or damaged file (what failed, on which file, why, and its state) or
// for a file restoring left alone in a layout this program doesn't write; empty for the rest.
// The file is named as DisplayPath shows it, or as `shownPath`.
std::string DescribeReport(const FileReport& report);
std::string DescribeReport(const FileReport& report, std::string_view shownPath);

} // namespace quorvel
