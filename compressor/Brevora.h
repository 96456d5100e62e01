#pragma once
// Brevora: the compression component. A self-contained wrapper around zlib's one-shot
// compress() and uncompress() that works in place on a caller's byte array and remembers the
// two sizes of its last operation.
//
// Failures: zlib's outcome comes back only as the returned status (0 = Z_OK, otherwise zlib's
// code unchanged: Z_DATA_ERROR -3, Z_MEM_ERROR -4, Z_BUF_ERROR -5) and through the two sizes.
// Arguments outside the contract throw OverflowError or SubscriptOutOfRange (BrevoraErrors.h)
// before zlib is called; memory exhaustion throws std::bad_alloc.
//
// Thread safety: an instance is used from one thread at a time; separate instances are
// independent.

#include "ByteArray.h"

#include <cstdint>

namespace quorvel {

// Capacity of the compression output buffer for n input bytes: n * 0.01 + n + 12.0 in IEEE
// double arithmetic, rounded to the nearest integer with ties to even. Throws OverflowError
// when the result doesn't fit a signed 32-bit integer.
std::int32_t CompressionCapacity(std::int32_t n);

class Brevora {
public:
    Brevora();

    // Compresses the elements of TheData. On status 0 TheData holds the compressed stream at
    // indices 0 .. CompressedSize() - 1; an array of fewer than two elements is left alone and
    // returns 0 with both sizes 0. On a zlib failure TheData is unchanged, OriginalSize() is the
    // element count and CompressedSize() is 0.
    std::int32_t CompressData(ByteArray& TheData);

    // Inflates TheData (read from index 0) into at most OrigSize + 1 bytes. On status 0 TheData
    // holds the result at indices 0 .. OriginalSize() - 1 (no storage when it is empty). On a
    // zlib failure TheData is unchanged and both sizes are 0. Throws SubscriptOutOfRange for a
    // negative OrigSize or an array without an element at index 0, OverflowError when
    // OrigSize + 1 overflows.
    std::int32_t DecompressData(ByteArray& TheData, std::int32_t OrigSize);

    // Sizes of the compressed and uncompressed side of the last operation.
    std::int32_t CompressedSize() const { return m_compressedSize; }
    std::int32_t OriginalSize() const { return m_originalSize; }

private:
    // Bounds of the array; (0, 0) when it has no storage.
    static void GetArrayBounds(const ByteArray& TheData, std::int32_t& lowerBound,
                               std::int32_t& upperBound);

    std::int32_t m_compressedSize = 0;
    std::int32_t m_originalSize = 0;
};

} // namespace quorvel
