#pragma once
// FileReport: what the batch command has to say about one file, and the totals over a run.
//
// Workers turn each core result (TextureResult, VerifyResult, a walk failure) into a FileReport,
// in the core's own words (Outcome.h): outcome, step, error, problem and sizes. The collector
// hands the reports, in walk order, to the console and JSON writers and adds them into
// BatchTotals. Reports carry codes and sizes only; the writers make the words.

#include "Outcome.h"
#include "TextureFile.h"
#include "TextureVerify.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvel {

// One file's report. Outcomes: those of compressing, restoring and verifying, ReadOnlySkipped and
// WalkFailed from the walk, and NotProcessed after an interrupt.
struct FileReport {
    std::filesystem::path path;
    Outcome outcome = Outcome::NotProcessed;
    // File sizes before and after, or that it would have (Compressed and Decompressed, and a
    // file replaced before its folder sync failed).
    FileSizes sizes;
    TextureTransform transform = TextureTransform::Compress; // Restore for --decompress
    // Failed: where compressing or restoring failed. WalkFailed: what the walk was doing.
    Step step = Step::None;
    // Verifying or restoring: the damage found.
    VerifyProblem problem = VerifyProblem::None;
    std::error_code error;
    // A temporary file that could not be removed (Failed, or NotProcessed after an interrupt):
    // its path to show and why.
    std::filesystem::path leftover;
    std::error_code leftoverError;

    // Counts against the exit code.
    bool isFailure() const {
        return outcome == Outcome::Failed || outcome == Outcome::WalkFailed ||
               outcome == Outcome::VerifyFailed;
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
    FileSizes sizes;

    void Add(const FileReport& report);
};

// The report for a finished core result. A result that failed at SyncFolder (file already
// replaced) still counts its sizes, as the file did shrink.
FileReport ReportFromTexture(const TextureResult& result);
FileReport ReportFromVerify(const std::filesystem::path& path, const VerifyResult& result);

// One line for a failure or damaged file (what failed, on which file, why, and its state, with
// a temporary file left behind), for a file left alone in a layout this program doesn't write,
// and for an interrupted file whose temporary file stayed; empty for the rest.
// The file is named as DisplayPath shows it, or as `shownPath`.
std::string DescribeReport(const FileReport& report);
std::string DescribeReport(const FileReport& report, std::string_view shownPath);

} // namespace quorvel
