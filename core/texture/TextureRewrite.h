#pragma once
// TextureRewrite: compressing or restoring one texture file in place, as named steps.
//
//     Open -> ReadHead -> Check -> ReadPayload -> Transform -> Stage -> Replace -> SyncFolder
//
// Each step is one method that records a failure at its own Step (Outcome.h) and returns whether
// the file goes on to the next one; false means the result is final: failed, or left alone
// (already compressed, not compressed, another layout, nothing compressed). Compressing and
// restoring share every step but Transform. A dry run stops after Transform; a batch runs the
// steps on different threads and makes many staged files durable with one flush before their
// Replace (Stage with StageSync::Later, then SyncFileSystem or Sync).
//
// The file is named by its open folder and one name (OpenFolder.h); a file named by a path is
// resolved once, at the edge, by whoever was given the path (ResolveNamedFile). It is opened
// without following a link and without blocking, every test is made on that descriptor, the
// payload is read from it, and the temporary file, the last identity check and the rename all go
// through the same folder (SafeReplace.h), so nothing outside the folder can be read, written or
// renamed, whatever is swapped for a link meanwhile. Read-only files (owner-write bit clear),
// files this process may not write, files with other hard links, encrypted files and anything
// that is not a regular file are refused before anything is written.
//
// Where the system grants one (Linux, to the file's owner or a privileged process), a read lease
// is taken on the original before its payload is read: a file some other program holds open for
// writing is refused as in use, and a program opening it for writing later breaks the lease,
// which is given up at once, and the file is then left alone at Replace. Elsewhere the check
// that the file's identity, size and times are unchanged just before the rename stands alone.
//
// Thread safety: one rewrite is used by one thread at a time (it may move between threads);
// any number of rewrites of different files may run at once, each with its own compressor.

#include "OpenFolder.h"
#include "SafeReplace.h"
#include "TextureFile.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace quorvel {

class TextureRewrite {
public:
    explicit TextureRewrite(FileInFolder file,
                            TextureTransform transform = TextureTransform::Compress);
    // A file that can't be reached (a named file that didn't resolve, a folder that couldn't be
    // opened again): the result is final, failed at Open with `error`.
    static TextureRewrite Unreachable(std::filesystem::path shown, TextureTransform transform,
                                      std::error_code error);

    TextureRewrite(TextureRewrite&&) noexcept = default;
    TextureRewrite& operator=(TextureRewrite&&) noexcept = default;

    // Step::Open: opens the name in its folder, without following a link and without blocking
    // (a file another program holds unshared, on Windows, is tried again for a while), and
    // refuses what is not a regular file.
    bool Open();
    // Step::Read: reads the 16-byte head; a file the transform leaves alone ends here
    // (AlreadyCompressed; restoring, NotCompressed and OtherLayout), as does a damaged head
    // (failed at Decompress).
    bool ReadHead();
    // Step::Check: refuses a file too short or too long, read-only, not writable by this process,
    // hard-linked or encrypted, and takes the read lease where there is one (a file open for
    // writing elsewhere is refused as in use).
    bool Check();
    // Step::Read: reads the payload into memory.
    bool ReadPayload();
    // Step::Compress through `compress`, or Step::Decompress (restoring doesn't use `compress`):
    // makes the new head and payload. A compressor that produced nothing leaves the file alone
    // (NothingCompressed). May be called without a compressor when restoring.
    bool Transform(const PayloadCompressor& compress);
    // Open to Transform: everything that writes nothing, all a dry run does.
    bool Prepare(const PayloadCompressor& compress);

