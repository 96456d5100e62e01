#pragma once
// PayloadEngine: the zlib encoder a batch worker compresses payloads with.
//
// `zlib` goes through the Brevora component, so the stream is exactly what zlib's compress()
// gives at its default level: the bytes the window program writes. `libdeflate` encodes with
// libdeflate_zlib_compress at level 6: a standard zlib stream (header, deflate data, Adler-32)
// that any zlib reader inflates to the same payload, made faster and of about the same size. Both
// follow the component's contract for the texture routine: a payload of fewer than two bytes
// is left alone and reported with both sizes 0.
//
// Thread safety: one engine per worker thread; an engine is not shared.

#include "Brevora.h"
#include "TextureFile.h"

#include <memory>
#include <optional>
#include <string_view>

struct libdeflate_compressor;

namespace quorvel {

enum class EngineKind { Zlib, Libdeflate };

// "zlib" or "libdeflate"; nullopt for any other name.
std::optional<EngineKind> ParseEngineName(std::string_view name);
const char* EngineName(EngineKind kind);

class PayloadEngine {
public:
    // Throws std::bad_alloc when libdeflate can't allocate its compressor.
    explicit PayloadEngine(EngineKind kind);
    // The zlib engine working through `borrowed` (the window program's own component), which
    // must outlive the engine and be used by no one else meanwhile.
    explicit PayloadEngine(Brevora& borrowed);
    ~PayloadEngine();
    PayloadEngine(const PayloadEngine&) = delete;
    PayloadEngine& operator=(const PayloadEngine&) = delete;

    // The compressor to hand to TextureRewrite::Transform. Refers to this engine, which must
    // outlive it.
    const PayloadCompressor& compressor() const { return m_compressor; }

private:
    CompressionReport CompressWithLibdeflate(ByteArray& payload);

    Brevora m_brevora;
    libdeflate_compressor* m_libdeflate = nullptr;
    PayloadCompressor m_compressor;
};

} // namespace quorvel
