// The Win32 folder dialog and the folder mode, driven through window messages: the real
// quorvel.exe started without arguments in a generated tree. The dialog's design, focus, tab
// order and keys; opening folders, and one that has gone; drive changes; Cancel and the close
// box; and whole folder runs, compared byte for byte with what zlib gives, with the failure box
// and with input made during the walk.

#include "FileContents.h"
#include "TempDir.h"
#include "TextureSamples.h"
#include "WindowDriver.h"
#include "resource.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;

constexpr Box kDialogClient{0, 0, 402, 294};
constexpr Box kDrive1{4, 4, 297, 21};
constexpr Box kDir1{4, 28, 301, 261};
constexpr Box kOKButton{312, 8, 81, 25};
constexpr Box kCancelButton{312, 40, 81, 25};

struct DialogControls {
    HWND window = nullptr;
    HWND Drive1 = nullptr;
    HWND Dir1 = nullptr;
    HWND OKButton = nullptr;
    HWND CancelButton = nullptr;
};

DialogControls WaitForDialog(const Program& program) {
    HWND window = program.WaitForWindow(kDialogClass);
    if (!window)
        return {};
    return {window, GetDlgItem(window, IDC_DRIVE1), GetDlgItem(window, IDC_DIR1),
            GetDlgItem(window, IDC_OKBUTTON), GetDlgItem(window, IDC_CANCELBUTTON)};
}

// The main window once the run is over (cmdOK enabled), or nullptr.
HWND WaitForFinishedMain(const Program& program) {
    HWND window = program.WaitForWindow(kMainClass);
    if (!window || !WaitUntil([&] { return IsWindowEnabled(GetDlgItem(window, IDOK)) != FALSE; }))
        return nullptr;
    return window;
}

