#pragma once
// Brevora: the compression component. A self-contained wrapper around zlib's one-shot
// compress() and uncompress() that works in place on a caller's byte array or string and
// remembers the two sizes of its last operation. Strings meet zlib through the single-byte code
// page (CodePage.h): one byte per character, so a compressed string holds one character per
// byte of the zlib stream. It also turns system error codes into message text and shows an
// about box through the process's MessageBoxPresenter.
//
// Failures: zlib's outcome comes back only as the returned status (0 = Z_OK, otherwise zlib's
// code unchanged: Z_DATA_ERROR -3, Z_MEM_ERROR -4, Z_BUF_ERROR -5) and through the two sizes.
// Arguments outside the contract throw OverflowError or SubscriptOutOfRange (BrevoraErrors.h)
// before zlib is called; memory exhaustion throws std::bad_alloc.
//
// Sizes: every byte-array and string operation overwrites both at its start, so they describe
// the last such operation only, one that did nothing included. WinAPIError and About leave them
// alone.
//
// Thread safety: an instance is used from one thread at a time; separate instances are
// independent.

#include "ByteArray.h"

#include <cstdint>
#include <string>

namespace quorvel {

// Capacity of the compression output buffer for n input bytes: n * 0.01 + n + 12.0 in IEEE
// double arithmetic, rounded to the nearest integer with ties to even. Throws OverflowError
// when the result doesn't fit a signed 32-bit integer.
std::int32_t CompressionCapacity(std::int32_t n);

class Brevora {
public:
    Brevora();

    // The system's message text for an error code, exactly as the system words it, line break
    // included; the empty string for a code without a text or a text of 256 bytes or more. On
    // Windows the code is a system error code (FormatMessageA); elsewhere it is an errno value
    // and the text is the C library's. Never fails.
    std::u16string WinAPIError(std::int32_t lLastDLLError) const;

    // Shows the component's about box (modal, information icon, one OK button) through the
    // installed MessageBoxPresenter and returns 0 once it is closed.
    std::int16_t About() const;

    // Compresses the elements of TheData. On status 0 TheData holds the compressed stream at
    // indices 0 .. CompressedSize() - 1; an array of fewer than two elements is left alone and
    // returns 0 with both sizes 0. On a zlib failure TheData is unchanged, OriginalSize() is the
    // element count and CompressedSize() is 0.
    std::int32_t CompressData(ByteArray& TheData);

    // Compresses the single-byte form of TheString, of any length (the empty string gives the
    // 8-character stream of empty data). On status 0 TheString holds one character per byte of
    // the zlib stream, OriginalSize() is the length on entry and CompressedSize() the stream's.
    // On a zlib failure both sizes are 0 and TheString holds its entry value as it came back
    // through the code page. Throws OverflowError when the length or the capacity overflows a
    // 32-bit size, leaving OriginalSize() at the length.
    std::int32_t CompressString(std::u16string& TheString);

    // Inflates TheData (read from index 0) into at most OrigSize + 1 bytes. On status 0 TheData
    // holds the result at indices 0 .. OriginalSize() - 1 (no storage when it is empty). On a
    // zlib failure TheData is unchanged and both sizes are 0. Throws SubscriptOutOfRange for a
    // negative OrigSize or an array without an element at index 0, OverflowError when
    // OrigSize + 1 overflows; CompressedSize() then reads the element count.
    std::int32_t DecompressData(ByteArray& TheData, std::int32_t OrigSize);

    // Inflates TheString, read one byte per character, into at most OrigSize + 1 characters
    // (OrigSize -1 allows none). On status 0 TheString holds the text and OriginalSize() its
    // length. On a zlib failure both sizes are 0 and TheString holds its entry value as it came
    // back through the code page. Throws SubscriptOutOfRange for OrigSize below -1,
    // OverflowError for OrigSize INT32_MAX or a string longer than a 32-bit size;
    // CompressedSize() then reads the length.
    std::int32_t DecompressString(std::u16string& TheString, std::int32_t OrigSize);

    // Sizes of the compressed and uncompressed side of the last operation, in bytes for byte
    // arrays and in characters for strings.
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
