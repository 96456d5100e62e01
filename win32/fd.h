#pragma once
// fd: the folder-picker dialog as a native Win32 dialog, drawn by the window logic
// (FolderDialog over the system's drives and folders).
//
// Drive1 is a drop-down list (CBS_DROPDOWNLIST), Dir1 an owner-drawn list box showing each
// folder indented by its depth, OKButton and CancelButton plain push buttons; the tab order is
// OKButton, CancelButton, Dir1, Drive1 and the focus starts on OKButton. Enter and Escape are
// not bound at dialog level: Enter presses the focused button (as the space bar does) and in
// Dir1 opens the highlighted entry (as a double-click does); Enter on Drive1 and Escape anywhere
// do nothing. A drive change is the user's pick in Drive1 (CBN_SELCHANGE, or the pick that
// closes its drop-down), never a selection made by the program. The close box acts as Cancel.

#include "FolderDialog.h"
#include "Win32Toolkit.h"

#include <filesystem>
#include <memory>

namespace quorvel {

class fd final : public FolderDialogView {
public:
    // Creates the dialog, hidden, with no owner, and loads the lists (the current folder open).
    fd();
    // A `source` other than the system's, for tests.
    explicit fd(std::unique_ptr<FolderSource> source);
    ~fd() override;
    fd(const fd&) = delete;
    fd& operator=(const fd&) = delete;

    // Shows the dialog modally: runs a message loop of its own until the dialog hides itself
    // or is destroyed. A WM_QUIT met on the way is posted again for the outer loop.
    void ShowModal();

    // The folder picked: empty until OK, and after Cancel or the close box.
    const std::filesystem::path& path() const { return m_logic->path; }

    HWND Handle() const { return m_window; }

    // FolderDialogView
    void showDrives(const std::vector<std::string>& drives, int current) override;
    void selectDrive(int index) override;
    void showFolders(const std::vector<FolderListEntry>& entries, int openRow) override;
    void showWarning(const std::string& text) override;
    void hideDialog() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK Dir1Proc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void Layout(int dpi);
    void DrawDir1Entry(const DRAWITEMSTRUCT& item);
    void OpenHighlightedEntry();
    // Takes Enter and Escape out of the dialog manager's hands, pressing the focused button for
    // Enter; true when `message` is taken.
    bool FiltersKey(const MSG& message);

    std::unique_ptr<FolderSource> m_source;
    std::unique_ptr<FolderDialog> m_logic;
    HWND m_window = nullptr;
    HWND Drive1 = nullptr;
    HWND Dir1 = nullptr;
    HWND OKButton = nullptr;
    HWND CancelButton = nullptr;
    HFONT m_font = nullptr;
    int m_dpi = 96;
    bool m_closed = false; // destroyed by a close from elsewhere
};

} // namespace quorvel
