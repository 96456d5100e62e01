// Fuzz target of restoring: the input is a whole file that should be a compressed texture, as
// `quorvel-cli -d` reads it.
//
// The head is checked, and a sound head's stream inflated into its stored size. What must hold:
// a restored payload has exactly the stored size and is what zlib's uncompress gives; the
// payload never takes more than the stored size + 1 bytes; a stored size off by one either way
// is a size mismatch, never a success; the restored head is never taken for a compressed one
// and, for this program's marker, compresses back to the very head it came from; and the
// restored payload, compressed again, restores to itself.

#include "FuzzCheck.h"
#include "TextureFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>
#include <zlib.h>

namespace {

using namespace quorvel;

// Stored sizes above this aren't inflated: a fuzz input of a few KiB can't inflate to so much
// (deflate expands at most about 1032 times), and the allocation would only hit libFuzzer's
// memory limit.
constexpr std::int32_t kMaxInMemory = 16 << 20;

// zlib's uncompress of `stream` into at most `capacity` bytes; empty, with `ok` false, when it
// fails or leaves input over.
ByteBuffer ZlibInflate(std::span<const std::uint8_t> stream, std::size_t capacity, bool& ok) {
    ByteBuffer out; // not zero-filled: up to 16 MiB for each input would slow the run down
    out.resize(std::max<std::size_t>(capacity, 1));
    uLongf outLen = static_cast<uLongf>(capacity);
    uLong inLen = static_cast<uLong>(stream.size());
    ok = uncompress2(out.data(), &outLen, stream.data(), &inLen) == Z_OK && inLen == stream.size();
    out.resize(ok ? outLen : 0);
    return out;
}

std::vector<std::uint8_t> ZlibCompress(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(data.size())));
    uLongf outLen = static_cast<uLongf>(out.size());
    FUZZ_CHECK(compress(out.data(), &outLen, data.data(), static_cast<uLong>(data.size())) == Z_OK);
    out.resize(outLen);
    return out;
}

// A stored size one away from the true one is always caught, and never costs more memory than
// that size + 1.
void CheckOffByOne(std::span<const std::uint8_t> stream, std::int32_t trueSize) {
    for (const std::int64_t wrong : {std::int64_t{trueSize} - 1, std::int64_t{trueSize} + 1}) {
        if (wrong < 0 || wrong > std::numeric_limits<std::int32_t>::max())
            continue;
        ByteBuffer payload;
        const auto size = static_cast<std::int32_t>(wrong);
        FUZZ_CHECK(InflatePayload(stream, size, payload) == VerifyProblem::SizeMismatch);
        FUZZ_CHECK(payload.size() <= static_cast<std::size_t>(size));
        FUZZ_CHECK(payload.capacity() <= static_cast<std::size_t>(size) + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    std::int32_t storedSize = -1;
    const VerifyProblem head =
        CheckCompressedHead(file.first(std::min(size, kTextureHeaderBytes)), storedSize);
    if (head != VerifyProblem::None) {
        FUZZ_CHECK(head != VerifyProblem::NotMarked || !IsMarkedCompressed(file));
        return 0;
    }
    FUZZ_CHECK(storedSize >= 0 && IsMarkedCompressed(file));
    if (storedSize > kMaxInMemory)
        return 0;

    const std::span<const std::uint8_t> stream = file.subspan(kTextureHeaderBytes);
    ByteBuffer payload;
    const VerifyProblem problem = InflatePayload(stream, storedSize, payload);
    FUZZ_CHECK(payload.capacity() <= static_cast<std::size_t>(storedSize) + 1);
    bool zlibOk = false;
    const ByteBuffer control = ZlibInflate(stream, static_cast<std::size_t>(storedSize), zlibOk);
    if (problem != VerifyProblem::None) {
        FUZZ_CHECK(payload.size() <= static_cast<std::size_t>(storedSize));
        FUZZ_CHECK(!zlibOk || control.size() != static_cast<std::size_t>(storedSize));
        return 0;
    }
    FUZZ_CHECK(payload.size() == static_cast<std::size_t>(storedSize));
    FUZZ_CHECK(zlibOk && payload == control);
    CheckOffByOne(stream, storedSize);

    // The restored head: bytes 0..6 kept, then nine filler bytes.
    const std::span<const std::uint8_t, kTextureHeaderBytes> compressedHead(file.data(),
                                                                            kTextureHeaderBytes);
    const TextureHead restored = RestoredHead(compressedHead);
    FUZZ_CHECK(std::equal(restored.begin(), restored.begin() + kMarkerIndex, file.begin()));
    FUZZ_CHECK(std::all_of(restored.begin() + kMarkerIndex, restored.end(),
                           [](std::uint8_t byte) { return byte == kFillerByte; }));
    std::int32_t ignored = 0;
    FUZZ_CHECK(CheckCompressedHead(restored, ignored) == VerifyProblem::NotMarked);
    if (HasRewriteMarker(file)) {
        const TextureHead again = CompressedHead(std::span(restored).first<8>(),
                                                 static_cast<std::int32_t>(payload.size()));
        FUZZ_CHECK(std::equal(again.begin(), again.end(), file.begin()));
    }

    // Compressed again, the payload restores to itself.
    const std::vector<std::uint8_t> recompressed = ZlibCompress(payload);
    ByteBuffer roundTrip;
    FUZZ_CHECK(InflatePayload(recompressed, storedSize, roundTrip) == VerifyProblem::None);
    FUZZ_CHECK(roundTrip == payload);
    return 0;
}
