#include "TextureFile.h"

#include "Brevora.h"
#include "BrevoraErrors.h"
#include "ReadOnly.h"
#include "System.h"
#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <new>
#include <utility>

namespace quorvel {
namespace {

constexpr auto kHeaderBytes = static_cast<std::int64_t>(kTextureHeaderBytes);

// Never through a link, and without blocking on a pipe or device.
int ReadFlags() {
    const Capabilities& system = SystemCapabilities();
    return O_RDONLY | system.openNoFollow | system.openNoBlock;
}

// Reads up to `count` bytes at `offset`, fewer only at the end of the file. Returns the number
// read, or -1 with errno set.
std::int64_t ReadFully(const FileOps& ops, int fd, std::uint8_t* buffer, std::size_t count,
                       std::int64_t offset) {
    constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t got = ops.readAt(fd, buffer + done, std::min(count - done, kMaxChunk),
                                            offset + static_cast<std::int64_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

// Whether the name now holds a file marked compressed: another run got there first.
bool CompressedMeanwhile(const FileInFolder& file) {
    const FileOps& ops = CurrentFileOps();
    const int fd = ops.openAt(file.folder->handle(), file.name, ReadFlags(), 0);
    if (fd < 0)
        return false;
    const FileDescriptor closer(fd);
    FileIdentity info;
    std::array<std::uint8_t, 8> header{};
    return ops.fstat(fd, info) == 0 && info.isRegular() &&
           ReadFully(ops, fd, header.data(), header.size(), 0) == 8 && IsMarkedCompressed(header);
}

// The restoring end of PrepareTexture: inflates `stream` (the bytes after the compressed head)
// into the new payload, or records the damage found.
void RestorePayload(PreparedTexture& prepared, const TextureHead& compressedHead,
                    std::int32_t storedSize, ByteArray stream) {
    TextureResult& result = prepared.result;
    ByteBuffer restored;
    VerifyProblem problem = VerifyProblem::None;
    try {
        problem = InflatePayload(stream.bytes(), storedSize, restored);
    } catch (const std::bad_alloc&) {
        result.SetFailure(Step::Decompress, std::make_error_code(std::errc::not_enough_memory));
        return;
    }
    if (problem != VerifyProblem::None) {
        result.SetFailure(Step::Decompress, make_error_code(TextureErrc::DamagedStream));
        result.problem = problem;
        return;
    }
    stream = ByteArray{};
    prepared.head = RestoredHead(compressedHead);
    prepared.stream = ByteArray(std::move(restored));
    result.originalSize = storedSize;
    // Both sizes are non-negative 32-bit values, so the difference can't overflow.
    result.bytesSaved = result.compressedSize - storedSize;
    result.outcome = Outcome::Decompressed;
}

// StageTexture's way out after the temporary file was created: the failure recorded, the file
// removed.
PendingReplacement StageFailed(PreparedTexture& prepared, PendingReplacement& staged, Step step,
                               std::error_code error) {
    prepared.result.SetFailure(step, error);
    DiscardStaged(staged, prepared.result);
    return {};
}

// The step named for the piece of metadata the temporary file could not be given.
Step MetadataStep(MetadataPart part) {
    switch (part) {
    case MetadataPart::Permissions:
        return Step::CopyPermissions;
    case MetadataPart::Attributes:
        return Step::CopyAttributes;
    case MetadataPart::FileAttributes:
        return Step::CopyFileAttributes;
    case MetadataPart::None:
    case MetadataPart::Owner:
        break;
    }
    return Step::CopyOwner;
}

} // namespace

FileSizes TextureResult::fileSizes() const noexcept {
    if (!rewritten() && !(failed() && failedStep == Step::SyncFolder))
        return {};
    constexpr auto kHeader = static_cast<std::int64_t>(kTextureHeaderBytes);
    const bool restored = transform == TextureTransform::Restore;
    return {kHeader + (restored ? compressedSize : originalSize),
            kHeader + (restored ? originalSize : compressedSize)};
}

void TextureResult::SetFailure(Step step, std::error_code reason) noexcept {
    outcome = Outcome::Failed;
    failedStep = step;
    error = reason;
}

PayloadCompressor BrevoraCompressor(Brevora& compressor) {
    return [&compressor](ByteArray& payload) {
        const std::int32_t status = compressor.CompressData(payload);
        return CompressionReport{status, compressor.OriginalSize(), compressor.CompressedSize()};
    };
}

FileDescriptor::~FileDescriptor() {
    reset();
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        reset();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

void FileDescriptor::reset() noexcept {
    if (m_fd >= 0)
        CurrentFileOps().close(std::exchange(m_fd, -1));
}

PreparedTexture PrepareTexture(const std::filesystem::path& path, const PayloadCompressor& compress,
                               TextureTransform transform) {
    std::error_code error;
    const FileInFolder file = ResolveNamedFile(path, error);
    if (error) {
        PreparedTexture prepared;
        prepared.result.path = path;
        prepared.result.transform = transform;
        prepared.result.SetFailure(Step::Open, error);
        return prepared;
    }
    return PrepareTexture(file, compress, transform);
}

PreparedTexture PrepareTexture(const FileInFolder& file, const PayloadCompressor& compress,
                               TextureTransform transform) {
    const FileOps& ops = CurrentFileOps();
    PreparedTexture prepared;
    TextureResult& result = prepared.result;
    result.path = file.shown;
    result.transform = transform;
    const bool restore = transform == TextureTransform::Restore;
    prepared.target = file;
    if (!file.folder) {
        result.SetFailure(Step::Open, std::error_code(EBADF, std::system_category()));
        return prepared;
    }

    // Without following a link, and without blocking: opening a pipe would wait for a writer.
    // Whatever it turns out to be is refused below by what fstat() says of the descriptor.
    // A file another program holds open without sharing it (Windows) is tried again for a while.
    int fd = -1;
    int code = 0;
    for (int attempt = 1;; ++attempt) {
        if ((fd = ops.openAt(file.folder->handle(), file.name, ReadFlags(), 0)) >= 0)
            break;
        code = errno;
        if (code != EBUSY || !ops.waitWhileInUse(attempt))
            break;
    }
    if (fd < 0) {
        // The name was a regular file when it was found (or resolved); a link now means it was
        // swapped meanwhile.
        errno = code;
        std::error_code error = LastError();
        if (code == ELOOP)
            error = make_error_code(TextureErrc::FileChanged);
        else if (code == EBUSY)
            error = make_error_code(TextureErrc::InUse);
        result.SetFailure(Step::Open, error);
        return prepared;
    }
    prepared.source = FileDescriptor(fd);
    if (ops.fstat(fd, prepared.original) != 0) {
        result.SetFailure(Step::Open, LastError());
        return prepared;
    }
    if (!prepared.original.isRegular()) {
        result.SetFailure(Step::Open, make_error_code(TextureErrc::NotRegularFile));
        return prepared;
    }

    // Bytes past the end of a short file stay 0. Compressing needs bytes 0..7 only, restoring
    // the whole compressed head.
    TextureHead head{};
    const std::int64_t headBytes = ReadFully(ops, fd, head.data(), head.size(), 0);
    if (headBytes < 0) {
        result.SetFailure(Step::Read, LastError());
        return prepared;
    }
    std::int32_t storedSize = 0;
    if (!restore && IsMarkedCompressed(head)) {
        result.outcome = Outcome::AlreadyCompressed;
        prepared.source.reset();
        return prepared;
    }
    if (restore) {
        if (!IsMarkedCompressed(head)) {
            result.outcome = Outcome::NotCompressed;
            prepared.source.reset();
            return prepared;
        }
        if (!HasRewriteMarker(head)) {
            result.outcome = Outcome::OtherLayout;
            prepared.source.reset();
            return prepared;
        }
        const VerifyProblem problem = CheckCompressedHead(
            std::span(head).first(static_cast<std::size_t>(headBytes)), storedSize);
        if (problem != VerifyProblem::None) {
            result.SetFailure(Step::Decompress, make_error_code(TextureErrc::DamagedStream));
            result.problem = problem;
            return prepared;
        }
    }

    const std::int64_t payloadBytes = prepared.original.size - kHeaderBytes;
    if (payloadBytes <= 0 && restore) {
        // A sound head with no stream after it.
        result.SetFailure(Step::Decompress, make_error_code(TextureErrc::DamagedStream));
        result.problem = VerifyProblem::Truncated;
        return prepared;
    }
    if (payloadBytes <= 0) {
        result.SetFailure(Step::Check, make_error_code(TextureErrc::FileTooShort));
        return prepared;
    }
    if (payloadBytes > std::numeric_limits<std::int32_t>::max()) {
        result.SetFailure(Step::Check, make_error_code(TextureErrc::PayloadTooLarge));
        return prepared;
    }
    // A rename needs only the folder's permission, so the file's own write permission is
    // checked here: a read-only file stays read-only, for root too.
    if (IsReadOnly(static_cast<std::filesystem::perms>(prepared.original.mode & 07777u))) {
        result.SetFailure(Step::Check, ErrorFromErrno(EACCES));
        return prepared;
    }
    if (ops.checkWritable(file.folder->handle(), file.name) != 0) {
        result.SetFailure(Step::Check, LastError());
        return prepared;
    }
    // The rewritten file would be a new inode, leaving the other names with the old content.
    if (prepared.original.links > 1) {
        result.SetFailure(Step::Check, make_error_code(TextureErrc::HardLinked));
        return prepared;
    }
    // The new file would be written plainly and replace the encrypted one: refused instead.
    if (prepared.original.encrypted) {
        result.SetFailure(Step::Check, make_error_code(TextureErrc::Encrypted));
        return prepared;
    }

    // Before the payload is read, so a writer that opens the file later is noticed.
    if (ops.setLease(fd, true) == 0) {
        prepared.leased = true;
    } else if (errno == EAGAIN) {
        result.SetFailure(Step::Check, make_error_code(TextureErrc::InUse));
        return prepared;
    }
    // Otherwise no lease is to be had here (not our file, no leases on this file system); the
    // identity check before the rename stands alone.

    const auto count = static_cast<std::int32_t>(payloadBytes);
    (restore ? result.compressedSize : result.originalSize) = count;
    ByteArray payload;
    try {
        payload = ByteArray::Uninitialized(0, count - 1);
    } catch (const std::bad_alloc&) {
        result.SetFailure(Step::Read, std::make_error_code(std::errc::not_enough_memory));
        return prepared;
    }
    const std::int64_t got =
        ReadFully(ops, fd, payload.data(), static_cast<std::size_t>(count), kHeaderBytes);
    if (got < 0) {
        // A range another program has locked (Windows) is in use, not unreadable.
        result.SetFailure(Step::Read,
                          errno == EBUSY ? make_error_code(TextureErrc::InUse) : LastError());
        return prepared;
    }
    if (got != count) {
        result.SetFailure(Step::Read, make_error_code(TextureErrc::FileChanged));
        return prepared;
    }
    if (restore) {
        RestorePayload(prepared, head, storedSize, std::move(payload));
        return prepared;
    }

    CompressionReport report;
    try {
        report = compress(payload);
    } catch (const OverflowError&) {
        result.SetFailure(Step::Compress, make_error_code(TextureErrc::PayloadTooLarge));
        return prepared;
    } catch (const std::bad_alloc&) {
        result.SetFailure(Step::Compress, std::make_error_code(std::errc::not_enough_memory));
        return prepared;
    }
    result.zlibStatus = report.status;
    // Marking the file compressed while it still holds the raw payload would corrupt it, so
    // a compressor that produced nothing leaves the file alone.
    if (report.status != 0 || report.compressedSize <= 0) {
        result.outcome = Outcome::NothingCompressed;
        return prepared;
    }
    if (payload.count() != report.compressedSize || report.originalSize != count) {
        result.SetFailure(Step::Compress, std::make_error_code(std::errc::invalid_argument));
        return prepared;
    }

    prepared.head = CompressedHead(std::span(head).first<8>(), report.originalSize);
    prepared.stream = std::move(payload);
    result.compressedSize = report.compressedSize;
    // Both sizes are non-negative 32-bit values, so the difference can't overflow.
    result.bytesSaved = report.originalSize - report.compressedSize;
    result.outcome = Outcome::Compressed;
    return prepared;
}

PendingReplacement StageTexture(PreparedTexture& prepared, StageSync sync) {
    if (!prepared.result.rewritten())
        return {};
    std::error_code error;
    PendingReplacement staged = PendingReplacement::Create(prepared.target, error);
    if (error) {
        prepared.result.SetFailure(Step::CreateTemp, error);
        return {};
    }
    if ((error = staged.write(prepared.head)) || (error = staged.write(prepared.stream.bytes())))
        return StageFailed(prepared, staged, Step::Write, error);
    // Only now, with the data in place, does the file get the original's owner and access;
    // the same sync then makes content and attributes durable together.
    if (const MetadataFailure failure =
            staged.copyAttributes(prepared.original, prepared.source.get()))
        return StageFailed(prepared, staged, MetadataStep(failure.part), failure.error);
    // Where the original must be closed for the rename, nothing more is read from it and no
    // lease keeps it open: closed now, it keeps nobody else out (another run replacing it, a
    // program asking for it unshared) while this file waits for its rename. The identity check
    // before the rename still guards the replace.
    if (SystemCapabilities().closesOriginalBeforeRename)
        prepared.source.reset();
    if (sync == StageSync::Now && (error = staged.sync()))
        return StageFailed(prepared, staged, Step::Sync, error);
    return staged;
}

bool CommitTexture(PreparedTexture& prepared, PendingReplacement& staged, bool syncFolder) {
    if (prepared.result.failed()) {
        prepared.source.reset();
        return false;
    }
    std::error_code error;
    // A system that refuses to replace a file that is open, even by this process, gets it
    // closed (StageTexture closed it already; this is for a staged file handed in otherwise).
    // There is no lease to keep it open for there, and the identity check in commit() guards
    // the replace.
    if (SystemCapabilities().closesOriginalBeforeRename)
        prepared.source.reset();
    if (prepared.leased && CurrentFileOps().leaseHeld(prepared.source.get()) != 1)
        error = make_error_code(TextureErrc::InUse);
    else
        error = staged.commit(prepared.original);
    if (error) {
        DiscardStaged(staged, prepared.result);
        if (error == TextureErrc::FileChanged && CompressedMeanwhile(prepared.target))
            error = make_error_code(TextureErrc::CompressedMeanwhile);
        prepared.source.reset();
        prepared.result.SetFailure(Step::Replace, error);
        return false;
    }
    prepared.source.reset();
    if (syncFolder) {
        if ((error = SyncFolder(*prepared.target.folder))) {
            prepared.result.SetFailure(Step::SyncFolder, error);
            return false;
        }
    }
    return true;
}

void DiscardStaged(PendingReplacement& staged, TextureResult& result) {
    if (!staged)
        return;
    const std::filesystem::path name = staged.temporaryName();
    if (const std::error_code error = staged.discard()) {
        result.leftover = result.path.parent_path() / name;
        result.leftoverError = error;
    }
}

TextureResult CompressTextureFile(Brevora& compressor, const std::filesystem::path& path) {
    std::error_code error;
    const FileInFolder file = ResolveNamedFile(path, error);
    if (error) {
        TextureResult result;
        result.path = path;
        result.SetFailure(Step::Open, error);
        return result;
    }
    return CompressTextureFile(compressor, file);
}

TextureResult CompressTextureFile(Brevora& compressor, const FileInFolder& file) {
    PreparedTexture prepared = PrepareTexture(file, BrevoraCompressor(compressor));
    if (prepared.result.outcome != Outcome::Compressed)
        return std::move(prepared.result);
    PendingReplacement staged = StageTexture(prepared);
    if (staged)
        CommitTexture(prepared, staged);
    return std::move(prepared.result);
}

} // namespace quorvel
