#include "TextureScan.h"

#include "DisplayPath.h"
#include "FailureText.h"
#include "LeftoverFiles.h"
#include "TextureRewrite.h"

#include <exception>
#include <utility>

namespace quorvel {

TextureScan::TextureScan(ProgressView& view, CompressFunction compress)
    : m_view(view), m_compress(std::move(compress)) {}

TextureScan::TextureScan(ProgressView& view, Brevora& compressor)
    : TextureScan(view, [&compressor](const FileInFolder& file) {
          return CompressTextureFile(compressor, file);
      }) {}

WalkSummary TextureScan::Scan(const std::filesystem::path& start) {
    return WalkFolderTree(start, *this);
}

WalkSummary TextureScan::Scan(const std::filesystem::path& start, DirectoryLister& lister) {
    return WalkFolderTree(start, *this, lister);
}

void TextureScan::Finish() {
    m_status += " Finished..";
    m_view.setStatus(m_status);
}

void TextureScan::EnterFolder(const std::filesystem::path& folder) {
    m_view.setTitle("Scanning " + DisplayPath(folder));
}

void TextureScan::Candidate(const FileInFolder& candidate) {
    const std::filesystem::path& file = candidate.shown;
    try {
        const TextureResult result = m_compress(candidate);
        if (result.failed())
            m_failures.push_back({file, DescribeFailure(result, DisplayPath(file))});
        // A failure at the folder sync comes after the file was replaced: its bytes are saved.
        if (!result.failed() || result.failedStep == Step::SyncFolder)
            m_totalSaved += result.bytesSaved;
    } catch (const std::exception& error) {
        // The texture routine reports its own failures; this guards a stand-in compressor or an
        // allocation failure outside it, so that one file can't end the scan.
        m_failures.push_back(
            {file, "Could not compress " + DisplayPath(file) + ": " + error.what() + "."});
    }
    m_status = "Saved " + std::to_string(m_totalSaved / 1024) + "Kb";
    m_view.setStatus(m_status);
    m_view.repaintStatus();
}

void TextureScan::TemporaryFile(const FileInFolder& file) {
    std::error_code error;
    const Outcome outcome = RemoveLeftoverTemporaryFile(*file.folder, file.name, error);
    if (outcome == Outcome::LeftoverRemoved)
        ++m_leftoversRemoved;
    else if (outcome == Outcome::WalkFailed)
        Failure(file.shown, Step::RemoveLeftover, error);
}

void TextureScan::Failure(const std::filesystem::path& path, Step step, std::error_code error) {
    m_failures.push_back({path, DescribeFailure(step, TextureTransform::Compress, error,
                                                VerifyProblem::None, DisplayPath(path))});
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
