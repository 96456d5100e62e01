#include "frmMain.h"

#include "fd.h"
#include "resource.h"

#include <commctrl.h>
#include <utility>

namespace quorvel {
namespace {

constexpr wchar_t kClassName[] = L"QuorvelMainWindow";

HWND NewStatusLabel(HWND window, int id) {
    // SS_OWNERDRAW: the window draws the text as FitText lays it out (with DT_NOPREFIX, so an
    // "&" in a path is shown, not taken as a mnemonic); the control keeps the whole text.
    // SS_NOTIFY: the label sees the mouse, so its tool tip can show.
    return CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | SS_NOTIFY, 0,
                           0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

} // namespace

frmMain::frmMain(NativeString commandLine, MainWindow::Options options)
    : m_caption(Widen(design::MainCaption)),
      m_logic(*this, std::move(commandLine), std::move(options)) {
    RegisterDialogClass(kClassName);
    m_window = CreateEmptyDialog(kClassName, m_caption, DialogProc, reinterpret_cast<LPARAM>(this));
}

frmMain::~frmMain() {
    m_dialog.reset();
    if (m_window && IsWindow(m_window))
        DestroyWindow(m_window);
    if (m_labelFont)
        DeleteObject(m_labelFont);
    if (m_defaultFont)
        DeleteObject(m_defaultFont);
}

void frmMain::CreateControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Creation order is the tab order: cmdOK first, then the labels (which take no focus).
    cmdOK = CreateWindowExW(
        0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
        m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
    lblTitle = NewStatusLabel(m_window, IDC_LBLTITLE);
    lblVersion = NewStatusLabel(m_window, IDC_LBLVERSION);
    SendMessageW(m_window, DM_SETDEFID, IDOK, 0);

    m_toolTip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr, instance, nullptr);

    const int dpi = WindowDpi(m_window);
    SetClientSizeTwips(m_window, design::MainClientWidth, design::MainClientHeight);
    Layout(dpi);
}

void frmMain::Layout(int dpi) {
    PlaceControl(lblTitle, design::lblTitle, dpi);
    PlaceControl(lblVersion, design::lblVersion, dpi);
    PlaceControl(cmdOK, design::cmdOK, dpi);

    HFONT labelFont = CreateStatusLabelFont(dpi);
    HFONT defaultFont = CreateDefaultFont(dpi);
    SendMessageW(lblTitle, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont), TRUE);
    SendMessageW(lblVersion, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont), TRUE);
    SendMessageW(cmdOK, WM_SETFONT, reinterpret_cast<WPARAM>(defaultFont), TRUE);
    if (m_toolTip) {
        SendMessageW(m_toolTip, WM_SETFONT, reinterpret_cast<WPARAM>(defaultFont), TRUE);
        SendMessageW(m_toolTip, TTM_SETMAXTIPWIDTH, 0, design::Pixels(8850, dpi));
    }
    if (m_labelFont)
        DeleteObject(m_labelFont);
    if (m_defaultFont)
        DeleteObject(m_defaultFont);
    m_labelFont = labelFont;
    m_defaultFont = defaultFont;
    // The new font and size lay the texts out anew.
    setTitle(m_title);
    setStatus(m_status);
    InvalidateRect(m_window, nullptr, TRUE);
}

void frmMain::DrawStatusLabel(const DRAWITEMSTRUCT& item) {
    const FittedText& fitted = item.hwndItem == lblTitle ? m_titleFitted : m_statusFitted;
    HDC dc = item.hDC;
    // The colours a static control asks its parent for: black for lblTitle, the default text
    // colour for lblVersion.
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(m_window, WM_CTLCOLORSTATIC,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(item.hwndItem)));
    FillRect(dc, &item.rcItem, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, m_labelFont);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int lineHeight = metrics.tmHeight > 0 ? static_cast<int>(metrics.tmHeight) : 1;
    RECT line = item.rcItem;
    for (const std::string& text : fitted.lines) {
        line.bottom = line.top + lineHeight;
        const std::wstring wide = Widen(text);
        DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &line,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        line.top = line.bottom;
    }
    SelectObject(dc, oldFont);
}

void frmMain::PaintLine1(HDC dc) {
    // One pixel wide whatever the DPI; like a drawn line, the end point is not drawn.
    const int dpi = WindowDpi(m_window);
    const int y = design::Pixels(design::Line1Top, dpi);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(design::Line1Gray, design::Line1Gray, design::Line1Gray));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, design::Pixels(design::Line1Left, dpi), y, nullptr);
    LineTo(dc, design::Pixels(design::Line1Right, dpi), y);
    SelectObject(dc, old);
    DeleteObject(pen);
}

