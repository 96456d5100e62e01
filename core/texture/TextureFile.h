#pragma once
// Compression of one texture file in place.
//
// The routine reads the header; a file already marked is left alone. Otherwise it reads the
// payload into memory, compresses it through a PayloadCompressor (normally the Brevora
// component, so the stream is exactly what zlib's compress() gives) and rewrites the file in the
// compressed layout of TextureFormat.h: header bytes 0..6 as read, marker 0x46, the payload
// length, "@@@@", the zlib stream.
//
// The rewrite goes through a temporary file beside the original (SafeReplace.h), so the
// original is either fully replaced or left exactly as it was. Read-only files (owner-write
// bit clear), files this process may not write, files with other hard links and anything that
// is not a regular file are refused before anything is written.
//
// The file is named by its open folder and one name (OpenFolder.h). It is opened without
// following a link and without blocking, every test is made on that descriptor, the payload is
// read from it, and the temporary file, the last identity check and the rename all go through
// the same folder, so nothing outside the folder can be read, written or renamed, whatever is
// swapped for a link meanwhile. A file named by a path (single-file mode, files named on the
// batch command's line) is resolved once, following a link the user named: the file it points
// to is rewritten and the link stays a link.
//
// Where the system grants one (Linux, to the file's owner or a privileged process), a read
// lease is taken on the original before its payload is read: a file some other program holds
// open for writing is refused as in use, and a program opening it for writing later breaks the
// lease, which is given up at once, and the file is then left alone. Elsewhere the check that
// the file's identity, size and times are unchanged just before the rename stands alone.
//
// The same road restores instead (TextureTransform::Restore): a file in the compressed layout
// this program writes gets the uncompressed layout back (RestoredHead, InflatePayload), through
// the same checks, temporary file and rename. Files not marked compressed, or marked with another
// value, are left alone; a damaged stream is a failure and the file stays as it was.
//
// The work is split into stages so that a batch can run them on worker threads and defer the
// folder syncs: PrepareTexture (read and compress, writes nothing; enough for a dry run),
// StageTexture (write and sync the temporary file), CommitTexture (rename into place).
// CompressTextureFile runs all of them for one file.
//
// Thread safety: all functions are safe to call concurrently for different files, as long as
// each thread uses its own compressor.

#include "ByteArray.h"
#include "FileOps.h"
#include "OpenFolder.h"
#include "Outcome.h"
#include "SafeReplace.h"
#include "TextureFormat.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvel {

class Brevora;

// What the road does to a file's payload.
enum class TextureTransform {
    Compress, // a file not marked compressed gets its payload as a zlib stream
    Restore,  // a file in the compressed layout this program writes gets its payload back
};

// What compressing or restoring one file did. Outcomes: Compressed, AlreadyCompressed,
// NothingCompressed and Failed; restoring, Decompressed, NotCompressed, OtherLayout and Failed.
struct TextureResult {
    std::filesystem::path path; // the path to show, as passed in
    TextureTransform transform = TextureTransform::Compress;
    Outcome outcome = Outcome::Failed;
    // Bytes the file shrank by: old payload size minus new; negative when the file grew (every
    // restore). 0 unless Compressed or Decompressed (or Failed at SyncFolder, where the file was
    // replaced). Never an error code.
    std::int32_t bytesSaved = 0;
    std::int32_t originalSize = 0;   // uncompressed payload bytes (read, or restored)
    std::int32_t compressedSize = 0; // zlib stream bytes (written, or read)
    std::int32_t zlibStatus = 0;     // the compressor's status (NothingCompressed explains why)
    Step failedStep = Step::None;
    // Platform code (std::system_category()) or TextureErrc; empty unless Failed.
    std::error_code error;
    // Failed at Decompress: the damage found, as --verify classifies it.
    VerifyProblem problem = VerifyProblem::None;
    // A temporary file that could not be removed after a failure: its path to show (beside
    // `path`) and the system's reason. Empty when there is none.
    std::filesystem::path leftover;
    std::error_code leftoverError;

