#include "SafeReplace.h"

#include "FileMetadata.h"
#include "InterruptCleanup.h"
#include "System.h"
#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <utility>

namespace quorvel {
namespace {

using NativeString = std::filesystem::path::string_type;

constexpr int kCreateAttempts = 100;
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_EXCL;
// Longest file name most file systems take, less room for the added dot and suffix.
constexpr std::size_t kMaxNameChars = 255;

std::error_code SystemError(int code) {
    return ErrorFromErrno(code);
}

NativeString RandomSuffix() {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    NativeString suffix;
    for (int i = 0; i < 6; ++i)
        suffix.push_back(static_cast<NativeString::value_type>(kChars[pick(generator)]));
    return suffix;
}

constexpr char kMarker[] = ".quorvel-tmp-";
constexpr std::size_t kMarkerChars = sizeof kMarker - 1;
constexpr std::size_t kSuffixChars = 6;

// ".<name>.quorvel-tmp-XXXXXX": hidden, never ending in a texture extension, and recognisably
// ours should it ever survive a crash.
std::filesystem::path TemporaryName(const std::filesystem::path& target) {
    const std::filesystem::path marker(kMarker);
    NativeString name = target.native();
    const std::size_t room = kMaxNameChars - 1 - marker.native().size() - kSuffixChars;
    name.resize(std::min(name.size(), room));
    return NativeString(1, '.') + name + marker.native() + RandomSuffix();
}

bool IsSuffixChar(std::filesystem::path::value_type c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

PendingReplacement::~PendingReplacement() {
    discard();
}

PendingReplacement::PendingReplacement(PendingReplacement&& other) noexcept
    : m_target(std::move(other.m_target)), m_tempName(std::move(other.m_tempName)),
      m_fd(std::exchange(other.m_fd, -1)), m_slot(std::exchange(other.m_slot, -1)),
      m_held(std::exchange(other.m_held, false)) {}

PendingReplacement& PendingReplacement::operator=(PendingReplacement&& other) noexcept {
    if (this != &other) {
        discard();
        m_target = std::move(other.m_target);
        m_tempName = std::move(other.m_tempName);
        m_fd = std::exchange(other.m_fd, -1);
        m_slot = std::exchange(other.m_slot, -1);
        m_held = std::exchange(other.m_held, false);
    }
    return *this;
}

PendingReplacement PendingReplacement::Create(const FileInFolder& target, std::error_code& error) {
    const FileOps& ops = CurrentFileOps();
    error.clear();
    if (!target.folder) {
        error = SystemError(EBADF);
        return {};
    }
    const FolderHandle folder = target.folder->handle();
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        std::filesystem::path tempName = TemporaryName(target.name);
        // Registered before it exists, so an interrupt right after creation still removes it.
        const int slot = RegisterTemporaryFile(folder, tempName);
        if (slot < 0) {
            error = SystemError(EMFILE);
            return {};
        }
        const int fd =
            ops.openAt(folder, tempName, kCreateFlags | SystemCapabilities().openNoFollow, 0600);
        if (fd >= 0) {
            PendingReplacement pending;
            pending.m_target = target;
            pending.m_tempName = std::move(tempName);
            pending.m_fd = fd;
            pending.m_slot = slot;
            pending.m_held = true;
            return pending;
        }
        const int code = errno;
        UnregisterTemporaryFile(slot);
        if (code != EEXIST) {
            error = SystemError(code);
            return {};
        }
    }
    error = SystemError(EEXIST);
    return {};
}

std::error_code PendingReplacement::write(std::span<const std::uint8_t> bytes) {
    if (m_fd < 0)
        return SystemError(EBADF);
    const FileOps& ops = CurrentFileOps();
    constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
    while (!bytes.empty()) {
        const std::int64_t written =
            ops.write(m_fd, bytes.data(), std::min(bytes.size(), kMaxChunk));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return LastError();
        }
        // A write that makes no progress would loop for ever; nothing better explains it.
        if (written == 0)
            return SystemError(EIO);
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

MetadataFailure PendingReplacement::copyAttributes(const FileIdentity& original, int source) {
    if (m_fd < 0)
        return {MetadataPart::Owner, SystemError(EBADF)};
    return CopyFileMetadata(CurrentFileOps(), original, source, m_fd);
}

void PendingReplacement::startWriteBack() noexcept {
    if (m_fd >= 0)
        CurrentFileOps().startWriteBack(m_fd);
}

std::error_code PendingReplacement::sync() {
    if (m_fd < 0)
        return SystemError(EBADF);
    const FileOps& ops = CurrentFileOps();
    if (ops.fsync(m_fd) != 0)
        return LastError();
    // Where the commit or discard acts through the handle, it stays open until then.
    if (SystemCapabilities().renamesThroughHandle)
        return {};
    const int fd = std::exchange(m_fd, -1);
    if (ops.close(fd) != 0)
        return LastError();
    return {};
}

std::error_code PendingReplacement::commit(const FileIdentity& original) {
    if (!m_held)
        return SystemError(EBADF);
    const FileOps& ops = CurrentFileOps();
    // Renamed by name, relative to the folder's handle, once closed; or through the handle.
    const bool throughHandle = SystemCapabilities().renamesThroughHandle;
    if (!throughHandle && m_fd >= 0 && ops.close(std::exchange(m_fd, -1)) != 0)
        return LastError();

    const FolderHandle folder = m_target.folder->handle();
    // A program holding the original open briefly (an indexer, a virus scanner) makes Windows
    // refuse the replace; it is tried again for a while, the identity checked each time anew,
    // as that program may have written the file meanwhile.
    for (int attempt = 1;; ++attempt) {
        FileIdentity now;
        if (ops.statAt(folder, m_target.name, false, now) != 0)
            return errno == ENOENT ? make_error_code(TextureErrc::FileChanged) : LastError();
        if (now != original)
            return make_error_code(TextureErrc::FileChanged);
        if (ops.renameAt(folder, m_tempName, m_target.name, m_fd) == 0)
            break;
        if (errno != EBUSY)
            return LastError();
        if (!ops.waitWhileInUse(attempt))
            return make_error_code(TextureErrc::InUse);
    }
    UnregisterTemporaryFile(std::exchange(m_slot, -1));
    m_held = false;
    // The file is the target now and ours no more; the rename is done whatever closing says.
    if (m_fd >= 0)
        ops.close(std::exchange(m_fd, -1));
    return {};
}

std::error_code PendingReplacement::discard() noexcept {
    if (!m_held)
        return {};
    const FileOps& ops = CurrentFileOps();
    std::error_code error;
    if (SystemCapabilities().renamesThroughHandle && m_fd >= 0) {
        // Marked for deletion through our handle, it goes when that is closed.
        if (ops.unlinkAt(m_target.folder->handle(), m_tempName, m_fd) != 0)
            error = LastError();
        ops.close(std::exchange(m_fd, -1));
    } else {
        if (m_fd >= 0)
            ops.close(std::exchange(m_fd, -1));
        // Gone already (removed by someone else) is as good as removed.
        if (ops.unlinkAt(m_target.folder->handle(), m_tempName, -1) != 0 && errno != ENOENT)
            error = LastError();
    }
    UnregisterTemporaryFile(std::exchange(m_slot, -1));
    m_held = false;
    return error;
}

std::error_code SyncFolder(const OpenFolder& folder) {
    if (!SystemCapabilities().syncsFolders)
        return {};
    // Some file systems can't sync a folder and say so with EINVAL; their renames are as
    // durable as they get.
    if (SyncFolderHandle(folder.handle()) != 0 && errno != EINVAL)
        return LastError();
    return {};
}

std::error_code SyncFileSystem(const OpenFolder& folder) {
    if (!SystemCapabilities().syncsFileSystems)
        return std::make_error_code(std::errc::function_not_supported);
    if (SyncFileSystemOf(folder.handle()) != 0)
        return LastError();
    return {};
}

bool IsTemporaryFileName(const std::filesystem::path& name) {
    const auto& text = name.native();
    const std::filesystem::path marker(kMarker);
    const auto& mark = marker.native();
    // "." + at least one character + marker + suffix
    if (text.size() < 2 + kMarkerChars + kSuffixChars || text[0] != '.')
        return false;
    const std::size_t markAt = text.size() - kSuffixChars - kMarkerChars;
    if (text.compare(markAt, kMarkerChars, mark) != 0)
        return false;
    return std::all_of(text.end() - static_cast<std::ptrdiff_t>(kSuffixChars), text.end(),
                       IsSuffixChar);
}

} // namespace quorvel
