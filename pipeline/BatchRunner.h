#pragma once
// BatchRunner: runs a work list gathered beforehand (WorkList.h) through the pipeline
// (RewritePipeline.h), as the batch command does, and reports every file in walk order.

#include "BatchMode.h"
#include "BatchSink.h"
#include "FileReport.h"
#include "RewritePipeline.h"
#include "WorkList.h"

#include <atomic>

namespace quorvel {

// Hands every item of `work` to a pipeline with `options`, sets the progress totals from the
// list, and returns the totals of all reports, the leftovers the list removed among them. Items
// not handled because of an interrupt are reported NotProcessed. Throws std::bad_alloc only when
// an engine can't be created, and whatever the sink throws.
BatchTotals RunBatch(const WorkList& work, const BatchOptions& options, BatchSink& sink,
                     const std::atomic<bool>& stop);

} // namespace quorvel
