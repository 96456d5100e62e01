// The interrupt handler of Windows: a console control handler.
#include "InterruptCleanup.h"
#include "System.h"
#include "WindowsFiles.h"

#include <windows.h>

namespace quorvel {
namespace {

// Console control events arrive on a thread of their own. The C run-time's signal() puts its
// handler back to the default after the first Ctrl-C, so a second one ended the process on the
// spot with its temporary files left; a console control handler stays in place.
BOOL WINAPI OnConsoleControl(DWORD event) {
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (interrupt && TakeGracefulStop())
        return TRUE;
    RemoveTemporaryFiles();
    if (interrupt) {
        // The status a console program ends with on Ctrl-C; at once, without running exit
        // handlers while other threads may hold locks.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    }
    // Closing the console, logging off, shutting down: the system ends the process.
    return FALSE;
}

} // namespace

void InstallInterruptHandlers() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// Windows has no unlinkat: the path is made from the folder handle when the file is entered,
// so nothing is looked up or allocated on the way out.
bool PrepareSignalSafeRemoval(FolderHandle folder, const std::filesystem::path& name,
                              NativeString& path) noexcept {
    try {
        const std::filesystem::path base = FolderPath(folder);
        path = base.empty() ? std::wstring() : (base / name).native();
    } catch (...) {
        path.clear();
    }
    return !path.empty();
}

void RemoveInSignalHandler(FolderHandle, const NativeChar*, const NativeString& path) noexcept {
    DeleteFileW(path.c_str());
}

} // namespace quorvel
