#include "TextureScan.h"

#include "DisplayPath.h"
#include "WalkFeed.h"

#include <utility>

namespace quorvel {

TextureScan::TextureScan(ProgressView& view, BatchOptions options)
    : m_view(view), m_options(std::move(options)) {
    m_options.mode = BatchMode::Compress;
    m_options.engine = EngineKind::Zlib;
}

WalkSummary TextureScan::Scan(const std::filesystem::path& start) {
    SystemDirectoryLister lister;
    return Scan(start, lister);
}

WalkSummary TextureScan::Scan(const std::filesystem::path& start, DirectoryLister& lister) {
    RewritePipeline pipeline(m_options, *this, m_noStop);
    WalkFeed feed(pipeline, m_handOver);
    const WalkSummary summary = WalkFolderTree(start, feed, lister);
    pipeline.Finish();
    m_leftoversRemoved += feed.leftoversRemoved();
    return summary;
}

void TextureScan::Finish() {
    m_status += " Finished..";
    m_view.setStatus(m_status);
}

void TextureScan::OnFolder(const std::filesystem::path& folder) {
    m_view.setTitle("Scanning " + DisplayPath(folder));
}

void TextureScan::OnReport(const FileReport& report) {
    if (report.isFailure())
        m_failures.push_back({report.path, DescribeReport(report, DisplayPath(report.path))});
    if (report.outcome == Outcome::WalkFailed)
        return;
    // A failure at the folder sync comes after the file was replaced: its sizes count.
    m_totalSaved += report.sizes.bytesSaved();
    m_status = "Saved " + std::to_string(m_totalSaved / 1024) + "Kb";
    m_view.setStatus(m_status);
    m_view.repaintStatus();
}

std::string FormatFailureReport(const std::vector<ScanFailure>& failures, std::size_t maxLines) {
    std::string text;
    const std::size_t shown = failures.size() < maxLines ? failures.size() : maxLines;
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += '\n';
        text += failures[i].message;
    }
    if (failures.size() > shown)
        text += (shown > 0 ? "\nand " : "and ") + std::to_string(failures.size() - shown) + " more";
    return text;
}

} // namespace quorvel
