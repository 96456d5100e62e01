#include "InterruptCleanup.h"

#include "System.h"

#include <atomic>
#include <cstring>

namespace quorvel {
namespace {

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
    NativeString path; // what else the system needs to remove it (PrepareSignalSafeRemoval)
};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

Slot g_slots[kMaxTemporaryFiles];

std::atomic<bool> g_graceful{false};
std::atomic<bool> g_stop{false};

static_assert(std::atomic<bool>::is_always_lock_free, "the flags are read in a signal handler");

} // namespace

bool TakeGracefulStop() noexcept {
    if (!g_graceful.load())
        return false;
    bool expected = false;
    return g_stop.compare_exchange_strong(expected, true);
}

void InstallInterruptCleanup() {
    InstallInterruptHandlers();
}

const std::atomic<bool>& InstallGracefulInterrupt() {
    g_graceful.store(true);
    InstallInterruptHandlers();
    return g_stop;
}

void RemoveTemporaryFiles() noexcept {
    for (Slot& slot : g_slots) {
        int expected = Armed;
        if (slot.state.compare_exchange_strong(expected, Busy, std::memory_order_acquire))
            RemoveInSignalHandler(slot.folder, slot.name, slot.path);
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
        if (!PrepareSignalSafeRemoval(folder, name, slot.path)) {
            slot.state.store(Free, std::memory_order_release);
            return -1;
        }
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
