#pragma once
// Texture files for the tests, and the bytes the rewrite must produce for them, computed with
// the linked zlib's compress() at test time.

#include "FileContents.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

namespace quorvel::test {

// Bytes 8..15 of every sample; they must never reach a rewritten file.
inline constexpr std::uint8_t kJunk = 0xEE;

// A texture with a recognisable header, the given marker at byte 7, eight junk bytes and
// `payload` from offset 16.
// Sized once and not inlined: GCC 12 warns falsely that the copies are out of bounds when the
// vector grows, and when a caller's empty payload is propagated into the body.
[[gnu::noinline]] inline Bytes MakeTexture(std::uint8_t marker, const Bytes& payload) {
    Bytes file(16 + payload.size(), kJunk);
    const std::uint8_t header[8] = {'T', 'X', 'R', 0x01, 0x00, 0x7F, 0xA5, marker};
    std::copy(std::begin(header), std::end(header), file.begin());
    std::copy(payload.begin(), payload.end(), file.begin() + 16);
    return file;
}

// What the rewrite of `input` must give: bytes 0..6 kept, marker 0x46, payload length as
// 32-bit little-endian, "@@@@", then compress() of the payload.
inline Bytes ExpectedRewrite(const Bytes& input) {
    const Bytes payload(input.begin() + 16, input.end());
    const auto n = static_cast<std::uint32_t>(payload.size());
    Bytes out(input.begin(), input.begin() + 7);
    out.push_back(0x46);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(n >> shift));
    out.insert(out.end(), 4, '@');
    const Bytes stream = ZlibCompress(payload);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

} // namespace quorvel::test
