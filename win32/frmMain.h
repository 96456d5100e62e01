#pragma once
// frmMain: the main window as a native Win32 dialog, drawn by the window logic (MainWindow).
//
// The window is created hidden; Form_Load runs the logic's load handler (the whole single-file
// run or folder mode) before the window is first shown. Controls: lblTitle and lblVersion
// (owner-drawn static labels in the status font, lblTitle in black, each holding its whole text
// and drawing it as FitText lays it out in the label's lines, with a tool tip when that is
// not all of it), Line1 (a one-pixel gray line painted by the window), cmdOK (IDOK, the
// default push button in the window's default font). Enter and Escape press cmdOK and the close
// box acts as it, but only while it is enabled; the logic refuses a close while work runs, and
// input made meanwhile is dropped.

#include "CommandLine.h"
#include "FitText.h"
#include "MainWindow.h"
#include "Win32Toolkit.h"

#include <memory>
#include <string>

namespace quorvel {

class fd;

class frmMain final : public MainWindowView {
public:
    // Creates the window, hidden. `options` as for MainWindow.
    explicit frmMain(NativeString commandLine, MainWindow::Options options = {});
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // The load handler; returns once the run is done, with cmdOK enabled and focused.
    void Form_Load();
    // Shows the window, if the folder mode hasn't already, with the focus on cmdOK.
    void Show();
    // Runs the message loop until the window is closed; returns WM_QUIT's exit code.
    int Run();

    HWND Handle() const { return m_window; }

    // MainWindowView
    void setTitle(const std::string& text) override;
    void setStatus(const std::string& text) override;
    void repaintStatus() override;
    void setStatusDetail(const std::string& text) override;
    void setOkEnabled(bool enabled) override;
    void focusOk() override;
    void showNow() override;
    std::filesystem::path pickStartFolder() override;
    void unloadFolderDialog() override;
    void showWarning(const std::string& text) override;
    void closeWindow() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void Layout(int dpi);
    void PaintLine1(HDC dc);
    void OnOkCommand();
    void DrawStatusLabel(const DRAWITEMSTRUCT& item);
    // `text` laid out in `label`'s lines (of the font's height), in the status font.
    FittedText FitStatusText(HWND label, const std::string& text, Shorten how) const;
    // Sets `label`'s tool tip; "" removes it.
    void SetToolTip(HWND label, const std::string& text);

    HWND m_window = nullptr;
    HWND lblTitle = nullptr;
    HWND lblVersion = nullptr;
    HWND cmdOK = nullptr;
    HWND m_toolTip = nullptr;
    HFONT m_labelFont = nullptr;
    HFONT m_defaultFont = nullptr;
    std::wstring m_caption;
    std::string m_title, m_status, m_statusDetail; // the labels' whole texts
    FittedText m_titleFitted, m_statusFitted;      // what they draw
    std::unique_ptr<fd> m_dialog;
    MainWindow m_logic;
};

} // namespace quorvel
