#include "FileOps.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace quorvel {

namespace {

constexpr int kInUseRetries = 4;

bool WaitWhileInUse(int attempt) {
    if (attempt < 1 || attempt > kInUseRetries)
        return false;
    const int saved = errno;
    std::this_thread::sleep_for(std::chrono::milliseconds(100) * (1 << (attempt - 1)));
    errno = saved;
    return true;
}

FileOps WithPortableCalls(FileOps ops) {
    ops.waitWhileInUse = WaitWhileInUse;
    return ops;
}

FileOps& Installed() {
    static FileOps ops = WithPortableCalls(MakeSystemFileOps());
    return ops;
}

} // namespace

std::int64_t ReadFully(const FileOps& ops, int fd, std::uint8_t* buffer, std::size_t count,
                       std::int64_t offset) {
    constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t got = ops.readAt(fd, buffer + done, std::min(count - done, kMaxChunk),
                                            offset + static_cast<std::int64_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

FileOps SystemFileOps() {
    return WithPortableCalls(MakeSystemFileOps());
}

const FileOps& CurrentFileOps() noexcept {
    return Installed();
}

ScopedFileOps::ScopedFileOps(FileOps ops) : m_previous(std::move(Installed())) {
    Installed() = std::move(ops);
}

ScopedFileOps::~ScopedFileOps() {
    Installed() = std::move(m_previous);
}

} // namespace quorvel