    // Step::CreateTemp, Step::Write, the Copy steps and, with StageSync::Now, Step::Sync: writes
    // the new file to a temporary file beside the original, gives it what of the original's
    // owner, group, extended attributes and permission bits differs (failing at the step of the
    // piece that can't be given), and syncs it (content and attributes together). The new
    // payload is freed once written. On failure no temporary file is left.
    bool Stage(StageSync sync = StageSync::Now);
    // Asks the system to start writing the staged file to disk now, without waiting, so that
    // the sync before Replace finds little left to do. Advisory: a failure is ignored.
    void StartWriteBack();
    // Step::Sync: makes a file staged with StageSync::Later durable on its own; on failure the
    // temporary file is removed.
    bool Sync();
    // Step::Replace: renames the staged file over the original once the lease is still held and
    // the original is as it was read; a file another run compressed meanwhile is told apart.
    // Does not sync the folder. Closes the original either way; a failed rename removes the
    // temporary file and leaves the original as it is.
    bool Replace();
    // Step::SyncFolder: flushes the folder after Replace, making the rename durable.
    bool SyncFolder();
    // Replace and, with `syncFolder`, SyncFolder (pass false to sync each folder once after a
    // batch; FolderSyncFailed then marks the files of a folder whose sync failed).
    bool Commit(bool syncFolder = true);

    // A sync of the folder after Replace failed: the file was replaced, but the rename may not
    // be on disk.
    void FolderSyncFailed(std::error_code error) noexcept;
    // Fails the rewrite at `step` (an exception met outside the steps, say), removing any
    // temporary file (or naming it in the result when it can't be) and closing the original.
    void Fail(Step step, std::error_code error) noexcept;
    // Gives the rewrite up without a result of its own (an interrupt): the temporary file is
    // removed (one that can't be is named in the result's leftover), the original closed and
    // left as it was.
    void Abandon() noexcept;

    const TextureResult& result() const noexcept { return m_result; }
    const FileInFolder& file() const noexcept { return m_file; }
    const FileIdentity& original() const noexcept { return m_original; }
    // Payload bytes read (the file's size less the head); 0 before ReadPayload.
    std::int64_t payloadBytes() const noexcept { return m_payloadBytes; }
    // Bytes of the new file held in memory, head included (after Transform, until Stage).
    std::int64_t newBytes() const noexcept;
    // Bytes written to the temporary file, head included (after Stage).
    std::int64_t stagedBytes() const noexcept { return m_stagedBytes; }
    // The new head and payload, after Transform and until Stage writes them.
    const TextureHead& newHead() const noexcept { return m_head; }
    std::span<const std::uint8_t> newPayload() const noexcept { return m_payload.bytes(); }
    // A read lease is held on the original (Check).
    bool leased() const noexcept { return m_leased; }
    // A temporary file is held, staged and not yet renamed or removed.
    bool staged() const noexcept { return static_cast<bool>(m_pending); }
    // The staged file's name in the original's folder.
    const std::filesystem::path& temporaryName() const noexcept {
        return m_pending.temporaryName();
    }
    // The staged file is known to be on disk (StageSync::Now, or Sync).
    bool synced() const noexcept { return m_synced; }

private:
    bool FailedAt(Step step, std::error_code error);
    // Removes the temporary file, if any; one that can't be removed is named in the result
    // (leftover, leftoverError).
    void Discard() noexcept;
    bool LeftAlone(Outcome outcome);
    bool CheckSize();
    bool CheckAccess();
    bool Compress(const PayloadCompressor& compress);
    bool Restore();

    FileInFolder m_file;
    TextureResult m_result;
    FileIdentity m_original; // the original as it was opened
    // The original, open for reading, kept until it is replaced: the attributes are copied from
    // it and the read lease, if any, is held on it.
    FileDescriptor m_source;
    bool m_leased = false;
    TextureHead m_head{};          // the head read, then the new head
    std::int64_t m_headBytes = 0;  // bytes of the head the file had (up to 16)
    std::int32_t m_storedSize = 0; // restoring: the size field of the compressed head
    std::int64_t m_payloadBytes = 0;
    ByteArray m_payload; // the payload read, then the new payload until it is written
    PendingReplacement m_pending;
    std::int64_t m_stagedBytes = 0;
    bool m_synced = false;
};

// Every step for one file, compressing through `compress` or restoring.
TextureResult RewriteTextureFile(const FileInFolder& file, const PayloadCompressor& compress,
                                 TextureTransform transform = TextureTransform::Compress);

// Compresses `file` in place through `compressor` (its CompressData): every step, the file's
// own sync and its folder's.
TextureResult CompressTextureFile(Brevora& compressor, const FileInFolder& file);

} // namespace quorvel
