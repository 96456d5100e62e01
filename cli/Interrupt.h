#pragma once
// Ctrl-C handling for the batch command.
//
// The first SIGINT or SIGTERM only sets a flag: the batch then takes no new file, abandons what
// it has staged but not renamed, and ends with a report. A second signal means "now": the
// handler removes every registered temporary file (InterruptCleanup.h) and lets the signal's
// default action end the process, so even then no temporary file is left and every original is
// either untouched or completely replaced.

#include <atomic>

namespace quorvel {

// Installs the handlers (SIGHUP goes straight to the hard path) and returns the flag they set.
// Call once, before any file is written.
const std::atomic<bool>& InstallGracefulInterrupt();

// The signal that set the flag, or 0.
int InterruptSignal();

} // namespace quorvel
