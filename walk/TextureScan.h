#pragma once
// TextureScan: the folder mode's work behind the main window, without the window.
//
// It walks a tree (FolderWalk.h), compresses each candidate file as the walk hands it over, adds
// the bytes saved to a running total and writes the two status lines through a ProgressView:
//
//     entering a folder   title  = "Scanning " + folder
//     after each candidate status = "Saved " + totalSaved() / 1024 + "Kb", then repaintStatus()
//     Finish()            status = last status text + " Finished.."
//
// The division truncates toward zero (-1500 bytes shows as "Saved -1Kb"). The total is 64-bit,
// so a tree saving more than 2 GiB still shows the right figure. A file already compressed adds
// 0 but still rewrites the label; a file that fails adds nothing and is recorded, as is every
// folder or entry the walk couldn't read, so the window can list them in one warning afterwards
// (FormatFailureReport). Non-candidates change nothing. One failure never ends the scan.
//
// Temporary files a killed run left behind in a walked folder are removed on the way
// (RemoveLeftoverTemporaryFile, LeftoverFiles.h) without a word; only a removal that fails is
// recorded.
//
// A scan runs on the calling thread and holds it until the walk ends.

#include "FolderWalk.h"
#include "OpenFolder.h"
#include "ProgressView.h"
#include "TextureFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {

class Brevora;

// A file or folder the scan couldn't handle.
struct ScanFailure {
    std::filesystem::path path;
    // One UTF-8 sentence naming the path: what failed, why, and the file's state, e.g. "Could
    // not open the folder /t/locked: Error 13: Permission denied. Nothing in it was changed."
    std::string message;
};

class TextureScan final : public FolderVisitor {
public:
    // Compresses one candidate file in place; CompressTextureFile in the program, a stand-in in
    // tests. Exceptions it throws are recorded as that file's failure.
    using CompressFunction = std::function<TextureResult(const FileInFolder&)>;

    TextureScan(ProgressView& view, CompressFunction compress);
    // Compresses through CompressTextureFile(compressor, file); keeps a reference, so
    // `compressor` must outlive the scan.
    TextureScan(ProgressView& view, Brevora& compressor);

    // Walks the tree at `start` (which may be a link to a folder) with the system's lister or
    // with `lister`. May be called again; the total and the failures carry on accumulating.
    WalkSummary Scan(const std::filesystem::path& start);
    WalkSummary Scan(const std::filesystem::path& start, DirectoryLister& lister);

    // Appends " Finished.." to the status text this scan last set (empty when it set none, as
    // after a cancelled folder choice) and shows it. Nothing is repainted.
    void Finish();

    // Sum of bytesSaved over every candidate that was compressed, including one whose only
    // failure was the folder sync after its file had been replaced.
    std::int64_t totalSaved() const { return m_totalSaved; }
    // The status text last set, "" before the first candidate.
    const std::string& statusText() const { return m_status; }
    // Everything that went wrong, in walk order.
    const std::vector<ScanFailure>& failures() const { return m_failures; }
    // Leftover temporary files removed.
    std::size_t leftoversRemoved() const { return m_leftoversRemoved; }

    void EnterFolder(const std::filesystem::path& folder) override;
    void Candidate(const FileInFolder& file) override;
    void TemporaryFile(const FileInFolder& file) override;
    void Failure(const std::filesystem::path& path, Step step, std::error_code error) override;

private:
    ProgressView& m_view;
    CompressFunction m_compress;
    std::int64_t m_totalSaved = 0;
    std::string m_status;
    std::vector<ScanFailure> m_failures;
    std::size_t m_leftoversRemoved = 0;
};

// The text of the warning shown after a scan: one message per line, at most `maxLines` of them,
// then "and N more" for the rest. Empty when there were no failures.
std::string FormatFailureReport(const std::vector<ScanFailure>& failures,
                                std::size_t maxLines = 20);

} // namespace quorvel
