#include "TextureRewrite.h"

#include "BrevoraErrors.h"
#include "ReadOnly.h"
#include "System.h"
#include "TextureError.h"

#include <algorithm>
#include <array>
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

TextureRewrite::TextureRewrite(FileInFolder file, TextureTransform transform)
    : m_file(std::move(file)) {
    m_result.path = m_file.shown;
    m_result.transform = transform;
}

TextureRewrite TextureRewrite::Unreachable(std::filesystem::path shown, TextureTransform transform,
                                           std::error_code error) {
    TextureRewrite rewrite(FileInFolder{nullptr, {}, std::move(shown)}, transform);
    rewrite.Fail(Step::Open, error);
    return rewrite;
}

bool TextureRewrite::FailedAt(Step step, std::error_code error) {
    Fail(step, error);
    return false;
}

void TextureRewrite::Fail(Step step, std::error_code error) noexcept {
    m_result.SetFailure(step, error);
    Discard();
    m_payload = ByteArray{};
    m_source.reset();
}

void TextureRewrite::Discard() noexcept {
    if (!m_pending)
        return;
    std::filesystem::path name;
    try {
        name = m_pending.temporaryName();
    } catch (...) { // out of memory for the name: the file is still removed, if it can be
    }
    if (const std::error_code error = m_pending.discard()) {
        try {
            m_result.leftover = m_result.path.parent_path() / name;
        } catch (...) {
            m_result.leftover = std::move(name);
        }
        m_result.leftoverError = error;
    }
}

bool TextureRewrite::LeftAlone(Outcome outcome) {
    m_result.outcome = outcome;
    m_source.reset();
    m_payload = ByteArray{};
    return false;
}

void TextureRewrite::Abandon() noexcept {
    Discard();
    m_payload = ByteArray{};
    m_source.reset();
}

std::int64_t TextureRewrite::newBytes() const noexcept {
    return m_result.rewritten() && !staged() && m_payload.count() > 0
               ? kHeaderBytes + m_payload.count()
               : 0;
}

bool TextureRewrite::Open() {
    if (!m_file.folder)
        return m_result.failed() ? false : FailedAt(Step::Open, ErrorFromErrno(EBADF));
    const FileOps& ops = CurrentFileOps();
    // Whatever the name turns out to be is refused below by what fstat() says of the descriptor;
    // opening a pipe without O_NONBLOCK would wait for a writer.
    int fd = -1;
    int code = 0;
    for (int attempt = 1;; ++attempt) {
        if ((fd = ops.openAt(m_file.folder->handle(), m_file.name, ReadFlags(), 0)) >= 0)
            break;
        code = errno;
        if (code != EBUSY || !ops.waitWhileInUse(attempt))
            break;
    }
    if (fd < 0) {
        // The name was a regular file when it was found (or resolved); a link now means it was
        // swapped meanwhile.
        errno = code;
        if (code == ELOOP)
            return FailedAt(Step::Open, make_error_code(TextureErrc::FileChanged));
        if (code == EBUSY)
            return FailedAt(Step::Open, make_error_code(TextureErrc::InUse));
        return FailedAt(Step::Open, LastError());
    }
    m_source = FileDescriptor(fd);
    if (ops.fstat(fd, m_original) != 0)
        return FailedAt(Step::Open, LastError());
    if (!m_original.isRegular())
        return FailedAt(Step::Open, make_error_code(TextureErrc::NotRegularFile));
    return true;
}

bool TextureRewrite::ReadHead() {
    // Bytes past the end of a short file stay 0. Compressing needs bytes 0..7 only, restoring
    // the whole compressed head.
    m_headBytes = ReadFully(CurrentFileOps(), m_source.get(), m_head.data(), m_head.size(), 0);
    if (m_headBytes < 0)
        return FailedAt(Step::Read, LastError());
    if (m_result.transform == TextureTransform::Compress)
        return IsMarkedCompressed(m_head) ? LeftAlone(Outcome::AlreadyCompressed) : true;
    if (!IsMarkedCompressed(m_head))
        return LeftAlone(Outcome::NotCompressed);
    if (!HasRewriteMarker(m_head))
        return LeftAlone(Outcome::OtherLayout);
    const VerifyProblem problem = CheckCompressedHead(
        std::span(m_head).first(static_cast<std::size_t>(m_headBytes)), m_storedSize);
    if (problem != VerifyProblem::None) {
        m_result.problem = problem;
        return FailedAt(Step::Decompress, make_error_code(TextureErrc::DamagedStream));
    }
    return true;
}

