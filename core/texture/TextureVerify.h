#pragma once
// Read-only integrity check of a compressed texture file, for `quorvel-cli --verify`.
//
// The file must have the compressed layout of TextureFormat.h. The check streams the file
// through zlib's inflate in fixed-size pieces, so a damaged size field can't make it allocate
// gigabytes, and it never writes anything.
//
// Thread safety: any number of checks may run at once.

#include "OpenFolder.h"
#include "TextureFormat.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace quorvel {

struct VerifyResult {
    VerifyProblem problem = VerifyProblem::None;
    std::int32_t storedSize = 0;   // from bytes 8..11 (when the file has them)
    std::int64_t inflatedSize = 0; // bytes the stream gave before the check stopped
    std::int64_t fileSize = 0;
    std::error_code error; // ReadError only: the system's reason

    // Sound compressed texture.
    bool good() const noexcept { return problem == VerifyProblem::None; }
};

// Checks the file at `path` (links followed) as described above. The file is opened without
// blocking, and anything but a regular file is refused at once. Never throws except
// std::bad_alloc.
VerifyResult VerifyTextureFile(const std::filesystem::path& path);

// The same for a file found in an open folder; a link there is not followed.
VerifyResult VerifyTextureFile(const FileInFolder& file);

} // namespace quorvel
