// The summary after Ctrl-C says how many files the progress line counted beyond what was renamed.
#include "ConsoleReport.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(ConsoleReport, InterruptedSummarySaysHowManyCountedFilesWereNotRenamed) {
    BatchTotals totals;
    totals.files = 6;
    totals.notProcessed = 6;
    totals.abandoned = 3;
    const std::string summary = FormatSummary(totals, BatchMode::Compress, true);
    EXPECT_NE(summary.find("The progress line counted 3 more files, done in memory but not yet "
                           "renamed into place; these counts include only what was renamed."),
              std::string::npos)
        << summary;
}

} // namespace
} // namespace quorvel
