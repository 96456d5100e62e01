#pragma once
// Win32Toolkit: the thin layer between the windows and the Win32 API.
//
// The windows are designed in twips (WindowDesign.h); here they become pixels at the window's
// own DPI, so on a high-DPI monitor they keep their proportions (the program is per-monitor DPI
// aware). Each window is a dialog of a class of its own (DefDlgProcW, so the dialog manager
// handles focus, tab order and the default button), built from an empty in-memory template; its
// controls are created in pixels afterwards. Texts cross the API as UTF-16.
//
// Everything here runs on the UI thread only.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "WindowDesign.h"

#include <string>
#include <string_view>
#include <windows.h>

namespace quorvel {

// UTF-8 (the window logic's texts) as UTF-16; an invalid sequence becomes U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);

// The DPI the window is shown at: GetDpiForWindow where the system has it, else the system DPI.
int WindowDpi(HWND window);

// The window rectangle (origin 0, 0) whose client area is clientWidth x clientHeight pixels
// for a window of the given styles at `dpi`.
SIZE FrameSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);

// Moves and sizes `window` so that its client area is the design's width x height twips at the
// window's DPI, centred on the work area of the monitor it is on.
void SetClientSizeTwips(HWND window, int widthTwips, int heightTwips);

// Moves and sizes `window` to the rectangle the system suggests with WM_DPICHANGED (its
// lParam) and returns the new DPI (from its wParam); the caller then lays its controls out anew.
int ApplyDpiChange(HWND window, WPARAM wParam, LPARAM lParam);

// Places `control` at a design rectangle (twips from the client area's top-left corner).
void PlaceControl(HWND control, const design::TwipsRect& rect, int dpi);

// The window's default font at `dpi`: the system's message font at regular weight.
HFONT CreateDefaultFont(int dpi);
// The status labels' font at `dpi`: "MS Sans Serif" 8.25 points bold, Western character set,
// or the system's sans-serif face (the message font's) where that face is not installed.
HFONT CreateStatusLabelFont(int dpi);

// Registers a dialog class named `className` (DefDlgProcW with the dialog extra bytes) with the
// program's icon. Registering it twice is harmless.
void RegisterDialogClass(const wchar_t* className);

// Creates a hidden, modeless dialog of class `className` with no controls and no owner; the
// caller creates its controls. `param` reaches `dialogProc` with WM_INITDIALOG.
HWND CreateEmptyDialog(const wchar_t* className, const std::wstring& caption, DLGPROC dialogProc,
                       LPARAM param);

// The window style of both windows: a fixed dialog frame, a title bar with the close box and
// no minimise or maximise button.
inline constexpr DWORD kFixedDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
inline constexpr DWORD kFixedDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// A modal warning box (MessageBoxW) with `owner` disabled while it is up.
void ShowWarningBox(HWND owner, const std::wstring& title, const std::wstring& text);

// Removes the keyboard and mouse input queued for this thread: what the user typed or clicked
// while the thread was busy and the window refused input is not acted on afterwards.
void DiscardQueuedInput();

} // namespace quorvel