bool TextureRewrite::Check() {
    return CheckSize() && CheckAccess();
}

bool TextureRewrite::CheckSize() {
    const std::int64_t payloadBytes = m_original.size - kHeaderBytes;
    if (payloadBytes <= 0 && m_result.transform == TextureTransform::Restore) {
        // A sound head with no stream after it.
        m_result.problem = VerifyProblem::Truncated;
        return FailedAt(Step::Decompress, make_error_code(TextureErrc::DamagedStream));
    }
    if (payloadBytes <= 0)
        return FailedAt(Step::Check, make_error_code(TextureErrc::FileTooShort));
    if (payloadBytes > std::numeric_limits<std::int32_t>::max())
        return FailedAt(Step::Check, make_error_code(TextureErrc::PayloadTooLarge));
    return true;
}

bool TextureRewrite::CheckAccess() {
    const FileOps& ops = CurrentFileOps();
    // A rename needs only the folder's permission, so the file's own write permission is
    // checked here: a read-only file stays read-only, for root too.
    if (IsReadOnly(static_cast<std::filesystem::perms>(m_original.mode & 07777u)))
        return FailedAt(Step::Check, ErrorFromErrno(EACCES));
    if (ops.checkWritable(m_file.folder->handle(), m_file.name) != 0)
        return FailedAt(Step::Check, LastError());
    // The rewritten file would be a new inode, leaving the other names with the old content.
    if (m_original.links > 1)
        return FailedAt(Step::Check, make_error_code(TextureErrc::HardLinked));
    // The new file would be written plainly and replace the encrypted one: refused instead.
    if (m_original.encrypted)
        return FailedAt(Step::Check, make_error_code(TextureErrc::Encrypted));
    // Before the payload is read, so a writer that opens the file later is noticed. Where no
    // lease is to be had (not our file, no leases on this file system), the identity check
    // before the rename stands alone.
    if (ops.setLease(m_source.get(), true) == 0)
        m_leased = true;
    else if (errno == EAGAIN)
        return FailedAt(Step::Check, make_error_code(TextureErrc::InUse));
    return true;
}

bool TextureRewrite::ReadPayload() {
    const auto count = static_cast<std::int32_t>(m_original.size - kHeaderBytes);
    const bool restore = m_result.transform == TextureTransform::Restore;
    (restore ? m_result.compressedSize : m_result.originalSize) = count;
    try {
        m_payload = ByteArray::Uninitialized(0, count - 1);
    } catch (const std::bad_alloc&) {
        return FailedAt(Step::Read, std::make_error_code(std::errc::not_enough_memory));
    }
    const std::int64_t got = ReadFully(CurrentFileOps(), m_source.get(), m_payload.data(),
                                       static_cast<std::size_t>(count), kHeaderBytes);
    if (got < 0) {
        // A range another program has locked (Windows) is in use, not unreadable.
        return FailedAt(Step::Read,
                        errno == EBUSY ? make_error_code(TextureErrc::InUse) : LastError());
    }
    if (got != count)
        return FailedAt(Step::Read, make_error_code(TextureErrc::FileChanged));
    m_payloadBytes = count;
    return true;
}

bool TextureRewrite::Transform(const PayloadCompressor& compress) {
    return m_result.transform == TextureTransform::Restore ? Restore() : Compress(compress);
}

bool TextureRewrite::Compress(const PayloadCompressor& compress) {
    const std::int32_t count = m_payload.count();
    CompressionReport report;
    try {
        report = compress(m_payload);
    } catch (const OverflowError&) {
        return FailedAt(Step::Compress, make_error_code(TextureErrc::PayloadTooLarge));
    } catch (const std::bad_alloc&) {
        return FailedAt(Step::Compress, std::make_error_code(std::errc::not_enough_memory));
    }
    m_result.zlibStatus = report.status;
    // Marking the file compressed while it still holds the raw payload would corrupt it, so a
    // compressor that produced nothing leaves the file alone.
    if (report.status != 0 || report.compressedSize <= 0)
        return LeftAlone(Outcome::NothingCompressed);
    if (m_payload.count() != report.compressedSize || report.originalSize != count)
        return FailedAt(Step::Compress, std::make_error_code(std::errc::invalid_argument));
    m_head = CompressedHead(std::span(m_head).first<8>(), report.originalSize);
    m_result.compressedSize = report.compressedSize;
    // Both sizes are non-negative 32-bit values, so the difference can't overflow.
    m_result.bytesSaved = report.originalSize - report.compressedSize;
    m_result.outcome = Outcome::Compressed;
    return true;
}

