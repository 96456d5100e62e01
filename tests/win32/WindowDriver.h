#pragma once
// Driving the real quorvel.exe from a test: starting it in a folder with a command line,
// finding its windows, reading their texts and geometry, and pressing keys and buttons through
// window messages, as a user's input would reach the dialog manager. Everything works across
// processes: texts are read with GetWindowTextW (the system's copy, so a busy program doesn't
// block the test) or with the list messages the system marshals, the focus with
// GetGUIThreadInfo.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

namespace quorvel::test {

using namespace std::chrono_literals;

// How long a window may take to appear: a cold Wine start takes several seconds.
inline constexpr std::chrono::milliseconds kWindowLimit = 60s;

// quorvel.exe: QUORVEL_EXE if set, else win32\quorvel.exe two folders above this test program
// (the build tree's layout).
std::filesystem::path ProgramPath();

// Polls `done` every 20 ms until it is true or `limit` has passed; returns its last value.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kWindowLimit);

// One run of the program; a run still going when the object ends is terminated.
class Program {
public:
    // Starts quorvel.exe with `arguments` (the text after the program's name, as typed) in
    // `folder`. Throws std::runtime_error when it can't be started.
    Program(const std::wstring& arguments, const std::filesystem::path& folder);
    // A run started some other way (ShellExecuteExW with SEE_MASK_NOCLOSEPROCESS), whose process
    // handle it takes over.
    explicit Program(HANDLE process);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The visible top-level window of this process of class `className` (and caption, when
    // given), once there is one; nullptr after `limit`.
    HWND WaitForWindow(const wchar_t* className, const wchar_t* caption = nullptr,
                       std::chrono::milliseconds limit = kWindowLimit) const;
    // The visible top-level window of this process of class `className`, or nullptr.
    HWND FindWindowOf(const wchar_t* className, const wchar_t* caption = nullptr) const;
    // True once the process has ended (within `limit`), with its exit code in `code`.
    bool WaitForExit(std::chrono::milliseconds limit, DWORD* code = nullptr) const;
    bool Running() const;

private:
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
};

// Window classes of the program's windows and of the system's message boxes.
inline constexpr wchar_t kMainClass[] = L"QuorvelMainWindow";
inline constexpr wchar_t kDialogClass[] = L"QuorvelFolderDialog";
inline constexpr wchar_t kMessageBoxClass[] = L"#32770";

std::wstring TextOf(HWND window);
// A control's rectangle in its parent's client area: left, top, width, height.
struct Box {
    int left, top, width, height;
    bool operator==(const Box&) const = default;
};
Box BoxOf(HWND control);
Box ClientBoxOf(HWND window);
std::string Describe(const Box& box);

// The control that has the keyboard focus in `window`'s thread.
HWND FocusOf(HWND window);

// A key pressed and released, posted to `target` (the focused control, as the system would).
void PressKey(HWND target, UINT key);

// List contents: each entry's text, and the selected entry's index.
std::vector<std::wstring> ListBoxEntries(HWND list);
int ListBoxSelection(HWND list);
std::vector<std::wstring> ComboBoxEntries(HWND combo);
int ComboBoxSelection(HWND combo);

// A message box's text (its static control) and a press of its OK button.
std::wstring MessageBoxText(HWND box);
void CloseMessageBox(HWND box);

// UTF-8 for test messages.
std::string Utf8(const std::wstring& text);

} // namespace quorvel::test
