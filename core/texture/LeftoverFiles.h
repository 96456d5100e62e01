#pragma once
// LeftoverFiles: temporary files a killed run left behind, found by a later walk and removed.
//
// A rewrite's temporary file (SafeReplace.h) never outlives its run unless the run was killed
// outright (SIGKILL, a power cut): the interrupt cleanup removes it on every other way out. So a
// walk that meets a file of that exact name form, unmodified for a quarter of an hour, removes it.

#include "OpenFolder.h"
#include "Outcome.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace quorvel {

// How long a temporary file's content must have gone unmodified before a later run takes it for
// a leftover of a killed one. A live run writes its temporary file in one go, then only sets
// its attributes, syncs and renames it within its batch, which takes seconds even for the
// largest payloads on slow disks; a quarter of an hour leaves a wide margin for another run
// still at work on it.
inline constexpr std::int64_t kLeftoverAgeSeconds = 15 * 60;

// Removes `name` from `folder` if it is one of our temporary files left behind by a killed
// run: the exact name form (IsTemporaryFileName, SafeReplace.h), a regular file (a link is never
// followed or removed), not modified for kLeftoverAgeSeconds. Returns LeftoverRemoved;
// LeftoverKept for one modified more recently; NotLeftover for anything else, or a file gone
// meanwhile; WalkFailed, with `error` set, for one that couldn't be looked at or removed.
Outcome RemoveLeftoverTemporaryFile(const OpenFolder& folder, const std::filesystem::path& name,
                                    std::error_code& error);

} // namespace quorvel
