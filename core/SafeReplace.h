#pragma once
// Replacing a file without ever leaving it missing or half-written. The new content goes to a
// temporary file in the same folder (a dot-name ending in ".quorvel-tmp-XXXXXX", so no folder
// walk takes it for a texture file), which is written with every byte checked, given the
// original's owner and permission bits, flushed to disk, and only then renamed over the
// original after checking that the original did not change meanwhile. Until the rename the
// original is untouched; on any failure, on destruction without commit and on an interrupt
// (InterruptCleanup.h) the temporary file is removed.
//
// A batch can write and sync many replacements, rename them, and then sync each folder once
// with SyncFolder() instead of once per file.
//
// Thread safety: one PendingReplacement is used from one thread at a time; any number of them
// may be in flight at once in different threads.

#include "FileOps.h"

#include <filesystem>
#include <span>
#include <system_error>

namespace quorvel {

class PendingReplacement {
public:
    // Holds nothing; every operation on it fails with EBADF.
    PendingReplacement() = default;
    // Removes the temporary file unless it was committed.
    ~PendingReplacement();
    PendingReplacement(PendingReplacement&& other) noexcept;
    PendingReplacement& operator=(PendingReplacement&& other) noexcept;
    PendingReplacement(const PendingReplacement&) = delete;
    PendingReplacement& operator=(const PendingReplacement&) = delete;

    // Creates an empty temporary file for replacing `target`, in the target's folder, readable
    // and writable by the owner only. On failure sets `error` (platform code; EMFILE when
    // kMaxTemporaryFiles are in flight) and returns an empty object.
    static PendingReplacement Create(const std::filesystem::path& target, std::error_code& error);

    // True while a temporary file is held (created, neither committed nor discarded).
    explicit operator bool() const noexcept { return m_held; }
    const std::filesystem::path& temporaryPath() const noexcept { return m_tempPath; }

    // Appends all of `bytes`, retrying short and interrupted writes.
    std::error_code write(std::span<const std::uint8_t> bytes);

    // Gives the temporary file the original's owner, group and permission bits. Not being
    // allowed to keep the owner (EPERM when not running as root) is no failure: the file then
    // belongs to the current user, without set-user-ID and set-group-ID bits.
    std::error_code copyAttributes(const FileIdentity& original);

    // Flushes the content to disk and closes the file; no write may follow.
    std::error_code sync();

    // Renames the temporary file over the target, after checking that the target is still the
    // file described by `original` (TextureErrc::FileChanged otherwise). Does not sync the
    // folder. On success the object is empty; on failure the temporary file stays held, so the
    // caller may discard it or let the destructor remove it.
    std::error_code commit(const FileIdentity& original);

    // Removes the temporary file now. The object is empty afterwards.
    void discard() noexcept;

private:
    std::filesystem::path m_target;
    std::filesystem::path m_tempPath;
    int m_fd = -1;   // closed once synced
    int m_slot = -1; // entry in the interrupt cleanup table
    bool m_held = false;
};

// Flushes a folder's entries to disk, making renames in it durable. A no-op on Windows, where
// the rename itself writes through.
std::error_code SyncFolder(const std::filesystem::path& folder);

// Flushes the whole file system holding `folder` (syncfs(2)): every file written there so far,
// unsynced temporary files included, is on disk when it succeeds. Fails with
// function_not_supported where the system has no such call; callers then sync file by file.
std::error_code SyncFileSystem(const std::filesystem::path& folder);

// The folder a file lies in: its parent path, or "." for a bare file name.
std::filesystem::path ContainingFolder(const std::filesystem::path& file);

} // namespace quorvel
