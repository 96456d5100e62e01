#pragma once
// Outcome: one vocabulary for what happened to a file, shared by the rewrite and the restore
// (TextureFile.h), the verifier (TextureVerify.h), the walk (FolderWalk.h) and every front end.
//
// A file's fate is an Outcome; a failure also says at which Step it happened and why, as an error
// code (a system code, or TextureErrc) and, for a damaged compressed file, a VerifyProblem
// (TextureFormat.h). What a rewrite changed in size is FileSizes. The names machine-readable
// reports use for outcomes and steps are made here and nowhere else; the sentences for people
// are FailureText.h's.

#include <cstdint>

namespace quorvel {

// What happened to one file (for the walk: to one folder or entry).
enum class Outcome {
    Compressed,        // rewritten (in a dry run: would be rewritten)
    AlreadyCompressed, // marker above 0x40; untouched, 0 saved
    NothingCompressed, // the compressor produced nothing (1-byte payload, zlib failure);
                       // untouched and not marked, 0 saved
    ReadOnlySkipped,   // read-only, passed over by the walk
    Failed,            // compressing or restoring failed; see the step and the error
    WalkFailed,        // a folder or entry the walk couldn't read, or a leftover it couldn't remove
    Verified,          // verifying: marked, and the stream inflates to exactly the stored size
    VerifyFailed,      // verifying: marked but damaged (see the problem), or unreadable
    NotCompressed,     // verifying or restoring: not marked, nothing to check or restore
    Decompressed,      // restoring: rewritten in the uncompressed layout (or would be)
    OtherLayout,       // restoring: marked above 0x40 but not 0x46, a layout this program
                       // doesn't write; untouched
    NotProcessed,      // never started, or abandoned uncommitted, because of an interrupt
    // What the walk passes over without a report of its own:
    NotRegularSkipped, // a texture file name on a link, pipe, device, ...
    LeftoverRemoved,   // a temporary file a killed run left behind, removed
    LeftoverKept,      // named like our temporary files but changed too recently to be a leftover
    NotLeftover,       // not one of our temporary files (or gone meanwhile); left alone
};

// Where a failure happened. The rewrite's steps come first: up to and including Replace the
// original file is unchanged; a failure at SyncFolder comes after the file was replaced. Then
// the walk's.
enum class Step {
    None,
    Open,       // finding, inspecting or opening the file
    Check,      // refused: too short, too large, read-only, not writable, hard-linked
    Read,       // reading header or payload
    Compress,   // the compressor threw (out of memory, size overflow)
    Decompress, // restoring: the head or the zlib stream is damaged (see the problem)
    CreateTemp, // creating the temporary file
    Write,      // writing the temporary file
    // Giving the written temporary file what the original has besides its content:
    CopyOwner,          // its owner and group
    CopyPermissions,    // its permission bits (Windows: its security descriptor)
    CopyAttributes,     // its extended attributes, the POSIX ACL among them
    CopyFileAttributes, // Windows: its file attributes (hidden, system, ...) and creation time
    Sync,               // flushing the temporary file to disk
    Replace,            // checking the original is unchanged and renaming over it
    SyncFolder,         // flushing the folder after the rename
    // The walk:
    OpenFolder,     // opening a folder (missing, no permission, not a folder, a link)
    ListFolder,     // reading a folder's entries; the entries read before it are still walked
    ReadName,       // reading one entry's name; the failure names the folder
    ReadEntry,      // reading one entry's kind (it vanished, say)
    ReadAttributes, // reading a candidate file's read-only state
    RemoveLeftover, // removing a temporary file a killed run left behind
};

// A file's size before and after it was rewritten, header included; both 0 for a file that was
// not replaced.
struct FileSizes {
    std::int64_t bytesIn = 0;
    std::int64_t bytesOut = 0;

    // Negative when the file grew (every restore).
    std::int64_t bytesSaved() const noexcept { return bytesIn - bytesOut; }
    void Add(const FileSizes& other) noexcept {
        bytesIn += other.bytesIn;
        bytesOut += other.bytesOut;
    }
};

// Stable lower-camel-case names for machine-readable reports: "compressed", "readOnlySkipped",
// "walkFailed", ... and "createTemp", "listFolder", ...
const char* OutcomeName(Outcome outcome);
const char* StepName(Step step);

} // namespace quorvel