// Dir1's entries for `folder` open: the drive's root, each folder down to it, then `subfolders`.
std::vector<std::wstring> ExpectedEntries(const fs::path& folder,
                                          std::vector<std::wstring> subfolders) {
    std::vector<std::wstring> entries{folder.root_name().wstring() + L"\\"};
    for (const fs::path& part : folder.relative_path())
        if (!part.empty())
            entries.push_back(part.wstring());
    std::sort(subfolders.begin(), subfolders.end(), [](const auto& a, const auto& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    entries.insert(entries.end(), subfolders.begin(), subfolders.end());
    return entries;
}

// The row of `folder` in Dir1 when it is open: one step down per folder below the root.
int Depth(const fs::path& folder) {
    const fs::path below = folder.relative_path();
    return static_cast<int>(std::distance(below.begin(), below.end()));
}

// Waits until Dir1 has handled everything posted to it before: a highlight of row `row`
// posted after the keys is seen once they are through.
bool Drain(HWND Dir1, int row) {
    PostMessageW(Dir1, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    return WaitUntil([&] { return ListBoxSelection(Dir1) == row; }, 10s);
}

// Opens Dir1's entry at `row` as a double-click does.
void DoubleClick(const DialogControls& dialog, int row) {
    SendMessageW(dialog.Dir1, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    PostMessageW(dialog.window, WM_COMMAND, MAKEWPARAM(IDC_DIR1, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(dialog.Dir1));
}

int RowOf(HWND Dir1, const std::wstring& name) {
    const auto entries = ListBoxEntries(Dir1);
    const auto found = std::find(entries.begin(), entries.end(), name);
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

// A tree of texture files: what each file holds now, and what it must hold after a run.
class TextureTree {
public:
    explicit TextureTree(const fs::path& root) : m_root(root) {}

    // A file the walk must compress.
    void Candidate(const fs::path& relative, const Bytes& content) {
        Write(relative, content);
        m_expected[relative] = ExpectedRewrite(content);
        m_saved += static_cast<std::int64_t>(content.size()) -
                   static_cast<std::int64_t>(m_expected[relative].size());
    }
    // A file the walk must leave as it is.
    void Bystander(const fs::path& relative, const Bytes& content) {
        Write(relative, content);
        m_expected[relative] = content;
    }
    // Every file as the run must leave it, within `folder` (relative) only; those outside as
    // they were written.
    void ExpectUnchangedOutside(const fs::path& folder) {
        for (auto& [relative, expected] : m_expected)
            if (relative.native().rfind(folder.native(), 0) != 0)
                expected = m_original[relative];
    }
    void ExpectNothingChanged() { ExpectUnchangedOutside(L"\\nowhere"); }

    void Check() const {
        for (const auto& [relative, expected] : m_expected)
            EXPECT_EQ(ReadFileBytes(m_root / relative), expected) << Utf8(relative.wstring());
    }
    std::int64_t Saved() const { return m_saved; }

private:
    void Write(const fs::path& relative, const Bytes& content) {
        fs::create_directories((m_root / relative).parent_path());
        WriteFileBytes(m_root / relative, content);
        m_original[relative] = content;
    }

    fs::path m_root;
    std::map<fs::path, Bytes> m_expected;
    std::map<fs::path, Bytes> m_original;
    std::int64_t m_saved = 0;
};

void MakeReadOnly(const fs::path& file) {
    SetFileAttributesW(file.c_str(), GetFileAttributesW(file.c_str()) | FILE_ATTRIBUTE_READONLY);
}

// The standard tree: candidates in every case of ".ace", at several depths, in a hidden
// folder and in a folder with a non-ASCII name; files the walk passes over.
TextureTree StandardTree(const fs::path& root) {
    TextureTree tree(root);
    tree.Candidate(L"a.ACE", MakeTexture(0, CompressibleBytes(100'000)));
    tree.Candidate(L"b.ace", MakeTexture(0, RandomBytes(3000, 7))); // grows: a negative saving
    tree.Candidate(L"c.Ace", MakeTexture(0, CompressibleBytes(5000)));
    tree.Candidate(L"sub\\g.ACE", MakeTexture(0, CompressibleBytes(40'000)));
    tree.Candidate(L"sub\\deeper\\h.ace", MakeTexture(0, CompressibleBytes(30'000)));
    tree.Candidate(L".hidden\\i.ACE", MakeTexture(0, CompressibleBytes(20'000)));
    tree.Candidate(L"\u00dcn\u00efc\u00f8d\u00e9 \u540d\u524d\\j.ACE",
                   MakeTexture(0, CompressibleBytes(10'000)));
    tree.Bystander(L"d.aces", MakeTexture(0, CompressibleBytes(5000)));
    tree.Bystander(L"ace", MakeTexture(0, CompressibleBytes(5000)));
    tree.Bystander(L"e.ace", MakeTexture(0, CompressibleBytes(5000)));
    MakeReadOnly(root / L"e.ace");
    tree.Bystander(L"f.ACE", ExpectedRewrite(MakeTexture(0, CompressibleBytes(5000))));
    const fs::path hidden = root / L".hidden";
    SetFileAttributesW(hidden.c_str(), GetFileAttributesW(hidden.c_str()) | FILE_ATTRIBUTE_HIDDEN);
    return tree;
}

std::wstring SavedText(std::int64_t saved) {
    return L"Saved " + std::to_wstring(saved / 1024) + L"Kb Finished..";
}

TEST(Win32FolderDialog, DesignFocusTabOrderAndKeys) {
    TempDir folder;
    TextureTree tree = StandardTree(folder.path());
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr) << "the folder dialog never appeared";
    // The main window exists, but is not shown while the dialog is up.
    EXPECT_EQ(program.FindWindowOf(kMainClass), nullptr);

    EXPECT_EQ(TextOf(dialog.window), L"Select Start folder");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(dialog.window, GWL_STYLE));
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(GetWindow(dialog.window, GW_OWNER), nullptr);
    EXPECT_EQ(ClientBoxOf(dialog.window), kDialogClient) << Describe(ClientBoxOf(dialog.window));
    EXPECT_EQ(BoxOf(dialog.Drive1), kDrive1) << Describe(BoxOf(dialog.Drive1));
    EXPECT_EQ(BoxOf(dialog.Dir1), kDir1) << Describe(BoxOf(dialog.Dir1));
    EXPECT_EQ(BoxOf(dialog.OKButton), kOKButton) << Describe(BoxOf(dialog.OKButton));
    EXPECT_EQ(BoxOf(dialog.CancelButton), kCancelButton) << Describe(BoxOf(dialog.CancelButton));
    EXPECT_EQ(TextOf(dialog.OKButton), L"OK");
    EXPECT_EQ(TextOf(dialog.CancelButton), L"Cancel");

    // Drive1 at the current folder's drive; Dir1 at the current folder, hidden folders listed.
    const auto drives = ComboBoxEntries(dialog.Drive1);
    ASSERT_GE(ComboBoxSelection(dialog.Drive1), 0);
    EXPECT_EQ(drives[static_cast<std::size_t>(ComboBoxSelection(dialog.Drive1))],
              folder.path().root_name().wstring());
    EXPECT_EQ(ListBoxEntries(dialog.Dir1),
              ExpectedEntries(folder.path(),
                              {L".hidden", L"sub", L"\u00dcn\u00efc\u00f8d\u00e9 \u540d\u524d"}));
    EXPECT_EQ(ListBoxSelection(dialog.Dir1), Depth(folder.path()));

    // Focus on OKButton; Tab goes OKButton, CancelButton, Dir1, Drive1 and round again.
    EXPECT_EQ(FocusOf(dialog.window), dialog.OKButton);
    for (HWND next : {dialog.CancelButton, dialog.Dir1, dialog.Drive1, dialog.OKButton}) {
        PressKey(FocusOf(dialog.window), VK_TAB);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(dialog.window) == next; }, 10s))
            << "Tab did not reach control " << GetDlgCtrlID(next);
    }

    // Escape anywhere, and Enter on Drive1, leave the dialog up.
    const int openRow = ListBoxSelection(dialog.Dir1);
    for (HWND target : {dialog.OKButton, dialog.CancelButton, dialog.Drive1, dialog.Dir1}) {
        SendMessageW(dialog.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
        PressKey(target, VK_ESCAPE);
        if (target == dialog.Drive1)
            PressKey(target, VK_RETURN);
        ASSERT_TRUE(Drain(dialog.Dir1, openRow));
        EXPECT_TRUE(IsWindowVisible(dialog.window))
            << "closed by a key on " << GetDlgCtrlID(target);
    }

    // Enter on the focused Cancel presses it: no walk; the main window shows " Finished.."
    // alone.
    SendMessageW(dialog.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.CancelButton), TRUE);
    PressKey(FocusOf(dialog.window), VK_RETURN);
    HWND main = WaitForFinishedMain(program);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(main, IDC_LBLTITLE)), L"");
    EXPECT_EQ(TextOf(GetDlgItem(main, IDC_LBLVERSION)), L" Finished..");
    EXPECT_EQ(program.FindWindowOf(kDialogClass), nullptr);
    tree.ExpectNothingChanged();
    tree.Check();
}

TEST(Win32FolderDialog, OkWalksTheOpenFolderNotTheHighlightedOne) {
    TempDir folder;
    TextureTree tree = StandardTree(folder.path());
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);

    // Highlighting "sub" without opening it changes nothing; Enter on the focused OK presses it.
    const int sub = RowOf(dialog.Dir1, L"sub");
    ASSERT_GE(sub, 0);
    ASSERT_TRUE(Drain(dialog.Dir1, sub));
    ASSERT_EQ(FocusOf(dialog.window), dialog.OKButton);
    PressKey(dialog.OKButton, VK_RETURN);

    HWND main = WaitForFinishedMain(program);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(main, IDC_LBLVERSION)), SavedText(tree.Saved()));
    EXPECT_EQ(TextOf(GetDlgItem(main, IDC_LBLTITLE)).rfind(L"Scanning ", 0), 0u);
    // cmdOK is enabled a moment before it gets the focus.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == GetDlgItem(main, IDOK); }, 10s));
    tree.Check();

    PostMessageW(GetDlgItem(main, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(program.WaitForExit(30s));
}

TEST(Win32FolderDialog, DoubleClickAndEnterOpenEntriesAndOkWalksOnlyThatFolder) {
    TempDir folder;
    TextureTree tree = StandardTree(folder.path());
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);

    DoubleClick(dialog, RowOf(dialog.Dir1, L"sub"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ListBoxEntries(dialog.Dir1) == ExpectedEntries(folder / L"sub", {L"deeper"});
        },
        10s))
        << "double-click did not open sub";
    EXPECT_EQ(ListBoxSelection(dialog.Dir1), Depth(folder / L"sub"));

    // Enter in Dir1 opens the highlighted entry, and doesn't press OK.
    SendMessageW(dialog.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.Dir1), TRUE);
    SendMessageW(dialog.Dir1, LB_SETCURSEL, static_cast<WPARAM>(RowOf(dialog.Dir1, L"deeper")), 0);
    PressKey(dialog.Dir1, VK_RETURN);
    ASSERT_TRUE(WaitUntil(
        [&] { return ListBoxEntries(dialog.Dir1) == ExpectedEntries(folder / L"sub\\deeper", {}); },
        10s))
        << "Enter did not open deeper";
    EXPECT_TRUE(IsWindowVisible(dialog.window));

    // Back up to sub by opening its entry, then OK: only sub's tree is walked.
    DoubleClick(dialog, RowOf(dialog.Dir1, L"sub"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ListBoxEntries(dialog.Dir1) == ExpectedEntries(folder / L"sub", {L"deeper"});
        },
        10s));
    PostMessageW(dialog.OKButton, BM_CLICK, 0, 0);
    HWND main = WaitForFinishedMain(program);
    ASSERT_NE(main, nullptr);
    tree.ExpectUnchangedOutside(L"sub");
    tree.Check();
}

TEST(Win32FolderDialog, AFolderThatFailsToOpenGoesFromTheList) {
    TempDir folder;
    fs::create_directories(folder / L"gone");
    fs::create_directories(folder / L"stays");
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);
    const int gone = RowOf(dialog.Dir1, L"gone");
    ASSERT_GE(gone, 0);
    fs::remove(folder / L"gone");

    DoubleClick(dialog, gone);
    HWND box = program.WaitForWindow(kMessageBoxClass, L"Select Start folder", 30s);
    ASSERT_NE(box, nullptr) << "no warning";
    CloseMessageBox(box);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10s));
    EXPECT_EQ(ListBoxEntries(dialog.Dir1), ExpectedEntries(folder.path(), {L"stays"}));
    EXPECT_EQ(ListBoxSelection(dialog.Dir1), Depth(folder.path()));
    PostMessageW(dialog.CancelButton, BM_CLICK, 0, 0);
    EXPECT_NE(WaitForFinishedMain(program), nullptr);
}

TEST(Win32FolderDialog, CloseBoxActsAsCancel) {
    TempDir folder;
    TextureTree tree = StandardTree(folder.path());
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);
    PostMessageW(dialog.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND main = WaitForFinishedMain(program);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(main, IDC_LBLVERSION)), L" Finished..");
    tree.ExpectNothingChanged();
    tree.Check();
}

TEST(Win32FolderDialog, DriveChangeOpensTheDrivesRoot) {
    TempDir folder;
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);
    // Open a folder first: nothing of it may survive the drive change.
    const auto drives = ComboBoxEntries(dialog.Drive1);
    const auto other = std::find(drives.begin(), drives.end(), L"Z:");
    ASSERT_NE(other, drives.end()) << "Wine's Z: drive is not listed";

    const int z = static_cast<int>(other - drives.begin());
    SendMessageW(dialog.Drive1, CB_SETCURSEL, static_cast<WPARAM>(z), 0);
    PostMessageW(dialog.window, WM_COMMAND, MAKEWPARAM(IDC_DRIVE1, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(dialog.Drive1));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto entries = ListBoxEntries(dialog.Dir1);
            return !entries.empty() && entries.front() == L"Z:\\";
        },
        10s))
        << "Dir1 did not go to Z:\\";
    EXPECT_EQ(ListBoxSelection(dialog.Dir1), 0);
    EXPECT_EQ(ComboBoxSelection(dialog.Drive1), z);

    // OK now gives the root: the main window's walk starts there. Cancel instead, so as not to
    // walk the build machine's whole file system.
    PostMessageW(dialog.CancelButton, BM_CLICK, 0, 0);
    EXPECT_NE(WaitForFinishedMain(program), nullptr);
}

// A drive letter whose root can't be opened, defined for this Wine session and removed after.
class BrokenDrive {
public:
    BrokenDrive() {
        m_defined = DefineDosDeviceW(0, L"Q:", L"C:\\quorvel-no-such-folder") != FALSE;
    }
    ~BrokenDrive() {
        if (m_defined)
            DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, L"Q:",
                             L"C:\\quorvel-no-such-folder");
    }
    BrokenDrive(const BrokenDrive&) = delete;
    BrokenDrive& operator=(const BrokenDrive&) = delete;
    bool defined() const { return m_defined; }

private:
    bool m_defined = false;
};

