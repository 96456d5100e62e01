#include "BatchRunner.h"

#include <algorithm>
#include <set>

namespace quorvel {
namespace {

// The distinct folders the work list holds open.
std::size_t OpenFolders(const WorkList& work) {
    std::set<const OpenFolder*> folders;
    for (const WorkItem& item : work.items) {
        if (item.file.folder && item.file.folder->handle() != kNoFolder)
            folders.insert(item.file.folder.get());
    }
    return folders.size();
}

} // namespace

BatchTotals RunBatch(const WorkList& work, const BatchOptions& options, BatchSink& sink,
                     const std::atomic<bool>& stop) {
    std::int64_t filesTotal = work.toHandle;
    if (options.mode == BatchMode::Verify) {
        // Verifying checks the read-only files too.
        filesTotal += std::count_if(work.items.begin(), work.items.end(), [](const WorkItem& i) {
            return i.preset && i.preset->outcome == Outcome::ReadOnlySkipped;
        });
    }
    RewritePipeline pipeline(options, sink, stop, OpenFolders(work));
    pipeline.SetProgressTotals(filesTotal, work.payloadBytes);
    for (const WorkItem& item : work.items)
        pipeline.Submit(item);
    BatchTotals totals = pipeline.Finish();
    totals.leftoversRemoved = work.leftoversRemoved;
    return totals;
}

} // namespace quorvel
