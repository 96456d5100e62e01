#include "Interrupt.h"

#include "InterruptCleanup.h"

#include <csignal>

namespace quorvel {
namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the flags are set from a signal handler");

void HardStop(int signal) {
    RemoveTemporaryFiles();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

extern "C" void OnSignal(int signal) {
    if (signal == SIGINT || signal == SIGTERM) {
        bool expected = false;
        if (g_stop.compare_exchange_strong(expected, true)) {
            g_signal.store(signal);
            return;
        }
    }
    HardStop(signal);
}

} // namespace

const std::atomic<bool>& InstallGracefulInterrupt() {
    // Registers the core's table cleanup first (and respects signals ignored under nohup), then
    // takes over SIGINT and SIGTERM where they are not ignored.
    InstallInterruptCleanup();
#ifdef SIGHUP
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
#else
    const int signals[] = {SIGINT, SIGTERM};
#endif
    for (int sig : signals) {
        auto previous = std::signal(sig, OnSignal);
        if (previous == SIG_IGN)
            std::signal(sig, SIG_IGN);
    }
    return g_stop;
}

int InterruptSignal() {
    return g_signal.load();
}

} // namespace quorvel
