#pragma once
// Read-only integrity check of a compressed texture file, for `quorvel-cli --verify`.
//
// The file must have the compressed layout of TextureFormat.h; one marked compressed in another
// layout is reported as such and not checked, as restoring leaves it alone. The check streams the
// file through zlib's inflate in fixed-size pieces, so a damaged size field can't make it allocate
// gigabytes, and it never writes anything.
//
// Thread safety: any number of checks may run at once.

#include "OpenFolder.h"
#include "Outcome.h"
#include "TextureFormat.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace quorvel {

struct VerifyResult {
    // Verified, NotCompressed (not marked: nothing to check), OtherLayout (marked above 0x40 but
    // not 0x46: a layout this program doesn't write, not checked) or VerifyFailed.
    Outcome outcome = Outcome::Verified;
    // The damage found (NotMarked for NotCompressed); None for a file that couldn't be read.
    VerifyProblem problem = VerifyProblem::None;
    // A file that couldn't be read: where (Open, Read) and the system's reason.
    Step failedStep = Step::None;
    std::error_code error;
    std::int32_t storedSize = 0;   // from bytes 8..11 (when the file has them)
    std::int64_t inflatedSize = 0; // bytes the stream gave before the check stopped
    std::int64_t fileSize = 0;

    // Sound compressed texture.
    bool good() const noexcept { return outcome == Outcome::Verified; }
    // Marks the file unreadable at `step` for `reason`.
    void SetFailure(Step step, std::error_code reason) noexcept;
};

// Checks the file at `path` (links followed) as described above. The file is opened without
// blocking, and anything but a regular file is refused at once. Never throws except
// std::bad_alloc.
VerifyResult VerifyTextureFile(const std::filesystem::path& path);

// The same for a file found in an open folder; a link there is not followed.
VerifyResult VerifyTextureFile(const FileInFolder& file);

} // namespace quorvel
