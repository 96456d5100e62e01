#pragma once
// BatchMode: what a run does to the files it is given.

namespace quorvel {

enum class BatchMode {
    Compress,         // rewrite files in place
    DryRun,           // compress in memory and report; write nothing
    Verify,           // check compressed files; write nothing
    Decompress,       // restore compressed files to the uncompressed layout in place
    DecompressDryRun, // restore in memory and report; write nothing
};

// Decompress or DecompressDryRun.
constexpr bool IsRestoreMode(BatchMode mode) {
    return mode == BatchMode::Decompress || mode == BatchMode::DecompressDryRun;
}
// DryRun or DecompressDryRun.
constexpr bool IsDryRunMode(BatchMode mode) {
    return mode == BatchMode::DryRun || mode == BatchMode::DecompressDryRun;
}

} // namespace quorvel
