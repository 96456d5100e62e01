#include "PayloadEngine.h"

#include "BrevoraErrors.h"

#include <libdeflate.h>
#include <limits>
#include <new>
#include <vector>
#include <zlib.h>

namespace quorvel {
namespace {

// libdeflate's default level; close to zlib's 6 in ratio, well ahead of it in speed.
constexpr int kLibdeflateLevel = 6;

} // namespace

std::optional<EngineKind> ParseEngineName(std::string_view name) {
    if (name == "zlib")
        return EngineKind::Zlib;
    if (name == "libdeflate")
        return EngineKind::Libdeflate;
    return std::nullopt;
}

const char* EngineName(EngineKind kind) {
    return kind == EngineKind::Zlib ? "zlib" : "libdeflate";
}

PayloadEngine::PayloadEngine(EngineKind kind) {
    if (kind == EngineKind::Zlib) {
        m_compressor = BrevoraCompressor(m_brevora);
        return;
    }
    m_libdeflate = libdeflate_alloc_compressor(kLibdeflateLevel);
    if (m_libdeflate == nullptr)
        throw std::bad_alloc();
    m_compressor = [this](ByteArray& payload) { return CompressWithLibdeflate(payload); };
}

PayloadEngine::PayloadEngine(Brevora& borrowed) : m_compressor(BrevoraCompressor(borrowed)) {}

PayloadEngine::~PayloadEngine() {
    if (m_libdeflate != nullptr)
        libdeflate_free_compressor(m_libdeflate);
}

CompressionReport PayloadEngine::CompressWithLibdeflate(ByteArray& payload) {
    CompressionReport report;
    if (payload.count() < 2)
        return report;
    const auto n = static_cast<std::size_t>(payload.count());
    report.originalSize = payload.count();
    const std::size_t bound = libdeflate_zlib_compress_bound(m_libdeflate, n);
    if (bound > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw OverflowError("compression buffer capacity overflows a 32-bit size");
    ByteBuffer buffer;
    buffer.resize(bound);
    const std::size_t written =
        libdeflate_zlib_compress(m_libdeflate, payload.data(), n, buffer.data(), buffer.size());
    if (written == 0) { // can't happen with a bound-sized buffer; reported as zlib would
        report.status = Z_BUF_ERROR;
        return report;
    }
    buffer.resize(written);
    report.compressedSize = static_cast<std::int32_t>(written);
    payload = ByteArray(std::move(buffer), 0);
    return report;
}

} // namespace quorvel
