#pragma once
// ConsoleReport: the batch command's words for people.
//
// Failures go to standard error, one line each, as their reports arrive (in walk order), naming
// files as DisplayPath shows them. On a terminal a progress line on standard error is redrawn in place, at most about ten times a
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

class ConsoleReport final : public BatchSink {
public:
    // `progress`: draw the progress line on `errors` (pass false when it isn't a terminal).
    ConsoleReport(std::FILE* errors, bool progress, BatchMode mode = BatchMode::Compress)
        : m_errors(errors), m_progress(progress), m_mode(mode) {}

    void OnReport(const FileReport& report) override;
    void OnProgress(const ProgressSnapshot& snapshot) override;
    // Clears the progress line for good.
    void Finish();

private:
    void ClearProgress();

    std::FILE* m_errors;
    bool m_progress;
    BatchMode m_mode;
    bool m_lineShown = false;
};

} // namespace quorvel