TEST(Win32FolderDialog, DriveWhoseRootCannotBeOpenedWarnsAndGoesBack) {
    const BrokenDrive broken;
    if (!broken.defined() || !(GetLogicalDrives() & (1u << ('Q' - 'A'))))
        GTEST_SKIP() << "the system offers no way to define a broken drive here";
    TempDir folder;
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);
    const auto drives = ComboBoxEntries(dialog.Drive1);
    const auto q = std::find(drives.begin(), drives.end(), L"Q:");
    ASSERT_NE(q, drives.end());
    const int before = ComboBoxSelection(dialog.Drive1);
    const auto entriesBefore = ListBoxEntries(dialog.Dir1);

    SendMessageW(dialog.Drive1, CB_SETCURSEL, static_cast<WPARAM>(q - drives.begin()), 0);
    PostMessageW(dialog.window, WM_COMMAND, MAKEWPARAM(IDC_DRIVE1, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(dialog.Drive1));
    HWND box = program.WaitForWindow(kMessageBoxClass, L"Select Start folder", 30s);
    ASSERT_NE(box, nullptr) << "no warning";
    EXPECT_NE(MessageBoxText(box).find(L"Q:\\"), std::wstring::npos) << Utf8(MessageBoxText(box));
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog.window);
    CloseMessageBox(box);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10s));
    EXPECT_EQ(ComboBoxSelection(dialog.Drive1), before);
    EXPECT_EQ(ListBoxEntries(dialog.Dir1), entriesBefore);
    EXPECT_TRUE(IsWindowVisible(dialog.window));
    PostMessageW(dialog.CancelButton, BM_CLICK, 0, 0);
    EXPECT_NE(WaitForFinishedMain(program), nullptr);
}

