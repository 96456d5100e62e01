#pragma once
// Replacing a file without ever leaving it missing or half-written. The new content goes to a
// temporary file in the same folder (a dot-name ending in ".quorvel-tmp-XXXXXX", so no folder
// walk takes it for a texture file), created through the open folder's handle, readable and
// writable by the owner only. It is written with every byte checked, and only then given the
// original's owner, group, extended attributes (the POSIX ACL among them) and permission bits,
// flushed to disk, and renamed over the original after checking that the name still holds the
// very file that was read. Every step goes through the folder handle (OpenFolder.h), so a
// folder or file swapped for a link meanwhile can't lead a step outside the folder. Until the
// rename the original is untouched; on any failure, on destruction without commit and on an
// interrupt (InterruptCleanup.h) the temporary file is removed.
//
// A batch can write and sync many replacements, rename them, and then sync each folder once
// with SyncFolder() instead of once per file.
//
// Thread safety: one PendingReplacement is used from one thread at a time; any number of them
// may be in flight at once in different threads.

#include "FileMetadata.h"
#include "FileOps.h"
#include "OpenFolder.h"

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

    // Creates an empty temporary file for replacing `target`, in the target's open folder,
    // readable and writable by the owner only. On failure sets `error` (platform code; EMFILE
    // when kMaxTemporaryFiles are in flight) and returns an empty object.
    static PendingReplacement Create(const FileInFolder& target, std::error_code& error);

    // True while a temporary file is held (created, neither committed nor discarded).
    explicit operator bool() const noexcept { return m_held; }
    // The temporary file's name in the target's folder.
    const std::filesystem::path& temporaryName() const noexcept { return m_tempName; }
    const SharedFolder& folder() const noexcept { return m_target.folder; }

    // Appends all of `bytes`, retrying short and interrupted writes.
    std::error_code write(std::span<const std::uint8_t> bytes);

    // Gives the written temporary file the original's owner, group, extended attributes (read
    // from `source`, a descriptor of the original; the POSIX ACL travels as one) and permission
    // bits, in that order, so access never widens, each only where it differs from what the
    // file already has (CopyOwnerGroupAttributesAndMode, FileMetadata.h: an owner that can't be
    // given, or an attribute that can't be set, fails it; a group that can't be kept clears
    // the group bits; bits the file system can't set are accepted where they widen nothing).
    // On Windows: the original's security descriptor and then its file attributes and creation
    // time (FileOps::copySecurity, copyFileAttributes). Says which piece failed.
    MetadataFailure copyAttributes(const FileIdentity& original, int source);

    // Starts writing the content to disk without waiting (FileOps::startWriteBack), so that
    // sync() or a sync of the whole file system later waits less. Makes nothing durable; where
    // the system can't, nothing happens.
    void startWriteBack() noexcept;

    // Flushes the content to disk; no write may follow. POSIX closes the file here; Windows keeps
    // its handle open, as the rename (or removal) is made through it.
    std::error_code sync();

    // Renames the temporary file over the target, after checking (without following a link)
    // that the target's name in its folder still holds the file described by `original`
    // (TextureErrc::FileChanged otherwise). A rename refused because another program holds the
    // target open (EBUSY, Windows) is retried while FileOps::waitWhileInUse allows, the identity
    // checked again before each try, then fails with TextureErrc::InUse. Does not sync the folder.
    // On success the object is empty; on failure the temporary file stays held, so the caller may
    // discard it or let the destructor remove it.
    std::error_code commit(const FileIdentity& original);

    // Removes the temporary file now. The object is empty afterwards, also when the removal
    // failed: the file then stays where it is, and the system's reason is returned.
    std::error_code discard() noexcept;

private:
    FileInFolder m_target;
    std::filesystem::path m_tempName;
    int m_fd = -1;   // closed once synced (POSIX) or once renamed or removed (Windows)
    int m_slot = -1; // entry in the interrupt cleanup table
    bool m_held = false;
};

// Flushes a folder's entries to disk, making renames in it durable. A no-op on Windows, which
// flushes a folder only through a handle open for writing it; the file system's journal keeps
// the rename there, and the file's content was flushed before it.
std::error_code SyncFolder(const OpenFolder& folder);

// Flushes the whole file system holding `folder` (syncfs(2)): every file written there so far,
// unsynced temporary files included, is on disk when it succeeds. Fails with
// function_not_supported where the system has no such call; callers then sync file by file.
std::error_code SyncFileSystem(const OpenFolder& folder);

// Whether `name` has the exact form of our temporary files: "." + a name +
// ".quorvel-tmp-" + six letters or digits.
bool IsTemporaryFileName(const std::filesystem::path& name);

} // namespace quorvel
