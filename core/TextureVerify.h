#pragma once
// Read-only integrity check of a compressed texture file, for `quorvel-cli --verify`.
//
// A compressed texture is header bytes 0..6, the marker (byte 7, above 0x40), the uncompressed
// payload size as a signed 32-bit little-endian number, "@@@@", and one zlib stream holding
// exactly that many bytes, which ends the file. The check streams the file through zlib's
// inflate in fixed-size pieces, so a damaged size field can't make it allocate gigabytes, and
// it never writes anything.
//
// Thread safety: any number of checks may run at once.

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace quorvel {

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
    ReadError,     // the file couldn't be opened or read; see error
};

struct VerifyResult {
    VerifyProblem problem = VerifyProblem::None;
    std::int32_t storedSize = 0;   // from bytes 8..11 (when the file has them)
    std::int64_t inflatedSize = 0; // bytes the stream gave before the check stopped
    std::int64_t fileSize = 0;
    std::error_code error; // ReadError only: the system's reason

    // Sound compressed texture.
    bool good() const noexcept { return problem == VerifyProblem::None; }
};

// Checks the file at `path` as described above. Never throws except std::bad_alloc.
VerifyResult VerifyTextureFile(const std::filesystem::path& path);

// A short phrase for a problem: "the zlib stream is cut short", ...
const char* DescribeProblem(VerifyProblem problem);

} // namespace quorvel
