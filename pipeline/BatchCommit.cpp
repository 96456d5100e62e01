#include "BatchCommit.h"

#include "SafeReplace.h"

#include <map>
#include <set>
#include <utility>

namespace quorvel {

bool SyncsWithItsFileSystem(const TextureRewrite& rewrite, bool deferSmallSyncs) {
    return deferSmallSyncs && rewrite.stagedBytes() < kDeferredSyncLimit;
}

namespace {

bool NeedsSync(const TextureRewrite& rewrite) {
    return rewrite.staged() && !rewrite.synced();
}

void MakeDurable(std::span<TextureRewrite* const> batch, bool deferSmallSyncs) {
    // The small files of each file system, and one of its folders to reach it by.
    std::map<std::uint64_t, std::pair<std::size_t, const OpenFolder*>> smallFiles;
    for (const TextureRewrite* rewrite : batch) {
        if (NeedsSync(*rewrite) && SyncsWithItsFileSystem(*rewrite, deferSmallSyncs)) {
            auto& [count, folder] = smallFiles[rewrite->original().device];
            ++count;
            folder = rewrite->file().folder.get();
        }
    }
    // A file system holding enough of them is flushed once; the few elsewhere go one by one.
    std::set<std::uint64_t> flushed;
    for (const auto& [device, files] : smallFiles) {
        if (files.first >= kFilesForOneFlush && !SyncFileSystem(*files.second))
            flushed.insert(device);
    }
    for (TextureRewrite* rewrite : batch) {
        if (!NeedsSync(*rewrite))
            continue;
        if (SyncsWithItsFileSystem(*rewrite, deferSmallSyncs) &&
            flushed.count(rewrite->original().device) > 0)
            continue;
        rewrite->Sync();
    }
}

} // namespace

void CommitBatch(std::span<TextureRewrite* const> batch, bool deferSmallSyncs) {
    MakeDurable(batch, deferSmallSyncs);
    std::set<const OpenFolder*> folders;
    for (TextureRewrite* rewrite : batch) {
        if (rewrite->staged() && rewrite->Replace())
            folders.insert(rewrite->file().folder.get());
    }
    for (const OpenFolder* folder : folders) {
        const std::error_code error = SyncFolder(*folder);
        if (!error)
            continue;
        for (TextureRewrite* rewrite : batch) {
            if (!rewrite->result().failed() && rewrite->file().folder.get() == folder)
                rewrite->FolderSyncFailed(error);
        }
    }
}

void FailBatch(std::span<TextureRewrite* const> batch, std::error_code error) noexcept {
    for (TextureRewrite* rewrite : batch) {
        if (rewrite->staged())
            rewrite->Fail(Step::Replace, error);
        else if (!rewrite->result().failed())
            rewrite->FolderSyncFailed(error);
    }
}

} // namespace quorvel
