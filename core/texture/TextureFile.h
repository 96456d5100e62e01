#pragma once
// The words and types of compressing or restoring one texture file in place: what the rewrite
// reports (TextureResult), the compressor it works through (PayloadCompressor) and the open
// original it holds (FileDescriptor). The rewrite itself, as named steps, is TextureRewrite.h.
//
// A compressed file has the layout of TextureFormat.h: header bytes 0..6 as read, marker 0x46,
// the payload length, "@@@@", the zlib stream. Restoring (TextureTransform::Restore) turns a file
// in that layout back into the uncompressed one (RestoredHead, InflatePayload).

#include "ByteArray.h"
#include "Outcome.h"
#include "TextureFormat.h"

#include <cstdint>
#include <filesystem>
#include <functional>
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

// When a staged file is made durable.
enum class StageSync {
    Now,   // fsync the temporary file as it is staged
    Later, // leave it unsynced: the caller syncs its file system (SyncFileSystem) or the file
           // (TextureRewrite::Sync) before committing, so a batch pays one flush for many
};

} // namespace quorvel
