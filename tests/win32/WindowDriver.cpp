#include "WindowDriver.h"

#include <stdexcept>
#include <thread>

namespace quorvel::test {

std::filesystem::path ProgramPath() {
    if (const wchar_t* configured = _wgetenv(L"QUORVEL_EXE"); configured && *configured)
        return configured;
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);
    }
    return std::filesystem::path(self).parent_path().parent_path().parent_path() / L"win32" /
           L"quorvel.exe";
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

Program::Program(const std::wstring& arguments, const std::filesystem::path& folder) {
    const std::filesystem::path program = ProgramPath();
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process))
        throw std::runtime_error("cannot start " + Utf8(program.wstring()) + ": error " +
                                 std::to_string(GetLastError()));
    CloseHandle(process.hThread);
    m_process = process.hProcess;
    m_id = process.dwProcessId;
}

Program::Program(HANDLE process) : m_process(process), m_id(GetProcessId(process)) {}

Program::~Program() {
    if (Running()) {
        TerminateProcess(m_process, 99);
        WaitForSingleObject(m_process, 10000);
    }
    CloseHandle(m_process);
}

bool Program::Running() const {
    return WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

bool Program::WaitForExit(std::chrono::milliseconds limit, DWORD* code) const {
    if (WaitForSingleObject(m_process, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
        return false;
    if (code)
        GetExitCodeProcess(m_process, code);
    return true;
}

namespace {

struct Search {
    DWORD process;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found = nullptr;
};

BOOL CALLBACK Consider(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search.process || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != search.className)
        return TRUE;
    if (search.caption && TextOf(window) != search.caption)
        return TRUE;
    search.found = window;
    return FALSE;
}

} // namespace

HWND Program::FindWindowOf(const wchar_t* className, const wchar_t* caption) const {
    Search search{m_id, className, caption};
    EnumWindows(Consider, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Program::WaitForWindow(const wchar_t* className, const wchar_t* caption,
                            std::chrono::milliseconds limit) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowOf(className, caption)) != nullptr || !Running(); },
              limit);
    return found;
}

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

Box BoxOf(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

Box ClientBoxOf(HWND window) {
    RECT rect;
    GetClientRect(window, &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::string Describe(const Box& box) {
    return "(" + std::to_string(box.left) + ", " + std::to_string(box.top) + ", " +
           std::to_string(box.width) + " x " + std::to_string(box.height) + ")";
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

void PressKey(HWND target, UINT key) {
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
}

namespace {

std::wstring ItemText(HWND control, UINT lengthMessage, UINT textMessage, int index) {
    const auto length = SendMessageW(control, lengthMessage, static_cast<WPARAM>(index), 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(control, textMessage, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

} // namespace

std::vector<std::wstring> ListBoxEntries(HWND list) {
    std::vector<std::wstring> entries;
    const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        entries.push_back(ItemText(list, LB_GETTEXTLEN, LB_GETTEXT, i));
    return entries;
}

int ListBoxSelection(HWND list) {
    return static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
}

std::vector<std::wstring> ComboBoxEntries(HWND combo) {
    std::vector<std::wstring> entries;
    const auto count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        entries.push_back(ItemText(combo, CB_GETLBTEXTLEN, CB_GETLBTEXT, i));
    return entries;
}

int ComboBoxSelection(HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

std::wstring MessageBoxText(HWND box) {
    // The text of a message box is its static control 0xFFFF.
    return TextOf(GetDlgItem(box, 0xFFFF));
}

void CloseMessageBox(HWND box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(count > 0 ? count : 0), '\0');
    if (count > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), count, nullptr, nullptr);
    return out;
}

} // namespace quorvel::test
