#include "fd.h"

#include "resource.h"

#include <commctrl.h>
#include <utility>

namespace quorvel {
namespace {

constexpr wchar_t kClassName[] = L"QuorvelFolderDialog";

// Dir1's item data: the entry's depth, and whether it is on the way down to the open folder.
constexpr LPARAM kOpenBit = 0x10000;

HWND NewControl(HWND dialog, const wchar_t* windowClass, const wchar_t* text, DWORD style,
                DWORD exStyle, int id) {
    return CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                           dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

bool IsEnterOrEscape(const MSG& message) {
    switch (message.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
        return message.wParam == VK_RETURN || message.wParam == VK_ESCAPE;
    case WM_CHAR:
        return message.wParam == L'\r' || message.wParam == 0x1B;
    default:
        return false;
    }
}

// A small folder drawn in the list's text colour: a tab and a body; an open folder (one on
// the way down to the open one) is filled.
void DrawFolderGlyph(HDC dc, RECT box, bool open, COLORREF colour) {
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    const design::Rgb fillColour = design::OpenFolderFill;
    HBRUSH fill =
        open ? CreateSolidBrush(RGB(fillColour.red, fillColour.green, fillColour.blue)) : nullptr;
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush =
        SelectObject(dc, fill ? static_cast<HGDIOBJ>(fill) : GetStockObject(NULL_BRUSH));
    const int tabHeight = height / 5;
    Rectangle(dc, box.left, box.top, box.left + width / 2, box.top + tabHeight + 1);
    Rectangle(dc, box.left, box.top + tabHeight, box.right, box.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    if (fill)
        DeleteObject(fill);
}

} // namespace

fd::fd() : fd(std::make_unique<SystemFolderSource>()) {}

fd::fd(std::unique_ptr<FolderSource> source) : m_source(std::move(source)) {
    RegisterDialogClass(kClassName);
    m_window = CreateEmptyDialog(kClassName, Widen(design::DialogCaption), DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    m_logic = std::make_unique<FolderDialog>(*this, *m_source);
    m_logic->Load();
}

fd::~fd() {
    if (!m_closed && m_window && IsWindow(m_window))
        DestroyWindow(m_window);
    if (m_font)
        DeleteObject(m_font);
}

void fd::CreateControls() {
    // Creation order is the tab order.
    OKButton = NewControl(m_window, L"BUTTON", L"OK", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_OKBUTTON);
    CancelButton =
        NewControl(m_window, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_CANCELBUTTON);
    Dir1 = NewControl(m_window, L"LISTBOX", nullptr,
                      WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                          LBS_NOINTEGRALHEIGHT,
                      WS_EX_CLIENTEDGE, IDC_DIR1);
    Drive1 = NewControl(m_window, L"COMBOBOX", nullptr, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                        0, IDC_DRIVE1);
    SetWindowSubclass(Dir1, Dir1Proc, 1, reinterpret_cast<DWORD_PTR>(this));
    // No default button: the dialog manager's Enter falls back on IDOK, which is no control here.
    SendMessageW(m_window, DM_SETDEFID, 0, 0);

    m_dpi = WindowDpi(m_window);
    SetClientSizeTwips(m_window, design::DialogClientWidth, design::DialogClientHeight);
    Layout(m_dpi);
}

void fd::Layout(int dpi) {
    m_dpi = dpi;
    HFONT font = CreateDefaultFont(dpi);
    for (HWND control : {OKButton, CancelButton, Dir1, Drive1})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (m_font)
        DeleteObject(m_font);
    m_font = font;

    PlaceControl(OKButton, design::OKButton, dpi);
    PlaceControl(CancelButton, design::CancelButton, dpi);
    PlaceControl(Dir1, design::Dir1, dpi);
    SendMessageW(Dir1, LB_SETITEMHEIGHT, 0, design::Pixels(240, dpi));

    // A drop-down list's window height is that of its open list; closed, it is as high as its
    // selection field plus the border. The field is sized so that the closed list has the
    // design's height.
    const design::PixelRect drive = design::Pixels(design::Drive1, dpi);
    SetWindowPos(Drive1, nullptr, drive.left, drive.top, drive.width,
                 drive.height + design::Pixels(3000, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    const auto field =
        static_cast<int>(SendMessageW(Drive1, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    RECT closed;
    GetWindowRect(Drive1, &closed);
    const int difference = drive.height - static_cast<int>(closed.bottom - closed.top);
    if (difference != 0 && field + difference > 0)
        SendMessageW(Drive1, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field + difference);
    InvalidateRect(m_window, nullptr, TRUE);
}

INT_PTR CALLBACK fd::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<fd*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
        self->CreateControls();
        return FALSE;
    }
    auto* self = reinterpret_cast<fd*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

LRESULT CALLBACK fd::Dir1Proc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR data) {
    auto* self = reinterpret_cast<fd*>(data);
    switch (message) {
    case WM_GETDLGCODE:
        // Enter reaches Dir1 through the dialog manager; it opens the highlighted entry.
        if (lParam && reinterpret_cast<const MSG*>(lParam)->message == WM_KEYDOWN &&
            reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
            return DLGC_WANTALLKEYS | DefSubclassProc(list, message, wParam, lParam);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            self->OpenHighlightedEntry();
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(list, Dir1Proc, 1);
        break;
    default:
        break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

INT_PTR fd::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (!m_logic)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_OKBUTTON:
            if (HIWORD(wParam) == BN_CLICKED)
                m_logic->OKButton_Click();
            return TRUE;
        case IDC_CANCELBUTTON:
            if (HIWORD(wParam) == BN_CLICKED)
                m_logic->CancelButton_Click();
            return TRUE;
        case IDC_DIR1:
            if (HIWORD(wParam) == LBN_DBLCLK)
                OpenHighlightedEntry();
            return TRUE;
        case IDC_DRIVE1: {
            // A pick while the list is closed (arrow keys) is a change at once; while it is
            // open the highlight only moves, and the pick counts when the list closes.
            const WORD code = HIWORD(wParam);
            const bool dropped = SendMessageW(Drive1, CB_GETDROPPEDSTATE, 0, 0) != 0;
            if ((code == CBN_SELCHANGE && !dropped) || code == CBN_CLOSEUP) {
                const auto index = static_cast<int>(SendMessageW(Drive1, CB_GETCURSEL, 0, 0));
                if (index >= 0)
                    m_logic->Drive1_Change(index);
            }
            return TRUE;
        }
        default:
            return TRUE; // IDOK and IDCANCEL from Enter and Escape: not bound
        }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE && m_logic) {
            if (!m_logic->Form_QueryUnload(FolderDialog::CloseReason::UserThroughFrame)) {
                m_closed = true;
                DestroyWindow(m_window);
            }
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        // A close request from elsewhere than the frame (another program, the system): the
        // dialog is destroyed, `path` untouched, and the modal show ends.
        if (!m_logic || !m_logic->Form_QueryUnload(FolderDialog::CloseReason::Other)) {
            m_closed = true;
            DestroyWindow(m_window);
        }
        return TRUE;
    case WM_NCDESTROY:
        m_closed = true;
        return FALSE;
    case WM_MEASUREITEM:
        if (wParam == IDC_DIR1) {
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight =
                static_cast<UINT>(design::Pixels(240, WindowDpi(m_window)));
            return TRUE;
        }
        return FALSE;
    case WM_DRAWITEM:
        if (wParam == IDC_DIR1) {
            DrawDir1Entry(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        return FALSE;
    case WM_DPICHANGED:
        Layout(ApplyDpiChange(m_window, wParam, lParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void fd::DrawDir1Entry(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const COLORREF text = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item.itemID == static_cast<UINT>(-1)) {
        if (item.itemState & ODS_FOCUS)
            DrawFocusRect(dc, &item.rcItem);
        return;
    }
    const auto data = static_cast<LPARAM>(item.itemData);
    const int depth = static_cast<int>(data & 0xFFFF);
    const bool open = (data & kOpenBit) != 0;

    const int step = design::Pixels(150, m_dpi);
    const int height = item.rcItem.bottom - item.rcItem.top;
    const int glyphHeight = height * 3 / 5;
    const int glyphWidth = glyphHeight * 4 / 3;
    RECT glyph;
    glyph.left = item.rcItem.left + design::Pixels(30, m_dpi) + depth * step;
    glyph.top = item.rcItem.top + (height - glyphHeight) / 2;
    glyph.right = glyph.left + glyphWidth;
    glyph.bottom = glyph.top + glyphHeight;
    DrawFolderGlyph(dc, glyph, open, text);

    const auto length = static_cast<int>(SendMessageW(Dir1, LB_GETTEXTLEN, item.itemID, 0));
    std::wstring name(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        SendMessageW(Dir1, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(name.data()));
    RECT textBox = item.rcItem;
    textBox.left = glyph.right + design::Pixels(60, m_dpi);
    SetTextColor(dc, text);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &textBox,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (item.itemState & ODS_FOCUS)
        DrawFocusRect(dc, &item.rcItem);
}

void fd::OpenHighlightedEntry() {
    const auto row = static_cast<int>(SendMessageW(Dir1, LB_GETCURSEL, 0, 0));
    if (row >= 0 && m_logic)
        m_logic->Dir1_Open(row);
}

bool fd::FiltersKey(const MSG& message) {
    if (!IsEnterOrEscape(message))
        return false;
    // An open drop-down list closes on Enter (taking the pick) and on Escape.
    if (SendMessageW(Drive1, CB_GETDROPPEDSTATE, 0, 0))
        return false;
    // Enter in Dir1 opens the highlighted entry.
    const bool enter = message.wParam == VK_RETURN || message.wParam == L'\r';
    if (enter && message.hwnd == Dir1)
        return false;
    // Enter on a button presses it, as the dialog manager presses the focused push button
    // (neither is the default button, which the dialog manager would press instead).
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
        (message.hwnd == OKButton || message.hwnd == CancelButton))
        SendMessageW(m_window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(message.hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(message.hwnd));
    return true;
}

void fd::ShowModal() {
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
    SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(OKButton), TRUE);
    MSG message;
    while (!m_closed && IsWindowVisible(m_window)) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (FiltersKey(message))
            continue;
        if (!m_closed && IsDialogMessageW(m_window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void fd::showDrives(const std::vector<std::string>& drives, int current) {
    SendMessageW(Drive1, CB_RESETCONTENT, 0, 0);
    for (const std::string& drive : drives)
        SendMessageW(Drive1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(drive).c_str()));
    SendMessageW(Drive1, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
}

void fd::selectDrive(int index) {
    SendMessageW(Drive1, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void fd::showFolders(const std::vector<FolderListEntry>& entries, int openRow) {
    SendMessageW(Dir1, WM_SETREDRAW, FALSE, 0);
    SendMessageW(Dir1, LB_RESETCONTENT, 0, 0);
    for (const FolderListEntry& entry : entries) {
        const auto row = SendMessageW(Dir1, LB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(Widen(entry.name).c_str()));
        if (row >= 0)
            SendMessageW(Dir1, LB_SETITEMDATA, static_cast<WPARAM>(row),
                         (entry.depth & 0xFFFF) | (entry.open ? kOpenBit : 0));
    }
    SendMessageW(Dir1, LB_SETCURSEL, static_cast<WPARAM>(openRow), 0);
    SendMessageW(Dir1, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Dir1, nullptr, TRUE);
}

void fd::showWarning(const std::string& text) {
    ShowWarningBox(m_window, Widen(design::DialogCaption), Widen(text));
}

void fd::hideDialog() {
    ShowWindow(m_window, SW_HIDE);
    // Wakes the modal loop, which ends once it sees the dialog hidden.
    PostMessageW(m_window, WM_NULL, 0, 0);
}

} // namespace quorvel
