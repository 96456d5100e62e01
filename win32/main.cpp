// The Windows window program: the main window is created hidden, its load handler does all of
// the work (a single file, or the folder dialog and the walk), then the window is shown and
// its message loop runs until it is closed.
//
// A window program has no console, so no console control handler is installed: a session that
// ends during a rewrite leaves at most a temporary file, which the next folder walk over that
// folder removes (see RemoveLeftoverTemporaryFile).

#include "CommandLine.h"
#include "MessageBoxPresenter.h"
#include "TextureError.h"
#include "Win32MessageBoxPresenter.h"
#include "Win32Toolkit.h"
#include "frmMain.h"

#include <commctrl.h>
#include <memory>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The standard controls of common controls 6 (the manifest asks for them).
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    quorvel::SetMessageBoxPresenter(std::make_shared<quorvel::Win32MessageBoxPresenter>());

    // The whole UTF-16 command line after the program's name, quotes included.
    quorvel::frmMain window(quorvel::CommandLineText(0, nullptr));
    if (!window.Handle()) {
        // Without a window the work would run unseen and the message loop would wait forever.
        const std::wstring text = quorvel::Widen("The window could not be created: " +
                                                 quorvel::DescribeError(quorvel::LastError()));
        MessageBoxW(nullptr, text.c_str(), L"Quorvel", MB_OK | MB_ICONERROR);
        return 1;
    }
    window.Form_Load();
    window.Show();
    return window.Run();
}