bool TextureRewrite::Restore() {
    ByteBuffer restored;
    VerifyProblem problem = VerifyProblem::None;
    try {
        problem = InflatePayload(m_payload.bytes(), m_storedSize, restored);
    } catch (const std::bad_alloc&) {
        return FailedAt(Step::Decompress, std::make_error_code(std::errc::not_enough_memory));
    }
    if (problem != VerifyProblem::None) {
        m_result.problem = problem;
        return FailedAt(Step::Decompress, make_error_code(TextureErrc::DamagedStream));
    }
    m_head = RestoredHead(m_head);
    m_payload = ByteArray(std::move(restored));
    m_result.originalSize = m_storedSize;
    // Both sizes are non-negative 32-bit values, so the difference can't overflow.
    m_result.bytesSaved = m_result.compressedSize - m_storedSize;
    m_result.outcome = Outcome::Decompressed;
    return true;
}

bool TextureRewrite::Prepare(const PayloadCompressor& compress) {
    return Open() && ReadHead() && Check() && ReadPayload() && Transform(compress);
}

bool TextureRewrite::Stage(StageSync sync) {
    if (!m_result.rewritten() || staged())
        return false;
    std::error_code error;
    m_pending = PendingReplacement::Create(m_file, error);
    if (error)
        return FailedAt(Step::CreateTemp, error);
    if ((error = m_pending.write(m_head)) || (error = m_pending.write(m_payload.bytes())))
        return FailedAt(Step::Write, error);
    // The payload is on its way to disk; freed now (erase() would keep the capacity), a batch
    // of staged files holds no payload memory.
    m_stagedBytes = kHeaderBytes + m_payload.count();
    m_payload = ByteArray{};
    // Only now, with the data in place, does the file get the original's owner and access;
    // the same sync then makes content and attributes durable together.
    if (const MetadataFailure failure = m_pending.copyAttributes(m_original, m_source.get()))
        return FailedAt(MetadataStep(failure.part), failure.error);
    // Where the original must be closed for the rename, nothing more is read from it and no
    // lease keeps it open: closed now, it keeps nobody else out (another run replacing it, a
    // program asking for it unshared) while this file waits for its rename. The identity check
    // before the rename still guards the replace.
    if (SystemCapabilities().closesOriginalBeforeRename)
        m_source.reset();
    return sync == StageSync::Later || Sync();
}

void TextureRewrite::StartWriteBack() {
    m_pending.startWriteBack();
}

bool TextureRewrite::Sync() {
    if (m_synced)
        return true;
    if (const std::error_code error = m_pending.sync())
        return FailedAt(Step::Sync, error);
    m_synced = true;
    return true;
}

bool TextureRewrite::Replace() {
    if (m_result.failed() || !staged()) {
        m_source.reset();
        return false;
    }
    // A system that refuses to replace a file that is open, even by this process, gets it
    // closed; there is no lease to keep it open for there.
    if (SystemCapabilities().closesOriginalBeforeRename)
        m_source.reset();
    std::error_code error;
    if (m_leased && CurrentFileOps().leaseHeld(m_source.get()) != 1)
        error = make_error_code(TextureErrc::InUse);
    else
        error = m_pending.commit(m_original);
    m_source.reset();
    if (!error)
        return true;
    if (error == TextureErrc::FileChanged && CompressedMeanwhile(m_file))
        error = make_error_code(TextureErrc::CompressedMeanwhile);
    return FailedAt(Step::Replace, error);
}

bool TextureRewrite::SyncFolder() {
    if (const std::error_code error = quorvel::SyncFolder(*m_file.folder)) {
        FolderSyncFailed(error);
        return false;
    }
    return true;
}

void TextureRewrite::FolderSyncFailed(std::error_code error) noexcept {
    m_result.SetFailure(Step::SyncFolder, error);
}

bool TextureRewrite::Commit(bool syncFolder) {
    return Replace() && (!syncFolder || SyncFolder());
}

TextureResult RewriteTextureFile(const FileInFolder& file, const PayloadCompressor& compress,
                                 TextureTransform transform) {
    TextureRewrite rewrite(file, transform);
    if (rewrite.Prepare(compress) && rewrite.Stage(StageSync::Now))
        rewrite.Commit();
    return rewrite.result();
}

TextureResult CompressTextureFile(Brevora& compressor, const FileInFolder& file) {
    return RewriteTextureFile(file, BrevoraCompressor(compressor));
}

} // namespace quorvel
