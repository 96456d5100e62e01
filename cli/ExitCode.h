#pragma once
// The batch command's exit codes, in one place so --help, main() and the tests agree.

namespace quorvel {

enum class ExitCode : int {
    Success = 0,      // every file done, skipped for a reason or (with --verify) sound
    SomeFailed = 1,   // at least one file or folder failed, or failed verification
    Usage = 2,        // bad command line
    Interrupted = 130 // stopped by SIGINT or SIGTERM; finished files stay finished
};

} // namespace quorvel
