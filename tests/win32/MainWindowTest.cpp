// The Win32 main window, driven through window messages: the real quorvel.exe in single-file
// mode, the window's design in pixels at 96 dpi and at 144 dpi, what closes it, and (in
// process) its fonts, lblTitle's colour, long texts in the labels and the component's about
// box.

#include "Brevora.h"
#include "FileContents.h"
#include "TempDir.h"
#include "TextureSamples.h"
#include "Win32MessageBoxPresenter.h"
#include "Win32Toolkit.h"
#include "WindowDriver.h"
#include "frmMain.h"
#include "resource.h"

#include <commctrl.h>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace quorvel::test {
namespace {

// The main window's design at 96 dpi, in pixels.
constexpr Box kMainClient{0, 0, 590, 131};
constexpr Box klblTitle{16, 8, 567, 32};
constexpr Box klblVersion{16, 52, 351, 15};
constexpr Box kcmdOK{252, 96, 84, 23};

Bytes CompressedTexture() {
    return ExpectedRewrite(MakeTexture(0, CompressibleBytes(3000)));
}

// A main window shown by a single-file run, with its controls.
struct MainWindowControls {
    HWND window = nullptr;
    HWND lblTitle = nullptr;
    HWND lblVersion = nullptr;
    HWND cmdOK = nullptr;
};

MainWindowControls ControlsOf(HWND window) {
    return {window, GetDlgItem(window, IDC_LBLTITLE), GetDlgItem(window, IDC_LBLVERSION),
            GetDlgItem(window, IDOK)};
}

// Waits for the window and for cmdOK to be enabled: the load handler is done.
MainWindowControls WaitForFinishedWindow(const Program& program) {
    HWND window = program.WaitForWindow(kMainClass);
    if (!window)
        return {};
    const MainWindowControls controls = ControlsOf(window);
    WaitUntil([&] { return IsWindowEnabled(controls.cmdOK) != FALSE; });
    return controls;
}

COLORREF ScreenPixel(HWND window, int x, int y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, point.x, point.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

TEST(Win32MainWindow, SingleFileRunRewritesTheFileAndShowsTheDesignedWindow) {
    TempDir folder;
    const Bytes input = MakeTexture(0, CompressibleBytes(200'000));
    const std::wstring name = L"gr\u00e4s \u540d\u524d.ACE"; // blanks and non-ASCII characters
    WriteFileBytes(folder / name, input);

    // Quoted, as Explorer passes a path with blanks; the quotes go.
    Program program(L"\"" + name + L"\"", folder.path());
    const MainWindowControls main = WaitForFinishedWindow(program);
    ASSERT_NE(main.window, nullptr) << "the main window never appeared";

    const Bytes expected = ExpectedRewrite(input);
    EXPECT_EQ(ReadFileBytes(folder / name), expected);
    EXPECT_EQ(TextOf(main.lblTitle), name);
    EXPECT_EQ(TextOf(main.lblVersion),
              std::to_wstring(input.size() - expected.size()) + L" bytes saved");

    EXPECT_EQ(TextOf(main.window), L"Quorvel");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(main.window, GWL_STYLE));
    EXPECT_TRUE(style & WS_SYSMENU) << "no close box";
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(ClientBoxOf(main.window), kMainClient) << Describe(ClientBoxOf(main.window));
    EXPECT_EQ(BoxOf(main.lblTitle), klblTitle) << Describe(BoxOf(main.lblTitle));
    EXPECT_EQ(BoxOf(main.lblVersion), klblVersion) << Describe(BoxOf(main.lblVersion));
    EXPECT_EQ(BoxOf(main.cmdOK), kcmdOK) << Describe(BoxOf(main.cmdOK));
    EXPECT_EQ(TextOf(main.cmdOK), L"OK");
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(main.window) == main.cmdOK; }, 10s));

