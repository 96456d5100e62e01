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
//
// Each item holds its file as the open folder the walk found it in plus its name (OpenFolder.h),
// so the rewrite later acts on exactly that folder; a file named on the command line is
// resolved once, its link followed. The folders stay open as long as the list holds files in
// them, as many as the open-file limit allows (RaiseOpenFileLimit, System.h, raises it as far as
// it may go); beyond that, a folder is opened again along the walk's route when its files' turn
// comes.
//
// When asked to, the walk also removes temporary files a killed earlier run left in the folders
// it walks (RemoveLeftoverTemporaryFile); a removal that fails becomes a WalkFailed item.

#include "WorkItem.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace quorvel {

struct WorkList {
    std::vector<WorkItem> items;
    // Payload bytes of the items to handle (file size less the 16-byte header), the unit of the
    // progress display.
    std::int64_t payloadBytes = 0;
    std::int64_t toHandle = 0; // items without a preset report
    std::int64_t leftoversRemoved = 0;
};

// Gathers the work for `paths`, with `removeLeftovers` removing leftover temporary files on
// the way. Stops early, with what it has, once `stop` is set. At most `maxOpenFolders` folders
// stay open (0: half the open-file limit); files in any further folder hold a detached folder
// (OpenFolder::Detached) that the worker opens again from the start folder (ReopenFolder).
WorkList CollectWork(const std::vector<std::filesystem::path>& paths, const std::atomic<bool>& stop,
                     bool removeLeftovers = false, std::size_t maxOpenFolders = 0);

} // namespace quorvel
