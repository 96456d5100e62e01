#include "BatchCommit.h"

#include "SafeReplace.h"

#include <map>
#include <set>

namespace quorvel {
namespace {

bool SyncsWithItsFileSystem(const TextureRewrite& rewrite, bool deferSmallSyncs) {
    return deferSmallSyncs && rewrite.stagedBytes() < kDeferredSyncLimit;
}

void MakeDurable(std::span<TextureRewrite* const> batch, bool deferSmallSyncs) {
    // One syncfs() per file system, asked the first time one of its files needs it.
    std::map<std::uint64_t, std::error_code> fileSystems;
    for (TextureRewrite* rewrite : batch) {
        if (!rewrite->staged() || rewrite->synced())
            continue;
        if (SyncsWithItsFileSystem(*rewrite, deferSmallSyncs)) {
            const std::uint64_t device = rewrite->original().device;
            auto it = fileSystems.find(device);
            if (it == fileSystems.end())
                it = fileSystems.emplace(device, SyncFileSystem(*rewrite->file().folder)).first;
            if (!it->second)
                continue;
        }
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
