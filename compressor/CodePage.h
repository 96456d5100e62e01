#pragma once
// The single-byte code page through which the compression component's string operations meet
// zlib, and through which system message bytes become text. One character (UTF-16 code unit)
// becomes one byte and one byte becomes one character, so a compressed string holds exactly one
// character per byte of the zlib stream, code 0 included.
//
// On Windows this is the system's ANSI code page, converted by the system itself; a character the
// page lacks becomes whatever the system substitutes. Elsewhere it is Windows-1252 with the five
// unassigned bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D standing for the C1 controls of the same value,
// so that all 256 byte values map to distinct characters and back; any other character becomes
// '?' (0x3F). Both functions are thread-safe.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The single-byte form of `text`: one byte per character on any single-byte code page.
std::vector<std::uint8_t> ToSingleByte(std::u16string_view text);

// The text of `bytes`: one character per byte on any single-byte code page, bytes of value 0
// included.
std::u16string FromSingleByte(std::span<const std::uint8_t> bytes);

} // namespace quorvel