    // Line1: one row of gray from x = 4 up to, not including, x = 580. A loaded machine may read
    // the screen before the first paint reaches it, so the line is waited for first.
    const COLORREF gray = RGB(128, 128, 128);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(main.window, 4, 84) == gray; }, 10s));
    EXPECT_EQ(ScreenPixel(main.window, 300, 84), gray);
    EXPECT_EQ(ScreenPixel(main.window, 579, 84), gray);
    EXPECT_NE(ScreenPixel(main.window, 580, 84), gray);
    EXPECT_NE(ScreenPixel(main.window, 3, 84), gray);
    EXPECT_NE(ScreenPixel(main.window, 300, 83), gray);
    EXPECT_NE(ScreenPixel(main.window, 300, 85), gray);

    // Enter presses cmdOK through the dialog manager, which closes the window and ends the run.
    PressKey(FocusOf(main.window), VK_RETURN);
    DWORD code = 1;
    EXPECT_TRUE(program.WaitForExit(30s, &code));
    EXPECT_EQ(code, 0u);
}

TEST(Win32MainWindow, FileThatCannotBeOpenedShowsTheReasonAndNothingIsWritten) {
    TempDir folder;
    Program program(L"missing.ACE", folder.path());
    const MainWindowControls main = WaitForFinishedWindow(program);
    ASSERT_NE(main.window, nullptr);
    EXPECT_EQ(TextOf(main.lblTitle), L"missing.ACE");
    EXPECT_EQ(TextOf(main.lblVersion).rfind(L"Error 2", 0), 0u) << Utf8(TextOf(main.lblVersion));
    EXPECT_TRUE(ListFolder(folder.path()).empty());
}

// What closes the finished window: cmdOK, Enter, Escape, the close box.
enum class Close { Click, Enter, Escape, CloseBox };

class Win32MainWindowClose : public testing::TestWithParam<Close> {};

TEST_P(Win32MainWindowClose, EndsTheProgram) {
    TempDir folder;
    const Bytes compressed = CompressedTexture();
    WriteFileBytes(folder / "done.ace", compressed);
    Program program(L"done.ace", folder.path());
    const MainWindowControls main = WaitForFinishedWindow(program);
    ASSERT_NE(main.window, nullptr);
    EXPECT_EQ(TextOf(main.lblVersion), L"0 bytes saved");
    EXPECT_EQ(ReadFileBytes(folder / "done.ace"), compressed);

    switch (GetParam()) {
    case Close::Click:
        PostMessageW(main.cmdOK, BM_CLICK, 0, 0);
        break;
    case Close::Enter:
        PressKey(main.cmdOK, VK_RETURN);
        break;
    case Close::Escape:
        PressKey(main.cmdOK, VK_ESCAPE);
        break;
    case Close::CloseBox:
        PostMessageW(main.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    DWORD code = 1;
    EXPECT_TRUE(program.WaitForExit(30s, &code));
    EXPECT_EQ(code, 0u);
}

std::string CloseName(const testing::TestParamInfo<Close>& param) {
    switch (param.param) {
    case Close::Click:
        return "Click";
    case Close::Enter:
        return "Enter";
    case Close::Escape:
        return "Escape";
    case Close::CloseBox:
        return "CloseBox";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Ways, Win32MainWindowClose,
                         testing::Values(Close::Click, Close::Enter, Close::Escape,
                                         Close::CloseBox),
                         CloseName);

// Sets the DPI Wine reports for new processes and puts the old value back.
class SystemDpi {
public:
    explicit SystemDpi(DWORD dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr);
        DWORD size = sizeof m_old;
        m_had = RegQueryValueExW(m_key, L"LogPixels", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&m_old), &size) == ERROR_SUCCESS;
        RegSetValueExW(m_key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                       sizeof dpi);
    }
    ~SystemDpi() {
        if (m_had)
            RegSetValueExW(m_key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old),
                           sizeof m_old);
        else
            RegDeleteValueW(m_key, L"LogPixels");
        RegCloseKey(m_key);
    }
    SystemDpi(const SystemDpi&) = delete;
    SystemDpi& operator=(const SystemDpi&) = delete;

private:
    HKEY m_key = nullptr;
    DWORD m_old = 96;
    bool m_had = false;
};

