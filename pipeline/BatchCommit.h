#pragma once
// BatchCommit: making a batch of staged files durable and renaming them into place, paying for
// the flushes once per batch rather than once per file.
//
//   1. Every file not yet on disk is made so before any of them is renamed: the small ones
//      (below kDeferredSyncLimit) together, by one syncfs() of each file system holding at least
//      kFilesForOneFlush of them; the bigger ones, whose data dominates, and the few small ones
//      elsewhere, by an fsync() each. Where the file system can't be synced as a whole, or the
//      sync fails, each file is fsync()ed on its own, which also tells which of them has the
//      problem; such a file fails and is left as it was.
//   2. The files are renamed over their originals, in order (TextureRewrite::Replace).
//   3. Each folder a file was renamed into is synced once; a failure marks every file renamed
//      into it.

#include "TextureRewrite.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

namespace quorvel {

// Staged files smaller than this (new bytes, head included) are made durable together; bigger
// ones keep their own fsync.
inline constexpr std::int64_t kDeferredSyncLimit = 1024 * 1024;
// Fewer small files than this on one file system are synced one by one: a syncfs() writes out
// everything else waiting on that file system too, which costs more than a few fsync() calls.
inline constexpr std::size_t kFilesForOneFlush = 4;

// Whether `rewrite`'s staged file is one of the small ones made durable together (1. above).
bool SyncsWithItsFileSystem(const TextureRewrite& rewrite, bool deferSmallSyncs);

// Commits every staged rewrite of `batch` as above; each rewrite's result says how it went.
// `deferSmallSyncs` false gives every file its own fsync. May throw std::bad_alloc; FailBatch
// then settles what was left undone.
void CommitBatch(std::span<TextureRewrite* const> batch, bool deferSmallSyncs);

// After CommitBatch left by an exception with `error`: a file still staged fails at Replace (its
// temporary file removed, the original untouched); one already renamed fails at SyncFolder, as
// its folder may not be on disk.
void FailBatch(std::span<TextureRewrite* const> batch, std::error_code error) noexcept;

} // namespace quorvel
