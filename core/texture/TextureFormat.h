#pragma once
// The texture file layout: the one place that knows where the marker, the size field and the
// separator are, and what a sound compressed file looks like.
//
// A texture file is an 8-byte header, eight more header bytes and a payload from offset 16.
// Header byte 7 is the compression marker: 0x40 or less means not compressed yet. A compressed
// file is
//
//     offset 0   header bytes 0..6 of the original
//     offset 7   the marker, above 0x40 (the rewrite writes 0x46)
//     offset 8   uncompressed payload length, signed 32-bit little-endian
//     offset 12  "@@@@"
//     offset 16  one zlib stream holding exactly that many bytes, which ends the file
//
// The rewrite builds the head with CompressedHead; the verifier reads it with CheckCompressedHead
// and checks the rest with PayloadStreamCheck.
//
// Restoring turns a file in the compressed layout this program writes (marker exactly 0x46) back
// into the uncompressed layout: bytes 0..6 as they are, then nine 0x40 bytes (the marker and the
// filler of bytes 8..15, since the original bytes 8..15 were never kept), then the inflated
// payload. Compressing a restored file therefore gives back the compressed file byte for byte.

#include "ByteBuffer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace quorvel {

inline constexpr std::size_t kTextureHeaderBytes = 16;
inline constexpr std::size_t kMarkerIndex = 7;
inline constexpr std::uint8_t kCompressedMarker = 0x46;
inline constexpr std::uint8_t kHighestUncompressedMarker = 0x40;
// Bytes 8..15 of a restored file, and the separator of a compressed one.
inline constexpr std::uint8_t kFillerByte = 0x40;

using TextureHead = std::array<std::uint8_t, kTextureHeaderBytes>;

// What the verifier finds wrong with a file that should be a compressed texture. A file that
// can't be read at all has no problem of this kind: it fails at a step (Outcome.h) with an error.
enum class VerifyProblem {
    None,
    NotMarked,     // marker at or below 0x40: an uncompressed texture, nothing to check
    TooShort,      // marked, but shorter than the 16-byte header
    BadSeparator,  // bytes 12..15 are not "@@@@"
    NegativeSize,  // the stored size is below zero
    CorruptStream, // not a zlib stream, or its data or checksum is wrong
    Truncated,     // the file ends inside the stream
    SizeMismatch,  // the stream inflates to more or fewer bytes than the stored size
    TrailingData,  // bytes follow the end of the stream
};

// True when the first bytes of a file (at least 8 of them, else false) carry the compressed
// marker.
bool IsMarkedCompressed(std::span<const std::uint8_t> head) noexcept;

// The first 16 bytes of the compressed form of a file whose first 8 bytes were `header` and
// whose payload is `payloadSize` bytes long.
TextureHead CompressedHead(std::span<const std::uint8_t, 8> header,
                           std::int32_t payloadSize) noexcept;

// The payload size a compressed head stores (bytes 8..11).
std::int32_t StoredPayloadSize(const TextureHead& head) noexcept;

// Checks the first bytes of a file (up to 16) as a compressed head: NotMarked, TooShort,
// BadSeparator, NegativeSize or None. `storedSize` gets the size field when the head has one.
VerifyProblem CheckCompressedHead(std::span<const std::uint8_t> head,
                                  std::int32_t& storedSize) noexcept;

// True when byte 7 of `head` (at least 8 bytes, else false) is the marker this program writes,
// 0x46. Files marked with any other value above 0x40 are in a layout it doesn't write.
bool HasRewriteMarker(std::span<const std::uint8_t> head) noexcept;

// The first 16 bytes of the uncompressed layout restored from a compressed head: bytes 0..6 of
// `compressedHead`, then the marker and bytes 8..15 all 0x40.
TextureHead
RestoredHead(std::span<const std::uint8_t, kTextureHeaderBytes> compressedHead) noexcept;

// Inflates `stream`, the bytes after a compressed head whose stored size is `storedSize`, into
// `payload`. Returns None with exactly `storedSize` bytes in `payload`, or the damage found, with
// the same classification as PayloadStreamCheck: CorruptStream, Truncated, SizeMismatch,
// TrailingData, or NegativeSize for a negative `storedSize`; both name the first fault met in the
// stream. Never allocates more than `storedSize` + 1 bytes for the payload, nor more than the
// stream could inflate to (deflate's densest ratio, 1032:1), so a short file claiming a huge
// size costs little: a stream that would inflate past the stored size is a SizeMismatch, found
// once that one extra byte is filled, whatever damage follows. Throws std::bad_alloc when the
// payload or zlib's state can't be allocated.
VerifyProblem InflatePayload(std::span<const std::uint8_t> stream, std::int32_t storedSize,
                             ByteBuffer& payload);

// Checks, piece by piece, that the bytes after the head are one zlib stream inflating to
// exactly `storedSize` bytes with nothing after it. Memory stays fixed whatever the size field
// says. Throws std::bad_alloc when zlib can't get its memory.
class PayloadStreamCheck {
public:
    explicit PayloadStreamCheck(std::int32_t storedSize);
    ~PayloadStreamCheck();
    PayloadStreamCheck(const PayloadStreamCheck&) = delete;
    PayloadStreamCheck& operator=(const PayloadStreamCheck&) = delete;

    // Feeds the next piece. Returns None while the stream may still be sound, else the problem
    // found (after which further pieces are ignored).
    VerifyProblem Feed(std::span<const std::uint8_t> piece);
    // After the last piece: None for a sound stream, else the problem.
    VerifyProblem Finish();
    // Bytes the stream gave so far.
    std::int64_t inflatedSize() const noexcept { return m_inflated; }

private:
    struct Inflater;
    std::unique_ptr<Inflater> m_inflater;
    std::int64_t m_expected;
    std::int64_t m_inflated = 0;
    bool m_ended = false;
    VerifyProblem m_problem = VerifyProblem::None;
};

} // namespace quorvel