TEST(Win32MainWindow, ScalesTheDesignByTheDpiOfItsWindow) {
    TempDir folder;
    WriteFileBytes(folder / "done.ace", CompressedTexture());
    const SystemDpi dpi(144);
    Program program(L"done.ace", folder.path());
    const MainWindowControls main = WaitForFinishedWindow(program);
    ASSERT_NE(main.window, nullptr);
    // Twips * 144 / 1440, halves rounded up: 8850 x 1965 twips are 885 x 197 pixels.
    EXPECT_EQ(ClientBoxOf(main.window), (Box{0, 0, 885, 197}))
        << Describe(ClientBoxOf(main.window));
    EXPECT_EQ(BoxOf(main.lblTitle), (Box{24, 12, 851, 48})) << Describe(BoxOf(main.lblTitle));
    EXPECT_EQ(BoxOf(main.cmdOK), (Box{378, 144, 126, 35})) << Describe(BoxOf(main.cmdOK));
}

// In process: the window as frmMain builds it, before any load handler runs.
TEST(Win32MainWindow, LabelsUseTheBoldStatusFontAndcmdOKTheRegularDefaultFont) {
    frmMain window(L"");
    HWND lblTitle = GetDlgItem(window.Handle(), IDC_LBLTITLE);
    HWND lblVersion = GetDlgItem(window.Handle(), IDC_LBLVERSION);
    HWND cmdOK = GetDlgItem(window.Handle(), IDOK);
    ASSERT_TRUE(lblTitle && lblVersion && cmdOK);

    for (HWND label : {lblTitle, lblVersion}) {
        LOGFONTW font{};
        ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)),
                               sizeof font, &font));
        EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Sans Serif"); // Wine's fonts have it
        EXPECT_EQ(font.lfHeight, -11);                              // 8.25 points at 96 dpi
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
    }
    LOGFONTW buttonFont{};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(cmdOK, WM_GETFONT, 0, 0)),
                           sizeof buttonFont, &buttonFont));
    EXPECT_EQ(buttonFont.lfWeight, FW_NORMAL);

    // lblTitle draws in black whatever the system's text colour; lblVersion in the default.
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(window.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(lblTitle));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(window.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(lblVersion));
    EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_WINDOWTEXT));
    DeleteDC(dc);

    // Labels take no focus: cmdOK is the only tab stop.
    EXPECT_FALSE(GetWindowLongPtrW(lblTitle, GWL_STYLE) & WS_TABSTOP);
    EXPECT_TRUE(GetWindowLongPtrW(cmdOK, GWL_STYLE) & WS_TABSTOP);
    EXPECT_EQ(LOWORD(SendMessageW(window.Handle(), DM_GETDEFID, 0, 0)), IDOK);
}

