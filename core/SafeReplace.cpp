#include "SafeReplace.h"

#include "InterruptCleanup.h"
#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <utility>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quorvel {
namespace {

using NativeString = std::filesystem::path::string_type;

constexpr int kCreateAttempts = 100;
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

// ".<name>.quorvel-tmp-XXXXXX": hidden, never ending in a texture extension, and recognisably
// ours should it ever survive a crash.
std::filesystem::path TemporaryName(const std::filesystem::path& target) {
    const std::filesystem::path marker(".quorvel-tmp-");
    NativeString name = target.filename().native();
    const std::size_t room = kMaxNameChars - 1 - marker.native().size() - 6;
    name.resize(std::min(name.size(), room));
    return ContainingFolder(target) /
           (NativeString(1, '.') + name + marker.native() + RandomSuffix());
}

} // namespace

PendingReplacement::~PendingReplacement() {
    discard();
}

PendingReplacement::PendingReplacement(PendingReplacement&& other) noexcept
    : m_target(std::move(other.m_target)), m_tempPath(std::move(other.m_tempPath)),
      m_fd(std::exchange(other.m_fd, -1)), m_slot(std::exchange(other.m_slot, -1)),
      m_held(std::exchange(other.m_held, false)) {}

PendingReplacement& PendingReplacement::operator=(PendingReplacement&& other) noexcept {
    if (this != &other) {
        discard();
        m_target = std::move(other.m_target);
        m_tempPath = std::move(other.m_tempPath);
        m_fd = std::exchange(other.m_fd, -1);
        m_slot = std::exchange(other.m_slot, -1);
        m_held = std::exchange(other.m_held, false);
    }
    return *this;
}

PendingReplacement PendingReplacement::Create(const std::filesystem::path& target,
                                              std::error_code& error) {
    const FileOps& ops = CurrentFileOps();
    error.clear();
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        std::filesystem::path tempPath = TemporaryName(target);
        // Registered before it exists, so an interrupt right after creation still removes it.
        const int slot = RegisterTemporaryFile(tempPath);
        if (slot < 0) {
            error = SystemError(EMFILE);
            return {};
        }
        const int fd = ops.open(tempPath, O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            PendingReplacement pending;
            pending.m_target = target;
            pending.m_tempPath = std::move(tempPath);
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

std::error_code PendingReplacement::copyAttributes(const FileIdentity& original) {
    if (m_fd < 0)
        return SystemError(EBADF);
    const FileOps& ops = CurrentFileOps();
    [[maybe_unused]] bool keptOwner = true; // only read where owners exist
    if (ops.fchown(m_fd, original.owner, original.group) != 0) {
        const int code = errno;
#ifndef _WIN32
        // Only root may give a file away. Deleting and recreating the file would make it the
        // current user's as well, so this is accepted; keep at least the group where we are a
        // member of it.
        if (code != EPERM || geteuid() == 0)
            return SystemError(code);
        keptOwner = false;
        ops.fchown(m_fd, static_cast<std::uint32_t>(-1), original.group);
#else
        return SystemError(code);
#endif
    }
    unsigned mode = original.mode & 07777u;
#ifndef _WIN32
    if (!keptOwner)
        mode &= ~unsigned{S_ISUID | S_ISGID};
#endif
    if (ops.fchmod(m_fd, mode) != 0)
        return LastError();
    return {};
}

std::error_code PendingReplacement::sync() {
    if (m_fd < 0)
        return SystemError(EBADF);
    const FileOps& ops = CurrentFileOps();
    if (ops.fsync(m_fd) != 0)
        return LastError();
    const int fd = std::exchange(m_fd, -1);
    if (ops.close(fd) != 0)
        return LastError();
    return {};
}

std::error_code PendingReplacement::commit(const FileIdentity& original) {
    if (!m_held)
        return SystemError(EBADF);
    const FileOps& ops = CurrentFileOps();
    if (m_fd >= 0 && ops.close(std::exchange(m_fd, -1)) != 0)
        return LastError();

    FileIdentity now;
    if (ops.stat(m_target, false, now) != 0)
        return errno == ENOENT ? make_error_code(TextureErrc::FileChanged) : LastError();
    if (now != original)
        return make_error_code(TextureErrc::FileChanged);
    if (ops.rename(m_tempPath, m_target) != 0)
        return LastError();
    UnregisterTemporaryFile(std::exchange(m_slot, -1));
    m_held = false;
    return {};
}

void PendingReplacement::discard() noexcept {
    if (!m_held)
        return;
    const FileOps& ops = CurrentFileOps();
    if (m_fd >= 0)
        ops.close(std::exchange(m_fd, -1));
    ops.unlink(m_tempPath);
    UnregisterTemporaryFile(std::exchange(m_slot, -1));
    m_held = false;
}

std::error_code SyncFolder(const std::filesystem::path& folder) {
#ifdef _WIN32
    (void)folder;
    return {};
#else
    const FileOps& ops = CurrentFileOps();
    const int fd = ops.open(folder, O_RDONLY | O_DIRECTORY, 0);
    if (fd < 0)
        return LastError();
    std::error_code error;
    // Some file systems can't sync a folder and say so with EINVAL; their renames are as
    // durable as they get.
    if (ops.fsync(fd) != 0 && errno != EINVAL)
        error = LastError();
    ops.close(fd);
    return error;
#endif
}

std::error_code SyncFileSystem(const std::filesystem::path& folder) {
#ifdef _WIN32
    (void)folder;
    return std::make_error_code(std::errc::function_not_supported);
#else
    const FileOps& ops = CurrentFileOps();
    const int fd = ops.open(folder, O_RDONLY | O_DIRECTORY, 0);
    if (fd < 0)
        return LastError();
    std::error_code error;
    if (ops.syncfs(fd) != 0)
        error = LastError();
    ops.close(fd);
    return error;
#endif
}

std::filesystem::path ContainingFolder(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

} // namespace quorvel
