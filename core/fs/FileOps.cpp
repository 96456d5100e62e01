#include "FileOps.h"

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