INT_PTR CALLBACK frmMain::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<frmMain*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
        self->CreateControls();
        return FALSE; // the focus is set when the window is shown
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR frmMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(m_window, &paint);
        PaintLine1(dc);
        EndPaint(m_window, &paint);
        return TRUE;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.hwndItem != lblTitle && item.hwndItem != lblVersion)
            return FALSE;
        DrawStatusLabel(item);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == lblTitle) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return FALSE; // lblVersion: the default text colour
    case WM_COMMAND:
        // cmdOK (IDOK: a click, or Enter through the dialog manager) and Escape (IDCANCEL).
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            OnOkCommand();
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        // The close box, Alt+F4, or closeWindow(): refused while work runs.
        if (m_logic.QueryUnload())
            DestroyWindow(m_window);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return FALSE;
    case WM_DPICHANGED:
        Layout(ApplyDpiChange(m_window, wParam, lParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void frmMain::OnOkCommand() {
    // Enter and Escape reach the window even while cmdOK is disabled; only an enabled cmdOK
    // is pressed.
    if (IsWindowEnabled(cmdOK))
        m_logic.cmdOK_Click();
}

void frmMain::Form_Load() {
    m_logic.Form_Load();
}

void frmMain::Show() {
    if (!IsWindowVisible(m_window))
        ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
    UpdateWindow(m_window);
    focusOk();
}

int frmMain::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsWindow(m_window) && IsDialogMessageW(m_window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void frmMain::setTitle(const std::string& text) {
    // lblTitle shows a path: shortened in the middle, its file name kept.
    m_title = text;
    m_titleFitted = FitStatusText(lblTitle, text, Shorten::Middle);
    SetToolTip(lblTitle, StatusToolTip(text, {}, m_titleFitted.shortened));
    SetWindowTextW(lblTitle, Widen(text).c_str());
}

void frmMain::setStatus(const std::string& text) {
    // lblVersion shows a total or a reason: shortened at the end.
    m_status = text;
    m_statusFitted = FitStatusText(lblVersion, text, Shorten::End);
    SetToolTip(lblVersion, StatusToolTip(text, m_statusDetail, m_statusFitted.shortened));
    SetWindowTextW(lblVersion, Widen(text).c_str());
}

void frmMain::repaintStatus() {
    // Painted now, although the thread doesn't return to its message loop during the walk.
    RedrawWindow(lblVersion, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void frmMain::setStatusDetail(const std::string& text) {
    m_statusDetail = text;
    SetToolTip(lblVersion, StatusToolTip(m_status, text, m_statusFitted.shortened));
}

FittedText frmMain::FitStatusText(HWND label, const std::string& text, Shorten how) const {
    RECT box{};
    GetClientRect(label, &box);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, m_labelFont);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int lines =
        metrics.tmHeight > 0 ? static_cast<int>(box.bottom - box.top) / metrics.tmHeight : 1;
    FittedText fitted = FitText(
        text, static_cast<int>(box.right - box.left), lines, how, [dc](std::string_view line) {
            const std::wstring wide = Widen(line);
            SIZE size{};
            GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
            return static_cast<int>(size.cx);
        });
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return fitted;
}

void frmMain::SetToolTip(HWND label, const std::string& text) {
    if (!m_toolTip)
        return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_window;
    tool.uId = reinterpret_cast<UINT_PTR>(label);
    SendMessageW(m_toolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (text.empty())
        return;
    std::wstring wide = Widen(text);
    tool.lpszText = wide.data();
    SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void frmMain::setOkEnabled(bool enabled) {
    // What the user typed or clicked while the work held the thread was refused then, and is
    // not acted on now.
    if (enabled)
        DiscardQueuedInput();
    EnableWindow(cmdOK, enabled ? TRUE : FALSE);
}

void frmMain::focusOk() {
    // A hidden window is not given the focus: that would activate it unseen, and it would then
    // appear inactive. Show() focuses cmdOK once the window is on screen.
    if (!IsWindowVisible(m_window))
        return;
    SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(cmdOK), TRUE);
}

void frmMain::showNow() {
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
    // Painted now, although the thread goes on with the walk instead of its message loop.
    RedrawWindow(m_window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

std::filesystem::path frmMain::pickStartFolder() {
    m_dialog = std::make_unique<fd>();
    m_dialog->ShowModal();
    return m_dialog->path();
}

void frmMain::unloadFolderDialog() {
    m_dialog.reset();
}

void frmMain::showWarning(const std::string& text) {
    // Keys typed during a long walk are still queued; one of them must not close the box
    // before it has been read.
    DiscardQueuedInput();
    ShowWarningBox(IsWindowVisible(m_window) ? m_window : nullptr, m_caption, Widen(text));
}

void frmMain::closeWindow() {
    SendMessageW(m_window, WM_CLOSE, 0, 0);
}

} // namespace quorvel
