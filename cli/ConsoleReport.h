#pragma once
// ConsoleReport: the batch command's words for people.
//
// Failures go to standard error, one line each, as their reports arrive (in walk order); with
// --verbose every other file gets its line there too. Names are shown as DisplayPath shows them.
// On a terminal a progress line on standard error is redrawn in place, at most about ten times a
// second, and cleared before any other line is written, so the two never interleave. The summary
// comes at the end. All output happens on the collecting thread, through WriteText (System.h).

#include "BatchRunner.h"
#include "FileReport.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace quorvel {

// "0 B", "812 B", "1.5 KiB", "210.3 MiB", "4.02 GiB": binary units, three significant digits.
std::string HumanBytes(std::int64_t bytes);

// One progress line, without line ending:
// "1234/5678 files  812.3 MiB read  210.5 MiB saved  45.2 MiB/s  0:12 left"; restoring, the
// growth instead: "... 812.3 MiB read  1.2 GiB grown ...".
std::string FormatProgress(const ProgressSnapshot& snapshot, BatchMode mode = BatchMode::Compress);

// The closing summary, several lines, each ending in '\n'.
std::string FormatSummary(const BatchTotals& totals, BatchMode mode, bool interrupted);

// The line --verbose gives a file as it finishes, without line ending, for the outcomes that
// have no sentence of their own (DescribeReport): "Walls/brick.ace: compressed, 730 bytes saved
// (70.2%)", "Walls/old.ace: read-only, skipped", ...
std::string FormatFileLine(const FileReport& report, BatchMode mode);

class ConsoleReport final : public BatchSink {
public:
    // `progress`: draw the progress line on `errors` (pass false when it isn't a terminal).
    // `verbose`: a line for every file as it finishes, not only for failures.
    ConsoleReport(std::FILE* errors, bool progress, BatchMode mode = BatchMode::Compress,
                  bool verbose = false)
        : m_errors(errors), m_progress(progress), m_mode(mode), m_verbose(verbose) {}

    void OnReport(const FileReport& report) override;
    void OnProgress(const ProgressSnapshot& snapshot) override;
    // Clears the progress line for good.
    void Finish();

private:
    void ClearProgress();

    std::FILE* m_errors;
    bool m_progress;
    BatchMode m_mode;
    bool m_verbose;
    bool m_lineShown = false;
};

} // namespace quorvel
