#include "TextureFile.h"

#include "Brevora.h"
#include "FileOps.h"

#include <utility>

namespace quorvel {

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

} // namespace quorvel
