#pragma once
// The one signal module of both programs: removal of half-written temporary files when the
// process is interrupted, and the batch command's graceful stop. Every temporary file the texture
// routine writes is entered in a process-wide table before it is created and leaves it once it
// was renamed into place or removed.
//
// InstallInterruptCleanup (the window program): on SIGINT, SIGTERM or SIGHUP the handler deletes
// every file in the table and then lets the signal take its default action, so an interrupted
// run leaves the originals as they were and no temporary files behind.
//
// InstallGracefulInterrupt (the batch command): the first SIGINT or SIGTERM only sets a flag; the
// batch then takes no new file, abandons what it has staged but not renamed, and ends with a
// report. A second one, or SIGHUP, takes the immediate path above.
//
// The handlers themselves are the system's (Interrupts.cpp of its folder). On Windows a console
// control handler does the same: Ctrl-C and Ctrl-Break stand for SIGINT
// (a second one ends the process with STATUS_CONTROL_C_EXIT), and closing the console, logging
// off or shutting down remove the files before the system ends the process.
//
// On POSIX both programs also ignore SIGXFSZ, so a write beyond the file size limit fails with
// "File too large" instead of ending the process.
//
// Entries are (open folder, one name), never paths, so a folder renamed or swapped for a link
// during the run can't turn the removal onto another file. The table is a fixed array written
// with atomics only, so it is safe to use from any number
// of threads and to read from a signal handler.

#include "SystemTypes.h"

#include <atomic>
#include <filesystem>

namespace quorvel {

// Most temporary files that may exist at once.
inline constexpr int kMaxTemporaryFiles = 1024;

// Installs the handler for SIGINT, SIGTERM and SIGHUP, except for signals the process already
// ignores (nohup). Front ends call it once at start-up, before any file is rewritten. A front
// end that handles these signals itself calls RemoveTemporaryFiles() from its own handler.
void InstallInterruptCleanup();

// Installs the same handlers, except that the first SIGINT or SIGTERM only sets the returned
// flag. Call once, before any file is written, instead of InstallInterruptCleanup.
const std::atomic<bool>& InstallGracefulInterrupt();

// For the system's interrupt handler (Interrupts.cpp): after InstallGracefulInterrupt, the first
// call sets the flag it returned and returns true, so the interrupt only stops the batch; false
// otherwise, and the handler takes the immediate path. Async-signal-safe.
bool TakeGracefulStop() noexcept;

// Deletes every registered temporary file. Async-signal-safe. The process must end afterwards:
// the table's slots stay taken.
void RemoveTemporaryFiles() noexcept;

// Enters the file `name` in `folder` in the table; removal goes through the folder's handle, so
// it removes that file wherever the folder has been moved to, and nothing else. The folder must
// stay open while the entry is in the table. Returns the slot, or -1 when the table is full or
// the name is too long to store (the caller must then not create the file). Thread-safe.
int RegisterTemporaryFile(FolderHandle folder, const std::filesystem::path& name) noexcept;

// Takes a slot out of the table without touching the file. Thread-safe.
void UnregisterTemporaryFile(int slot) noexcept;

} // namespace quorvel