// Whether the part of the screen where `control` is shows anything but its background colour
// (the colour of its top-left pixel): text has been painted there.
bool ShowsText(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    HDC screen = GetDC(nullptr);
    const COLORREF background = GetPixel(screen, rect.left, rect.top);
    bool painted = false;
    for (int y = rect.top; y < rect.bottom && !painted; ++y)
        for (int x = rect.left; x < rect.right && !painted; ++x)
            painted = GetPixel(screen, x, y) != background;
    ReleaseDC(nullptr, screen);
    return painted;
}

// Waits until the program has taken at least `count` more messages from its queue: a message
// sent to its window is handled only when its thread asks for the next one.
void LetItHandle(HWND window, int count) {
    for (int i = 0; i < count && IsWindow(window); ++i) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    }
}

// Wine's static control paints itself when its text changes, so under Wine this passes even
// without the window's forced repaints; on Windows it is those repaints that put the total on
// screen. Keys and a click queued meanwhile are dropped when the walk ends.
TEST(Win32FolderDialog, TheWindowAndTheTotalAreOnScreenWhileTheWalkHoldsTheThread) {
    // Enough files that the walk takes a while; random payloads compress slowly.
    TempDir folder;
    TextureTree tree(folder.path());
    for (int f = 0; f < 10; ++f)
        for (int i = 0; i < 30; ++i)
            tree.Candidate(
                fs::path(L"f" + std::to_wstring(f)) / (L"t" + std::to_wstring(i) + L".ace"),
                MakeTexture(0, RandomBytes(64 * 1024, static_cast<std::uint32_t>(f * 100 + i))));
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);
    PostMessageW(dialog.OKButton, BM_CLICK, 0, 0);

    // While the walk runs, the program answers no message: yet the window is on screen with
    // its labels painted, the total going up.
    HWND main = program.WaitForWindow(kMainClass);
    ASSERT_NE(main, nullptr);
    HWND lblVersion = GetDlgItem(main, IDC_LBLVERSION);
    HWND cmdOK = GetDlgItem(main, IDOK);
    bool seenBusyAndPainted = false;
    const auto busy = [&] {
        DWORD_PTR ignored = 0;
        return !SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &ignored);
    };
    WaitUntil([&] {
        if (IsWindowEnabled(cmdOK))
            return true; // over
        const bool held = busy();
        const std::wstring text = TextOf(lblVersion);
        if (held && text.rfind(L"Saved ", 0) == 0 && ShowsText(lblVersion) &&
            !IsWindowEnabled(cmdOK))
            seenBusyAndPainted = true;
        return seenBusyAndPainted;
    });
    EXPECT_TRUE(seenBusyAndPainted) << "the total was never seen painted during the walk";
    PressKey(cmdOK, VK_ESCAPE);
    PressKey(cmdOK, VK_RETURN);
    PostMessageW(cmdOK, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(cmdOK, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    // Only when the walk still held the thread after they were queued is it sure they were.
    const bool queuedDuringTheWalk = busy();
    ASSERT_EQ(WaitForFinishedMain(program), main);
    EXPECT_EQ(TextOf(lblVersion), SavedText(tree.Saved()));
    tree.Check();
    LetItHandle(main, 20);
    if (queuedDuringTheWalk) {
        EXPECT_TRUE(IsWindow(main) && program.Running())
            << "input made during the walk was acted on";
    }
}

TEST(Win32FolderDialog, FailureBoxListsWhatCouldNotBeCompressedAndTheRestIsDone) {
    TempDir folder;
    TextureTree tree(folder.path());
    tree.Candidate(L"good.ACE", MakeTexture(0, CompressibleBytes(50'000)));
    // Shorter than a header; its name shown as it is, "&" no mnemonic.
    tree.Bystander(L"short &amp; &x.ACE", Bytes{'T', 'X', 'R', 1, 0});
    Program program(L"", folder.path());
    const DialogControls dialog = WaitForDialog(program);
    ASSERT_NE(dialog.window, nullptr);
    PostMessageW(dialog.OKButton, BM_CLICK, 0, 0);

    HWND box = program.WaitForWindow(kMessageBoxClass, L"Quorvel");
    ASSERT_NE(box, nullptr) << "no failure box";
    const std::wstring text = MessageBoxText(box);
    EXPECT_EQ(text.rfind(L"Not everything could be compressed:", 0), 0u) << Utf8(text);
    EXPECT_NE(text.find(L"short &amp; &x.ACE"), std::wstring::npos) << Utf8(text);
    EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(box, 0xFFFF), GWL_STYLE) & SS_NOPREFIX);
    EXPECT_EQ(text.find(L"good.ACE"), std::wstring::npos) << Utf8(text);
    // The box belongs to the main window, whose cmdOK stays disabled until the box is closed.
    HWND main = GetWindow(box, GW_OWNER);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, IDOK)));
    CloseMessageBox(box);
    ASSERT_EQ(WaitForFinishedMain(program), main);
    EXPECT_EQ(TextOf(GetDlgItem(main, IDC_LBLVERSION)), SavedText(tree.Saved()));
    tree.Check();
}

} // namespace
} // namespace quorvel::test
