#include "Win32Toolkit.h"

#include "resource.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <vector>

namespace quorvel {
namespace {

// The DPI functions of Windows 10 (1607 and later), looked up once so the program still starts
// on a system without them.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

template <typename Fn> Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32)
        return nullptr;
    // A function pointer from GetProcAddress, cast to its real type.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// Copies a face name into a LOGFONTW field, cut to fit.
void CopyFace(WCHAR (&field)[LF_FACESIZE], const wchar_t* face) {
    wcsncpy(field, face, LF_FACESIZE - 1);
    field[LF_FACESIZE - 1] = L'\0';
}

// The system's message font, scaled to `dpi`.
LOGFONTW MessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    static const auto forDpi =
        User32Function<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        return metrics.lfMessageFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
        return metrics.lfMessageFont;
    }
    LOGFONTW font{};
    font.lfHeight = -MulDiv(8, dpi, 72);
    font.lfCharSet = DEFAULT_CHARSET;
    CopyFace(font.lfFaceName, L"MS Shell Dlg 2");
    return font;
}

int CALLBACK NoteFaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one is enough
}

bool FaceInstalled(const wchar_t* face, BYTE charSet) {
    LOGFONTW query{};
    query.lfCharSet = charSet;
    CopyFace(query.lfFaceName, face);
    bool found = false;
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    EnumFontFamiliesExW(screen, &query, NoteFaceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

std::wstring Convert(UINT codePage, std::string_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(count, 0)), L'\0');
    if (count > 0)
        MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), count);
    return out;
}

} // namespace

std::wstring Widen(std::string_view utf8) {
    return Convert(CP_UTF8, utf8);
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty())
        return {};
    const int size = static_cast<int>(utf16.size());
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(count, 0)), '\0');
    if (count > 0)
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), count, nullptr, nullptr);
    return out;
}

int WindowDpi(HWND window) {
    static const auto forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (forWindow && window) {
        const UINT dpi = forWindow(window);
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    return SystemDpi();
}

SIZE FrameSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
    RECT frame{0, 0, clientWidth, clientHeight};
    static const auto forDpi =
        User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    if (!(forDpi && forDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void SetClientSizeTwips(HWND window, int widthTwips, int heightTwips) {
    const int dpi = WindowDpi(window);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    const SIZE frame = FrameSizeForClient(design::Pixels(widthTwips, dpi),
                                          design::Pixels(heightTwips, dpi), style, exStyle, dpi);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int left = work.left + std::max(0L, (work.right - work.left - frame.cx) / 2);
    const int top = work.top + std::max(0L, (work.bottom - work.top - frame.cy) / 2);
    SetWindowPos(window, nullptr, left, top, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceControl(HWND control, const design::TwipsRect& rect, int dpi) {
    const design::PixelRect pixels = design::Pixels(rect, dpi);
    SetWindowPos(control, nullptr, pixels.left, pixels.top, pixels.width, pixels.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT CreateDefaultFont(int dpi) {
    LOGFONTW font = MessageFont(dpi);
    font.lfWeight = FW_NORMAL;
    font.lfItalic = font.lfUnderline = font.lfStrikeOut = FALSE;
    return CreateFontIndirectW(&font);
}

HFONT CreateStatusLabelFont(int dpi) {
    static const std::wstring face = Widen(design::StatusLabelFace);
    LOGFONTW font{};
    // 8.25 points in pixels at this DPI, negative: the character height without the leading.
    font.lfHeight = -MulDiv(825, dpi, 7200);
    font.lfWeight = FW_BOLD;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    static const bool installed = FaceInstalled(face.c_str(), ANSI_CHARSET);
    if (installed) {
        CopyFace(font.lfFaceName, face.c_str());
    } else {
        const LOGFONTW fallback = MessageFont(dpi);
        CopyFace(font.lfFaceName, fallback.lfFaceName);
    }
    return CreateFontIndirectW(&font);
}

void RegisterDialogClass(const wchar_t* className) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(instance, className, &windowClass))
        return;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUORVEL), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                   GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUORVEL), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    RegisterClassExW(&windowClass);
}

HWND CreateEmptyDialog(const wchar_t* className, const std::wstring& caption, DLGPROC dialogProc,
                       LPARAM param) {
    // DLGTEMPLATE, then three variable-length fields: no menu, the class name, the caption.
    // Every field is a run of WORDs, and the template must be DWORD-aligned.
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    DLGTEMPLATE header{};
    header.style = kFixedDialogStyle;
    header.dwExtendedStyle = kFixedDialogExStyle;
    std::memcpy(words.data(), &header, sizeof header);
    words.push_back(0); // no menu
    for (const wchar_t* c = className; *c; ++c)
        words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
    for (wchar_t c : caption)
        words.push_back(static_cast<WORD>(c));
    words.push_back(0);
    std::vector<DWORD> aligned((words.size() + 1) / 2, 0);
    std::memcpy(aligned.data(), words.data(), words.size() * sizeof(WORD));
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                      reinterpret_cast<const DLGTEMPLATE*>(aligned.data()), nullptr,
                                      dialogProc, param);
}

void ShowWarningBox(HWND owner, const std::wstring& title, const std::wstring& text) {
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
}

void DiscardQueuedInput() {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    // Clicks on the title bar and frame, the close box among them.
    while (PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

int ApplyDpiChange(HWND window, WPARAM wParam, LPARAM lParam) {
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return HIWORD(wParam);
}

} // namespace quorvel
