#pragma once
// TextureScan: the folder mode's work behind the main window, without the window.
//
// It walks a tree (FolderWalk.h) on the calling thread, the UI thread, and hands each candidate
// file to the rewrite pipeline as the walk finds it (WalkFeed.h), so the files are compressed on
// all the workers while the walk goes on. The pipeline gives the results back on this thread,
// in walk order, each once the file is on disk, and the scan writes the two status lines through
// a ProgressView:
//
//     the ordered stream reaches a folder   title  = "Scanning " + folder
//     after each candidate, in walk order    status = "Saved " + totalSaved() / 1024 + "Kb",
//                                                     then repaintStatus()
//     Finish()                               status = last status text + " Finished.."
//
// So the view sees the same texts in the same order whatever the number of workers, and the
// thread stays with the scan, never returning to the event loop until the walk ends. The
// division truncates toward zero (-1500 bytes shows as "Saved -1Kb"). The total is 64-bit, so a
// tree saving more than 2 GiB still shows the right figure, and it counts exactly the files
// replaced on disk. A file already compressed adds 0 but still rewrites the label; a file that
// fails adds nothing and is recorded, as is every folder or entry the walk couldn't read, so the
// window can list them in one warning afterwards (FormatFailureReport). Non-candidates change
// nothing. One failure never ends the scan.
//
// Temporary files a killed run left behind in a walked folder are removed on the way without a
// word; only a removal that fails is recorded.

#include "BatchSink.h"
#include "DirectoryLister.h"
#include "FolderWalk.h"
#include "ProgressView.h"
#include "RewritePipeline.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// A file or folder the scan couldn't handle.
struct ScanFailure {
    std::filesystem::path path;
    // One UTF-8 sentence naming the path: what failed, why, and the file's state, e.g. "Could
    // not open the folder /t/locked: Error 13: Permission denied. Nothing in it was changed."
    std::string message;
};

class TextureScan final : public BatchSink {
public:
    // Compresses with a pipeline of `options` (mode and engine are the window program's:
    // compress, zlib).
    explicit TextureScan(ProgressView& view, BatchOptions options = {});

    // Called on the walking thread as each file is handed to the pipeline, while the work holds
    // that thread (tests look at the window then).
    void SetHandOverHook(std::function<void()> hook) { m_handOver = std::move(hook); }

    // Walks the tree at `start` (which may be a link to a folder) with the system's lister or
    // with `lister`, and waits until every file found is done. May be called again; the total
    // and the failures carry on accumulating. Throws std::bad_alloc when memory runs out, and
    // whatever the view throws; files not yet renamed then stay as they were.
    WalkSummary Scan(const std::filesystem::path& start);
    WalkSummary Scan(const std::filesystem::path& start, DirectoryLister& lister);

    // Appends " Finished.." to the status text this scan last set (empty when it set none, as
    // after a cancelled folder choice) and shows it. Nothing is repainted.
    void Finish();

    // Sum of the bytes saved by every file replaced on disk, including one whose only failure
    // was the folder sync after it had been replaced.
    std::int64_t totalSaved() const { return m_totalSaved; }
    // The status text last set, "" before the first candidate.
    const std::string& statusText() const { return m_status; }
    // Everything that went wrong, in walk order.
    const std::vector<ScanFailure>& failures() const { return m_failures; }
    // Leftover temporary files removed.
    std::int64_t leftoversRemoved() const { return m_leftoversRemoved; }

    // BatchSink: what the pipeline hands back, in walk order.
    void OnFolder(const std::filesystem::path& folder) override;
    void OnReport(const FileReport& report) override;

private:
    ProgressView& m_view;
    BatchOptions m_options;
    std::function<void()> m_handOver;
    const std::atomic<bool> m_noStop{false}; // the window program's walk can't be interrupted
    std::int64_t m_totalSaved = 0;
    std::string m_status;
    std::vector<ScanFailure> m_failures;
    std::int64_t m_leftoversRemoved = 0;
};

// The text of the warning shown after a scan: one message per line, at most `maxLines` of them,
// then "and N more" for the rest. Empty when there were no failures.
std::string FormatFailureReport(const std::vector<ScanFailure>& failures,
                                std::size_t maxLines = 20);

} // namespace quorvel