    bool failed() const noexcept { return outcome == Outcome::Failed; }
    // Compressed or Decompressed: the file is (or would be) rewritten.
    bool rewritten() const noexcept {
        return outcome == Outcome::Compressed || outcome == Outcome::Decompressed;
    }
    // The file's sizes before and after, header included, where it was (or would be) replaced:
    // rewritten, or failed only at the folder sync that follows the rename. Zero otherwise.
    FileSizes fileSizes() const noexcept;
    // Marks the result failed at `step`; sizes are kept.
    void SetFailure(Step step, std::error_code reason) noexcept;
};

// What a compressor reports: zlib status (0 = success) and the sizes of both sides. On status 0
// with compressedSize > 0 the payload array holds exactly the compressed stream, from index 0.
struct CompressionReport {
    std::int32_t status = 0;
    std::int32_t originalSize = 0;
    std::int32_t compressedSize = 0;
};

// Compresses a payload array in place into a zlib stream. May throw OverflowError or
// std::bad_alloc. A batch can plug in another zlib encoder here (libdeflate).
using PayloadCompressor = std::function<CompressionReport(ByteArray& payload)>;

// A compressor working through `compressor`'s CompressData, OriginalSize and CompressedSize.
// Keeps a reference: the instance must outlive the returned function.
PayloadCompressor BrevoraCompressor(Brevora& compressor);

// An open file descriptor, closed (through FileOps) with its owner.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return m_fd; }
    void reset() noexcept;

private:
    int m_fd = -1;
};

// A file read and compressed in memory, not yet written.
struct PreparedTexture {
    // Outcome Compressed or Decompressed means ready to stage, with sizes and bytesSaved filled
    // in; any other outcome is final.
    TextureResult result;
    FileInFolder target;   // the file to replace: its open folder and name
    FileIdentity original; // the target as it was when read
    // The original, open for reading, kept until the file is replaced: the attributes are
    // copied from it and the read lease, if any, is held on it.
    FileDescriptor source;
    bool leased = false; // a read lease is held on `source`
    TextureHead head{};  // the new first 16 bytes
    ByteArray stream;    // the new payload: the zlib stream, or the restored bytes
};

// Reads `file` and compresses (or, with TextureTransform::Restore, restores) its payload;
// writes nothing. Files the transform leaves alone, too short or refused files come back with
// their final outcome without reading the payload. Restoring doesn't use `compress`. The
// result's path is file.shown.
PreparedTexture PrepareTexture(const FileInFolder& file, const PayloadCompressor& compress,
                               TextureTransform transform = TextureTransform::Compress);

// The same for a file named by a path: resolved once (ResolveNamedFile), links followed.
PreparedTexture PrepareTexture(const std::filesystem::path& path, const PayloadCompressor& compress,
                               TextureTransform transform = TextureTransform::Compress);

// When a staged file is made durable.
enum class StageSync {
    Now,   // fsync the temporary file before StageTexture returns
    Later, // leave it unsynced: the caller syncs its file system (SyncFileSystem) or the file
           // (PendingReplacement::sync) before committing, so a batch pays one flush for many
};

// Writes a ready (Compressed or Decompressed) PreparedTexture to a temporary file beside its
// target, then gives it the original's owner, group, extended attributes and permission bits,
// and with StageSync::Now syncs it (content and attributes together). On failure records it in
// prepared.result and returns an empty PendingReplacement (no temporary file left).
PendingReplacement StageTexture(PreparedTexture& prepared, StageSync sync = StageSync::Now);

// Renames the staged file over the target and, with `syncFolder`, flushes the target's folder
// (pass false to sync each folder once after a batch, with SyncFolder()). A broken read lease
// fails it as in use. On failure records it in prepared.result; a failed rename leaves the
// original as it is and removes the temporary. Closes the original's descriptor either way.
// Returns !prepared.result.failed().
bool CommitTexture(PreparedTexture& prepared, PendingReplacement& staged, bool syncFolder = true);

// Removes a staged temporary file after a failure recorded in `result`; a file that can't be
// removed is named in `result` (leftover, leftoverError).
void DiscardStaged(PendingReplacement& staged, TextureResult& result);

// Compresses `file` in place through `compressor`: prepare, stage, commit and folder sync.
TextureResult CompressTextureFile(Brevora& compressor, const FileInFolder& file);

// The same for a file named by a path (relative to the current directory), resolved once with
// links followed.
TextureResult CompressTextureFile(Brevora& compressor, const std::filesystem::path& path);

} // namespace quorvel
