// The Windows window program: the main window is created hidden, its load handler does all of
// the work (a single file, or the folder dialog and the walk), then the window is shown and
// its message loop runs until it is closed.

#include "CommandLine.h"
#include "InterruptCleanup.h"
#include "MessageBoxPresenter.h"
#include "Win32MessageBoxPresenter.h"
#include "Win32Toolkit.h"
#include "frmMain.h"

#include <commctrl.h>
#include <memory>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Removes half-written temporary files if the session ends during a rewrite.
    quorvel::InstallInterruptCleanup();
    // The standard controls of common controls 6 (the manifest asks for them).
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    quorvel::SetMessageBoxPresenter(std::make_shared<quorvel::win32::Win32MessageBoxPresenter>());

    // The whole UTF-16 command line after the program's name, quotes included.
    quorvel::win32::frmMain window(quorvel::CommandLineText(0, nullptr));
    window.Form_Load();
    window.Show();
    return window.Run();
}
