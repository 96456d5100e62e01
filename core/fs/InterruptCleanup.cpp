#include "InterruptCleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quorvel {
namespace {

using NativeChar = std::filesystem::path::value_type;

// Long enough for any one name the file systems take.
constexpr std::size_t kMaxNameChars = 256;

enum SlotState : int { Free, Busy, Armed };

// A slot is claimed by moving it from Free to Busy, filled, then published as Armed. Removal
// takes an Armed slot back to Busy before reading the path, so the path can't be overwritten
// by a thread reusing the slot meanwhile; such a slot is never freed again, as the process is
// about to end.
struct Slot {
    std::atomic<int> state{Free};
    FolderHandle folder = kNoFolder;
    NativeChar name[kMaxNameChars];
#ifdef _WIN32
    std::wstring path; // the folder handle's path and the name
#endif
};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

Slot g_slots[kMaxTemporaryFiles];

void RemoveFile(const Slot& slot) noexcept {
#ifdef _WIN32
    // Windows has no unlinkat: the path was made from the folder handle when the file was
    // entered, so nothing is looked up or allocated on the way out.
    DeleteFileW(slot.path.c_str());
#else
    ::unlinkat(slot.folder, slot.name, 0);
#endif
}

std::atomic<bool> g_graceful{false};
std::atomic<bool> g_stop{false};

static_assert(std::atomic<bool>::is_always_lock_free, "the flags are read in a signal handler");

#ifdef _WIN32
// Console control events arrive on a thread of their own. The C run-time's signal() puts its
// handler back to the default after the first Ctrl-C, so a second one ended the process on the
// spot with its temporary files left; a console control handler stays in place.
BOOL WINAPI OnConsoleControl(DWORD event) {
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (g_graceful.load() && interrupt) {
        bool expected = false;
        if (g_stop.compare_exchange_strong(expected, true))
            return TRUE;
    }
    RemoveTemporaryFiles();
    if (interrupt) {
        // The status a console program ends with on Ctrl-C; at once, without running exit
        // handlers while other threads may hold locks.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    }
    // Closing the console, logging off, shutting down: the system ends the process.
    return FALSE;
}

void InstallHandlers() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
#else
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
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
    std::raise(signalNumber);
    errno = savedErrno;
}

void InstallHandlers() {
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
}
#endif

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
            RemoveFile(slot);
    }
}

int RegisterTemporaryFile(FolderHandle folder, const std::filesystem::path& name) noexcept {
    const auto& native = name.native();
    if (native.size() >= kMaxNameChars)
        return -1;
    for (int index = 0; index < kMaxTemporaryFiles; ++index) {
        Slot& slot = g_slots[index];
        int expected = Free;
        if (!slot.state.compare_exchange_strong(expected, Busy, std::memory_order_acquire))
            continue;
        slot.folder = folder;
        std::memcpy(slot.name, native.c_str(), (native.size() + 1) * sizeof(NativeChar));
#ifdef _WIN32
        try {
            const std::filesystem::path base = FolderPath(folder);
            slot.path = base.empty() ? std::wstring() : (base / name).native();
        } catch (...) {
            slot.path.clear();
        }
        if (slot.path.empty()) {
            slot.state.store(Free, std::memory_order_release);
            return -1;
        }
#endif
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
