#include "InterruptCleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quorvel {
namespace {

using NativeChar = std::filesystem::path::value_type;

// Long enough for any path the system accepts in one call.
constexpr std::size_t kMaxPathChars = 4096;

enum SlotState : int { Free, Busy, Armed };

// A slot is claimed by moving it from Free to Busy, filled, then published as Armed. Removal
// takes an Armed slot back to Busy before reading the path, so the path can't be overwritten
// by a thread reusing the slot meanwhile; such a slot is never freed again, as the process is
// about to end.
struct Slot {
    std::atomic<int> state{Free};
    NativeChar path[kMaxPathChars];
};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

Slot g_slots[kMaxTemporaryFiles];

void RemoveFile(const NativeChar* path) noexcept {
#ifdef _WIN32
    _wunlink(path);
#else
    ::unlink(path);
#endif
}

std::atomic<bool> g_graceful{false};
std::atomic<bool> g_stop{false};

static_assert(std::atomic<bool>::is_always_lock_free, "the flags are read in a signal handler");

extern "C" void OnInterrupt(int signalNumber) {
    const int savedErrno = errno;
    if (g_graceful.load() && (signalNumber == SIGINT || signalNumber == SIGTERM)) {
        bool expected = false;
        if (g_stop.compare_exchange_strong(expected, true)) {
            errno = savedErrno;
            return;
        }
    }
    RemoveTemporaryFiles();
    // Back to the default action, then raise again: the signal is blocked while the handler
    // runs, so it is delivered once the handler returns and the process ends the way it would
    // have without us.
#ifdef _WIN32
    std::signal(signalNumber, SIG_DFL);
#else
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
#endif
    std::raise(signalNumber);
    errno = savedErrno;
}

void InstallHandlers() {
#ifdef _WIN32
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        const auto previous = std::signal(signalNumber, OnInterrupt);
        if (previous == SIG_IGN)
            std::signal(signalNumber, SIG_IGN);
    }
#else
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored under nohup stays ignored.
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        // After a graceful stop the work goes on for a moment; calls the signal interrupted
        // resume instead of failing with EINTR.
        action.sa_flags = SA_RESTART;
        sigaction(signalNumber, &action, nullptr);
    }
    // Beyond the file size limit (ulimit -f) the kernel would end the process with SIGXFSZ,
    // leaving temporary files behind and saying nothing; ignored, the write fails with EFBIG
    // ("File too large") and the file is reported and left as it was.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
#endif
}

} // namespace

void InstallInterruptCleanup() {
    InstallHandlers();
}

const std::atomic<bool>& InstallGracefulInterrupt() {
    g_graceful.store(true);
    InstallHandlers();
    return g_stop;
}

void RemoveTemporaryFiles() noexcept {
    for (Slot& slot : g_slots) {
        int expected = Armed;
        if (slot.state.compare_exchange_strong(expected, Busy, std::memory_order_acquire))
            RemoveFile(slot.path);
    }
}

int RegisterTemporaryFile(const std::filesystem::path& path) noexcept {
    const auto& native = path.native();
    if (native.size() >= kMaxPathChars)
        return -1;
    for (int index = 0; index < kMaxTemporaryFiles; ++index) {
        Slot& slot = g_slots[index];
        int expected = Free;
        if (!slot.state.compare_exchange_strong(expected, Busy, std::memory_order_acquire))
            continue;
        std::memcpy(slot.path, native.c_str(), (native.size() + 1) * sizeof(NativeChar));
        slot.state.store(Armed, std::memory_order_release);
        return index;
    }
    return -1;
}

void UnregisterTemporaryFile(int slot) noexcept {
    if (slot < 0 || slot >= kMaxTemporaryFiles)
        return;
    int expected = Armed;
    g_slots[slot].state.compare_exchange_strong(expected, Free, std::memory_order_release);
}

} // namespace quorvel
