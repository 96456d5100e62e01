#include "ConsoleReport.h"

#include "DisplayPath.h"
#include "FailureText.h"
#include "System.h"

#include <cmath>
#include <cstdio>

namespace quorvel {
namespace {

std::string Format(const char* format, auto... values) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

std::string Count(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Mebibytes(std::int64_t bytes) {
    return Format("%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
}

} // namespace

std::string HumanBytes(std::int64_t bytes) {
    static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double value = std::fabs(static_cast<double>(bytes));
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    const char* sign = bytes < 0 ? "-" : "";
    if (unit == 0)
        return Format("%s%.0f B", sign, value);
    const int decimals = value < 10 ? 2 : (value < 100 ? 1 : 0);
    return Format("%s%.*f %s", sign, decimals, value, kUnits[unit]);
}

std::string FormatProgress(const ProgressSnapshot& s, BatchMode mode) {
    const bool restoring = IsRestoreMode(mode);
    std::string line =
        std::to_string(s.filesDone) + "/" + std::to_string(s.filesTotal) + " files  " +
        Mebibytes(s.bytesRead) + " read  " +
        (restoring ? Mebibytes(-s.bytesSaved) + " grown" : Mebibytes(s.bytesSaved) + " saved");
    if (s.seconds > 0.5 && s.bytesRead > 0) {
        const double rate = static_cast<double>(s.bytesRead) / s.seconds;
        line += Format("  %.1f MiB/s", rate / (1024.0 * 1024.0));
        const double left =
            static_cast<double>(std::max<std::int64_t>(0, s.bytesTotal - s.bytesRead)) / rate;
        const auto secondsLeft = static_cast<long long>(left + 0.5);
        line += Format("  %lld:%02lld left", secondsLeft / 60, secondsLeft % 60);
    }
    return line;
}

std::string FormatSummary(const BatchTotals& t, BatchMode mode, bool interrupted) {
    std::string text;
    if (interrupted)
        text += "Interrupted: finished files stay finished; " +
                Count(t.notProcessed, "file was", "files were") + " left as they were.\n";
    if (interrupted && t.abandoned > 0)
        text += "The progress line counted " + Count(t.abandoned, "more file", "more files") +
                ", done in memory but not yet renamed into place; these counts include only what "
                "was renamed.\n";
    if (mode == BatchMode::Verify) {
        text += Count(t.verified, "compressed file is", "compressed files are") + " sound, " +
                Count(t.failed, "failed", "failed") + " verification, " +
                Count(t.notCompressed, "file is", "files are") + " not compressed";
        if (t.otherLayout > 0)
            text += ", " + std::to_string(t.otherLayout) +
                    " not checked (a compressed layout this program doesn't write)";
        return text + ".\n";
    }
    const std::string sizes = "Bytes in: " + std::to_string(t.sizes.bytesIn) + " (" +
                              HumanBytes(t.sizes.bytesIn) +
                              "), bytes out: " + std::to_string(t.sizes.bytesOut) + " (" +
                              HumanBytes(t.sizes.bytesOut) + ").\n";
    if (IsRestoreMode(mode)) {
        const bool dry = mode == BatchMode::DecompressDryRun;
        text += Count(t.decompressed, "file", "files") +
                (dry ? " would be decompressed, " : " decompressed, ") +
                std::to_string(t.notCompressed) + " not compressed, " +
                std::to_string(t.readOnlySkipped) + " read-only skipped, " +
                std::to_string(t.failed) + " failed";
        if (t.otherLayout > 0)
            text += ", " + std::to_string(t.otherLayout) +
                    " left as they were (a compressed layout this program doesn't write)";
        text += ".\n" + sizes;
        const std::int64_t grown = -t.sizes.bytesSaved();
        text += std::string(dry ? "Would grow by " : "Grew by ") + std::to_string(grown) +
                " bytes (" + HumanBytes(grown) + ").\n";
        return text;
    }
    const char* compressedWord = mode == BatchMode::DryRun ? "would be compressed" : "compressed";
    text += Count(t.compressed, "file", "files") + " " + compressedWord + ", " +
            std::to_string(t.alreadyCompressed) + " already compressed, " +
            std::to_string(t.readOnlySkipped) + " read-only skipped, " + std::to_string(t.failed) +
            " failed";
    if (t.nothingCompressed > 0)
        text +=
            ", " + std::to_string(t.nothingCompressed) + " left as they were (nothing to compress)";
    text += ".\n";
    text += sizes;
    text += std::string(mode == BatchMode::DryRun ? "Would save " : "Saved ") +
            std::to_string(t.sizes.bytesSaved()) + " bytes (" + HumanBytes(t.sizes.bytesSaved()) +
            ").\n";
    if (t.leftoversRemoved > 0)
        text += "Removed " + Count(t.leftoversRemoved, "temporary file", "temporary files") +
                " left behind by an interrupted earlier run.\n";
    return text;
}

std::string FormatFileLine(const FileReport& report, BatchMode mode) {
    const bool dry = IsDryRunMode(mode);
    std::string what;
    switch (report.outcome) {
    case Outcome::Compressed: {
        const FileSizes& sizes = report.sizes;
        what = std::string(dry ? "would be compressed, " : "compressed, ") +
               std::to_string(sizes.bytesSaved()) + " bytes saved";
        if (sizes.bytesIn > 0)
            what += Format(" (%.1f%%)", 100.0 * static_cast<double>(sizes.bytesSaved()) /
                                            static_cast<double>(sizes.bytesIn));
        break;
    }
    case Outcome::Decompressed:
        what = std::string(dry ? "would be decompressed, " : "decompressed, ") +
               std::to_string(-report.sizes.bytesSaved()) + " bytes grown";
        break;
    case Outcome::AlreadyCompressed:
        what = "already compressed, left as it is";
        break;
    case Outcome::NothingCompressed:
        what = "nothing to compress, left as it is";
        break;
    case Outcome::ReadOnlySkipped:
        what = "read-only, skipped";
        break;
    case Outcome::Verified:
        what = "sound";
        break;
    case Outcome::NotCompressed:
        what = "not compressed, left as it is";
        break;
    case Outcome::NotProcessed:
        what = "not processed (interrupted), left as it is";
        break;
    default:
        what = OutcomeName(report.outcome);
        break;
    }
    return DisplayPath(report.path) + ": " + what;
}

void ConsoleReport::OnReport(const FileReport& report) {
    std::string text = DescribeReport(report);
    if (text.empty() && m_verbose)
        text = FormatFileLine(report, m_mode);
    if (text.empty())
        return;
    ClearProgress();
    WriteText(m_errors, text + "\n");
}

void ConsoleReport::OnProgress(const ProgressSnapshot& snapshot) {
    if (!m_progress)
        return;
    // \r and "erase to end of line" redraw in place on any ANSI terminal.
    WriteText(m_errors, "\r" + FormatProgress(snapshot, m_mode) + "\x1b[K");
    std::fflush(m_errors);
    m_lineShown = true;
}

void ConsoleReport::Finish() {
    ClearProgress();
}

void ConsoleReport::ClearProgress() {
    if (!m_lineShown)
        return;
    WriteText(m_errors, "\r\x1b[K");
    std::fflush(m_errors);
    m_lineShown = false;
}

} // namespace quorvel