// The tool tip `window` gives `control`, or "" when it has none.
std::wstring ToolTipOf(HWND window, HWND control) {
    struct Search {
        HWND owner;
        HWND found = nullptr;
    } search{window};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(data);
            wchar_t className[64] = {};
            GetClassNameW(candidate, className, 64);
            if (std::wstring(className) == TOOLTIPS_CLASSW &&
                GetWindow(candidate, GW_OWNER) == wanted.owner) {
                wanted.found = candidate;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return {};
    std::wstring text(4096, L'\0');
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text.data();
    SendMessageW(search.found, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
    text.resize(wcslen(text.c_str()));
    return text;
}

// For each line of the label's font, top to bottom, whether the label draws anything there:
// the label is drawn into a bitmap as WM_PRINTCLIENT has it draw itself.
std::vector<bool> LinesDrawn(HWND label) {
    const Box box = BoxOf(label);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, box.width, box.height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, oldFont);
    const COLORREF background = GetSysColor(COLOR_BTNFACE);
    std::vector<bool> drawn;
    for (int top = 0; top + metrics.tmHeight <= box.height; top += metrics.tmHeight) {
        bool any = false;
        for (int y = top; y < top + metrics.tmHeight && !any; ++y)
            for (int x = 0; x < box.width && !any; ++x)
                any = GetPixel(dc, x, y) != background;
        drawn.push_back(any);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return drawn;
}

// In process: texts far longer than the labels, set as the window logic sets them.
TEST(Win32MainWindow, LongTextsAreFittedToTheLabelsAndWholeInTheirToolTips) {
    frmMain window(L"");
    HWND lblTitle = GetDlgItem(window.Handle(), IDC_LBLTITLE);
    HWND lblVersion = GetDlgItem(window.Handle(), IDC_LBLVERSION);
    std::string path = "C:\\Textures";
    for (int i = 0; i < 6; ++i)
        path += "\\folder " + std::to_string(i) + std::string(50, 'x');
    path += "\\brick & <more> with a long name.ace";
    const std::string reason = "File was changed by another program while it was being compressed";
    window.setTitle(path);
    window.setStatus(reason);

    // The controls hold the whole texts, at their designed size.
    EXPECT_EQ(TextOf(lblTitle), Widen(path));
    EXPECT_EQ(TextOf(lblVersion), Widen(reason));
    EXPECT_EQ(BoxOf(lblTitle), klblTitle) << Describe(BoxOf(lblTitle));
    EXPECT_EQ(BoxOf(lblVersion), klblVersion) << Describe(BoxOf(lblVersion));
    // lblTitle draws two lines, lblVersion its one.
    EXPECT_EQ(LinesDrawn(lblTitle), (std::vector<bool>{true, true}));
    EXPECT_EQ(LinesDrawn(lblVersion), std::vector<bool>{true});
    // What they don't show is in their tool tips, the failure sentence once there is one.
    EXPECT_EQ(ToolTipOf(window.Handle(), lblTitle), Widen(path));
    EXPECT_EQ(ToolTipOf(window.Handle(), lblVersion), Widen(reason));
    window.setStatusDetail("Could not replace brick.ace: " + reason + ".");
    EXPECT_EQ(ToolTipOf(window.Handle(), lblVersion),
              Widen("Could not replace brick.ace: " + reason + "."));
    // A text that fits has none.
    window.setTitle("C:\\Textures");
    EXPECT_EQ(ToolTipOf(window.Handle(), lblTitle), L"");
    EXPECT_EQ(LinesDrawn(lblTitle), (std::vector<bool>{true, false}));
}

TEST(Win32MainWindow, AboutShowsAnInformationBoxThroughMessageBoxW) {
    const auto previous = SetMessageBoxPresenter(std::make_shared<Win32MessageBoxPresenter>());
    Brevora component;
    // About blocks until the box is closed: it runs on a thread of its own.
    auto about = std::async(std::launch::async, [&component] { return component.About(); });
    HWND box = nullptr;
    WaitUntil([&] {
        struct Search {
            HWND found = nullptr;
        } search;
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                wchar_t className[16] = {};
                GetClassNameW(window, className, 16);
                if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
                    std::wstring(className) == kMessageBoxClass &&
                    TextOf(window).find(L" - Brevora ActiveX DLL") != std::wstring::npos) {
                    reinterpret_cast<Search*>(data)->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        box = search.found;
        return box != nullptr;
    });
    ASSERT_NE(box, nullptr) << "no about box";
    const std::wstring text = MessageBoxText(box);
    EXPECT_EQ(text.rfind(L"Brevora\r\n\r\nData compression ActiveX component module.\r\n\r\n", 0),
              0u)
        << Utf8(text);
    // The information icon: the box's icon control holds the system's icon.
    HICON icon = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    EXPECT_EQ(icon, LoadIconW(nullptr, IDI_INFORMATION));
    CloseMessageBox(box);
    ASSERT_EQ(about.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(about.get(), 0);
    SetMessageBoxPresenter(previous);
}

} // namespace
} // namespace quorvel::test
