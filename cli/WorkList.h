#pragma once
// WorkList: the files a batch run will handle, gathered before any of them is touched.
//
// Each PATH on the command line becomes work in order. A folder is walked with the folder
// mode's rules (WalkFolderTree: candidate names, read-only files passed over, links inside the
// tree not followed); a folder that can't be read, or an entry the walk couldn't read, becomes
// a WalkFailed item and the walk goes on. Read-only texture files the walk passes over become
// ReadOnlySkipped items, so the summary can count them. Anything else is taken as one file and
// compressed whatever its name, like the window program's single-file mode.
//
// Listing everything first keeps the temporary files of the rewrite out of the walk, gives the
// progress display its totals, and fixes the order of the reports. A file reached twice (named
// twice, or inside two named folders) is handled once; so is a read-only file passed over, and a
// folder or entry that couldn't be read is reported once.

#include "FileReport.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace quorvel {

struct WorkItem {
    std::filesystem::path path;
    std::int64_t size = 0; // file size in bytes; 0 when unknown
    // Set when the item's report is already known (read-only, walk failure); the workers pass
    // it on unchanged.
    std::optional<FileReport> preset;
};

struct WorkList {
    std::vector<WorkItem> items;
    // Payload bytes of the items to handle (file size less the 16-byte header), the unit of the
    // progress display.
    std::int64_t payloadBytes = 0;
    std::int64_t toHandle = 0; // items without a preset report
};

// The payload bytes of a file of `size` bytes: what is past the 16-byte header.
std::int64_t PayloadBytes(std::int64_t size);

// Gathers the work for `paths`. Stops early, with what it has, once `stop` is set.
WorkList CollectWork(const std::vector<std::filesystem::path>& paths,
                     const std::atomic<bool>& stop);

} // namespace quorvel
