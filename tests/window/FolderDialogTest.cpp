// Tests of the folder-picker dialog's logic: what Drive1 and Dir1 show, what opening an entry,
// a drive change, OK, Cancel and the close box do, over a made-up set of drives and folders;
// then the system's folder source and the dialog over a real tree, hidden folders included.
#include "FolderDialog.h"

#include "DisplayPath.h"
#include "System.h"
#include "TempDir.h"
#include "TextureError.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <string.h>
#include <windows.h>
#else
#include "ChildProcess.h"
#endif

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

#ifdef _WIN32
const fs::path kDriveA = L"C:", kRootA = L"C:\\", kDriveB = L"D:", kRootB = L"D:\\";
#else
const fs::path kDriveA = "/", kRootA = "/", kDriveB = "/media/usb", kRootB = "/media/usb";
#endif

// Drives and folders as a test sets them up; a folder not listed can't be opened.
class FakeSource : public FolderSource {
public:
    std::vector<fs::path> Drives() override { return drives; }
    fs::path CurrentFolder() override { return current; }
    std::vector<fs::path> Subfolders(const fs::path& folder, std::error_code& error) override {
        asked.push_back(folder);
        const auto failure = failing.find(folder);
        if (failure != failing.end()) {
            error = failure->second;
            return {};
        }
        const auto found = folders.find(folder);
        if (found == folders.end()) {
            error = std::make_error_code(std::errc::no_such_file_or_directory);
            return {};
        }
        return found->second;
    }

    std::vector<fs::path> drives{kDriveA, kDriveB};
    fs::path current;
    std::map<fs::path, std::vector<fs::path>> folders;
    std::map<fs::path, std::error_code> failing;
    std::vector<fs::path> asked;
};

class RecordingView : public FolderDialogView {
public:
    void showDrives(const Strings& names, int current) override {
        drives = names;
        currentDrive = current;
    }
    void selectDrive(int index) override {
        selected.push_back(index);
        currentDrive = index;
    }
    void showFolders(const std::vector<FolderListEntry>& shown, int row) override {
        entries.clear();
        for (const FolderListEntry& entry : shown)
            entries.push_back(entry.name + (entry.open ? " open " : " closed ") +
                              std::to_string(entry.depth));
        openRow = row;
        ++listings;
    }
    void showWarning(const std::string& text) override { warnings.push_back(text); }
    void hideDialog() override { ++hides; }

    Strings drives;
    int currentDrive = -1;
    std::vector<int> selected;
    Strings entries; // "name open|closed depth"
    int openRow = -1;
    int listings = 0;
    Strings warnings;
    int hides = 0;
};

// Row of the entry named `name` in the view, or -1.
int RowOf(const RecordingView& view, const std::string& name) {
    for (std::size_t i = 0; i < view.entries.size(); ++i) {
        if (view.entries[i].rfind(name + " ", 0) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

class FolderDialogTest : public ::testing::Test {
protected:
    FolderDialogTest() {
        m_home = kRootA / "home" / "ann";
        m_source.current = m_home;
        m_source.folders[kRootA] = {"home"};
        m_source.folders[kRootA / "home"] = {"ann"};
        m_source.folders[m_home] = {"Zed", "alpha", ".hidden", "c", "B", u8"ému", "eve", u8"Émile"};
        m_source.folders[m_home / ".hidden"] = {"inner"};
        m_source.folders[m_home / ".hidden" / "inner"] = {};
        m_source.folders[m_home / "alpha"] = {};
        m_source.folders[kRootB] = {"pictures"};
        m_source.folders[kRootB / "pictures"] = {};
    }

    // The open entries from the root down to `folder` under kRootA: "/ open 0", "home open 1"...
    static Strings PathEntries(const std::vector<std::string>& names) {
        Strings out{DisplayPath(kRootA) + " open 0"};
        for (std::size_t i = 0; i < names.size(); ++i)
            out.push_back(names[i] + " open " + std::to_string(i + 1));
        return out;
    }

    fs::path m_home;
    FakeSource m_source;
    RecordingView m_view;
    FolderDialog m_dialog{m_view, m_source};
};

// --- what the lists show ---------------------------------------------------------------------

TEST_F(FolderDialogTest, LoadShowsThePathDownToTheCurrentFolderThenItsSubfoldersSorted) {
    m_dialog.Load();

    EXPECT_EQ(m_view.drives, (Strings{DisplayPath(kDriveA), DisplayPath(kDriveB)}));
    EXPECT_EQ(m_view.currentDrive, 0);
    Strings expected = PathEntries({"home", "ann"});
    // Case is ignored in the order (Latin letters beyond ASCII too); hidden folders are listed.
    for (const char* name : {".hidden", "alpha", "B", "c", "eve", "Zed", "Émile", "ému"})
        expected.push_back(std::string(name) + " closed 3");
    EXPECT_EQ(m_view.entries, expected);
    EXPECT_EQ(m_view.openRow, 2);
    EXPECT_EQ(m_dialog.openFolder(), m_home);
    EXPECT_TRUE(m_dialog.path.empty());
    EXPECT_TRUE(m_view.warnings.empty());
}

TEST_F(FolderDialogTest, TheCurrentDriveIsTheOneWithTheLongestRootHoldingTheCurrentFolder) {
    m_source.current = kRootB / "pictures";
    m_source.drives = {kDriveB, kDriveA}; // the order of the system's list is kept
    m_dialog.Load();
    EXPECT_EQ(m_view.currentDrive, 0);
    EXPECT_EQ(m_dialog.currentDrive(), 0);
    EXPECT_EQ(m_dialog.openFolder(), kRootB / "pictures");
}

TEST_F(FolderDialogTest, ACurrentFolderThatCannotBeListedShowsItsPathAlone) {
    m_source.failing[m_home] = std::make_error_code(std::errc::permission_denied);
    m_dialog.Load();
    EXPECT_EQ(m_view.entries, PathEntries({"home", "ann"}));
    EXPECT_EQ(m_view.openRow, 2);
    EXPECT_TRUE(m_view.warnings.empty());
    m_dialog.OKButton_Click();
    EXPECT_EQ(m_dialog.path, m_home);
}

// --- opening entries, OK and Cancel ----------------------------------------------------------

TEST_F(FolderDialogTest, OkAtOnceGivesTheCurrentFolderAndHides) {
    m_dialog.Load();
    EXPECT_EQ(m_view.hides, 0);
    m_dialog.OKButton_Click();
    EXPECT_EQ(m_dialog.path, m_home);
    EXPECT_EQ(m_view.hides, 1);
}

TEST_F(FolderDialogTest, OpeningEntriesMovesDownAndUpAndOkGivesTheOpenFolder) {
    m_dialog.Load();
    m_dialog.Dir1_Open(RowOf(m_view, "alpha"));
    EXPECT_EQ(m_dialog.openFolder(), m_home / "alpha");
    EXPECT_EQ(m_view.entries, PathEntries({"home", "ann", "alpha"}));
    EXPECT_EQ(m_view.openRow, 3);

    m_dialog.Dir1_Open(1); // "home", above
    EXPECT_EQ(m_dialog.openFolder(), kRootA / "home");
    Strings expected = PathEntries({"home"});
    expected.push_back("ann closed 2");
    EXPECT_EQ(m_view.entries, expected);

    m_dialog.OKButton_Click();
    EXPECT_EQ(m_dialog.path, kRootA / "home");
}

TEST_F(FolderDialogTest, AFolderInsideAHiddenFolderCanBePicked) {
    m_dialog.Load();
    m_dialog.Dir1_Open(RowOf(m_view, ".hidden"));
    m_dialog.Dir1_Open(RowOf(m_view, "inner"));
    m_dialog.OKButton_Click();
    EXPECT_EQ(m_dialog.path, m_home / ".hidden" / "inner");
}

TEST_F(FolderDialogTest, RowsOutsideTheListChangeNothing) {
    m_dialog.Load();
    const int listings = m_view.listings;
    m_dialog.Dir1_Open(-1);
    m_dialog.Dir1_Open(static_cast<int>(m_view.entries.size()));
    m_dialog.Drive1_Change(-1);
    m_dialog.Drive1_Change(2);
    EXPECT_EQ(m_view.listings, listings);
    EXPECT_TRUE(m_view.warnings.empty());
}

TEST_F(FolderDialogTest, OpeningAFolderThatVanishedWarnsAndReadsTheListAgain) {
    m_dialog.Load();
    Strings expected = m_view.entries;
    expected[static_cast<std::size_t>(RowOf(m_view, "alpha"))] = "B closed 3";
    expected[static_cast<std::size_t>(RowOf(m_view, "B"))] = "beta closed 3";
    std::vector<fs::path>& inHome = m_source.folders[m_home];
    inHome.erase(std::find(inHome.begin(), inHome.end(), "alpha"));
    inHome.push_back("beta"); // made meanwhile
    m_source.folders.erase(m_home / "alpha");

    m_dialog.Dir1_Open(RowOf(m_view, "alpha"));

    EXPECT_EQ(m_view.entries, expected);
    EXPECT_EQ(m_view.openRow, 2);
    EXPECT_EQ(m_dialog.openFolder(), m_home);
    const Strings warning{
        "Could not open the folder " + DisplayPath(m_home / "alpha") + ": " +
        DescribeError(std::make_error_code(std::errc::no_such_file_or_directory)) +
        ". The folder list still shows " + DisplayPath(m_home) + "."};
    EXPECT_EQ(m_view.warnings, warning);
    EXPECT_EQ(m_view.hides, 0);

    // With the open folder gone too, its path stays, without subfolders.
    m_source.folders.erase(m_home);
    m_dialog.Dir1_Open(RowOf(m_view, "beta"));
    EXPECT_EQ(m_view.entries, PathEntries({"home", "ann"}));
    EXPECT_EQ(m_dialog.openFolder(), m_home);
    EXPECT_EQ(m_view.warnings.size(), 2u);
}

TEST_F(FolderDialogTest, CancelAndTheCloseBoxGiveAnEmptyPathAndHide) {
    m_dialog.Load();
    m_dialog.CancelButton_Click();
    EXPECT_TRUE(m_dialog.path.empty());
    EXPECT_EQ(m_view.hides, 1);

    m_dialog.OKButton_Click();
    ASSERT_FALSE(m_dialog.path.empty());
    EXPECT_TRUE(m_dialog.Form_QueryUnload(FolderDialog::CloseReason::UserThroughFrame));
    EXPECT_TRUE(m_dialog.path.empty());
    EXPECT_EQ(m_view.hides, 3);
}

TEST_F(FolderDialogTest, AnyOtherCloseGoesAheadWithThePathUntouched) {
    m_dialog.Load();
    m_dialog.OKButton_Click();
    EXPECT_FALSE(m_dialog.Form_QueryUnload(FolderDialog::CloseReason::Other));
    EXPECT_EQ(m_dialog.path, m_home);
    EXPECT_EQ(m_view.hides, 1);
}

// --- drive changes ---------------------------------------------------------------------------

TEST_F(FolderDialogTest, ADriveChangeOpensTheDrivesRootAndForgetsTheFolderBefore) {
    m_dialog.Load();
    m_dialog.Dir1_Open(RowOf(m_view, "alpha"));

    m_dialog.Drive1_Change(1);

    EXPECT_EQ(m_dialog.openFolder(), kRootB);
    EXPECT_EQ(m_dialog.currentDrive(), 1);
#ifdef _WIN32
    const Strings expected{DisplayPath(kRootB) + " open 0", "pictures closed 1"};
#else
    // A mount point is shown on its way down from "/", like any other folder.
    const Strings expected{"/ open 0", "media open 1", "usb open 2", "pictures closed 3"};
#endif
    EXPECT_EQ(m_view.entries, expected);
    EXPECT_TRUE(m_view.warnings.empty());
    EXPECT_TRUE(m_view.selected.empty());
    m_dialog.OKButton_Click();
    EXPECT_EQ(m_dialog.path, kRootB);
}

TEST_F(FolderDialogTest, PickingTheCurrentDriveIsNoChange) {
    m_dialog.Load();
    m_dialog.Dir1_Open(RowOf(m_view, "alpha"));
    const int listings = m_view.listings;
    m_dialog.Drive1_Change(0);
    EXPECT_EQ(m_view.listings, listings);
    EXPECT_EQ(m_dialog.openFolder(), m_home / "alpha");
}

TEST_F(FolderDialogTest, AFailedDriveChangeWarnsAndPutsDrive1Back) {
    const std::error_code gone = std::make_error_code(std::errc::no_such_device);
    m_source.failing[kRootB] = gone;
    m_dialog.Load();
    const Strings before = m_view.entries;

    m_dialog.Drive1_Change(1);

    const Strings expected{"Could not open the folder " + DisplayPath(kRootB) + ": " +
                           DescribeError(gone) + ". The folder list still shows " +
                           DisplayPath(m_home) + "."};
    EXPECT_EQ(m_view.warnings, expected);
    EXPECT_EQ(m_view.selected, std::vector<int>{0});
    EXPECT_EQ(m_dialog.currentDrive(), 0);
    EXPECT_EQ(m_view.entries, before);
    EXPECT_EQ(m_dialog.openFolder(), m_home);
    EXPECT_EQ(m_view.hides, 0);
    EXPECT_TRUE(m_dialog.path.empty());

    // The same drive picked again is tried again, not taken as no change.
    m_source.failing.clear();
    m_dialog.Drive1_Change(1);
    EXPECT_EQ(m_dialog.openFolder(), kRootB);
}

TEST(RootOfDrive, IsTheDesignationWithASeparatorOnWindowsAndTheMountPointElsewhere) {
#ifdef _WIN32
    EXPECT_EQ(RootOfDrive(L"C:").native(), L"C:\\");
    EXPECT_EQ(RootOfDrive(L"D:\\").native(), L"D:\\");
#else
    EXPECT_EQ(RootOfDrive("/").native(), "/");
    EXPECT_EQ(RootOfDrive("/media/usb").native(), "/media/usb");
#endif
}

// --- the system's folders --------------------------------------------------------------------

// A folder the file manager hides: a dot name on POSIX, the hidden attribute on Windows.
fs::path MakeHiddenFolder(const fs::path& parent) {
#ifdef _WIN32
    const fs::path hidden = parent / "secret";
    fs::create_directory(hidden);
    EXPECT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
    const fs::path hidden = parent / ".secret";
    fs::create_directory(hidden);
#endif
    return hidden;
}

std::vector<std::string> Names(std::vector<fs::path> paths) {
    std::vector<std::string> names;
    for (const fs::path& path : paths)
        names.push_back(DisplayPath(path));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SystemFolderSource, ListsTheFoldersInAFolderHiddenOnesIncludedButNoFiles) {
    TempDir dir;
    fs::create_directories(dir / "one" / "below");
    fs::create_directory(dir / "Two");
    const fs::path hidden = MakeHiddenFolder(dir.path());
    std::ofstream(dir / "file.ace") << "x";
    SystemFolderSource source;

    std::error_code error;
    const std::vector<fs::path> names = source.Subfolders(dir.path(), error);

    EXPECT_FALSE(error);
    EXPECT_EQ(Names(names), Names({"one", "Two", hidden.filename()}));
}

#ifndef _WIN32 // symbolic links made with std::filesystem are a POSIX test
TEST(SystemFolderSource, ListsLinksToFoldersButNotDanglingLinksOrLinksToFiles) {
    TempDir dir;
    fs::create_directory(dir / "real");
    std::ofstream(dir / "file") << "x";
    fs::create_directory_symlink(dir / "real", dir / "toFolder");
    fs::create_symlink(dir / "file", dir / "toFile");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    SystemFolderSource source;

    std::error_code error;
    EXPECT_EQ(Names(source.Subfolders(dir.path(), error)), (Strings{"real", "toFolder"}));
    EXPECT_FALSE(error);
}
#endif

TEST(SystemFolderSource, FailsForAMissingFolderAndForAFile) {
    TempDir dir;
    std::ofstream(dir / "file") << "x";
    SystemFolderSource source;
    for (const fs::path& target : {dir / "missing", dir / "file"}) {
        std::error_code error;
        EXPECT_TRUE(source.Subfolders(target, error).empty());
        EXPECT_TRUE(error) << DisplayPath(target);
    }
}

TEST(SystemFolderSource, OneOfTheDrivesHoldsTheCurrentFolder) {
    SystemFolderSource source;
    const fs::path current = source.CurrentFolder();
    ASSERT_TRUE(current.is_absolute());
    const std::vector<fs::path> drives = source.Drives();
    ASSERT_FALSE(drives.empty());

    // A dialog over the system's drives selects the drive of the current folder.
    RecordingView view;
    FolderDialog dialog(view, source);
    dialog.Load();
    ASSERT_GE(dialog.currentDrive(), 0);
    const fs::path root =
        RootOfDrive(dialog.drives()[static_cast<std::size_t>(dialog.currentDrive())]);
    const std::string shownRoot = DisplayPath(root);
    const std::string shownCurrent = DisplayPath(current);
#ifdef _WIN32
    EXPECT_EQ(shownRoot.size(), 3u) << shownRoot;
    EXPECT_EQ(_strnicmp(shownCurrent.c_str(), shownRoot.c_str(), 3), 0) << shownCurrent;
#else
    EXPECT_EQ(shownCurrent.rfind(shownRoot, 0), 0u) << shownRoot;
#endif
    EXPECT_EQ(dialog.openFolder(), current);
}

// The system's folders with the current folder fixed, for a dialog over a real tree.
class TreeSource : public FolderSource {
public:
    explicit TreeSource(fs::path current) : m_current(std::move(current)) {}
    std::vector<fs::path> Drives() override { return m_system.Drives(); }
    fs::path CurrentFolder() override { return m_current; }
    std::vector<fs::path> Subfolders(const fs::path& folder, std::error_code& error) override {
        return m_system.Subfolders(folder, error);
    }

private:
    SystemFolderSource m_system;
    fs::path m_current;
};

TEST(FolderDialogOverARealTree, AFolderInsideAHiddenFolderCanBePicked) {
    TempDir dir;
    const fs::path hidden = MakeHiddenFolder(dir.path());
    fs::create_directory(hidden / "inner");
    fs::create_directory(dir / "plain");
    TreeSource source(dir.path());
    RecordingView view;
    FolderDialog dialog(view, source);

    dialog.Load();
    ASSERT_EQ(dialog.openFolder(), dir.path());
    dialog.Dir1_Open(RowOf(view, DisplayPath(hidden.filename())));
    dialog.Dir1_Open(RowOf(view, "inner"));
    dialog.OKButton_Click();

    EXPECT_EQ(dialog.path, hidden / "inner");
    EXPECT_TRUE(view.warnings.empty());
}

#ifndef _WIN32 // permission bits and privilege drops are a POSIX test
TEST(FolderDialogOverARealTree, AFolderTheUserCannotListIsNotEntered) {
    // Root reads any folder, so the refusal is checked in a child that has dropped to nobody.
    // The folder may be passed through but not read: opening it must fail, not show it empty.
    TempDir area;
    const fs::path locked = area / "locked";
    fs::create_directories(locked / "inside");
    fs::permissions(locked, fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_exec |
                                fs::perms::others_exec);
    if (const auto reason = WhyPrivilegesCannotBeDropped())
        GTEST_SKIP() << *reason;

    const ChildStatus status = RunAsNobody([&] {
        TreeSource source(area.path());
        RecordingView view;
        FolderDialog dialog(view, source);
        dialog.Load();
        const Strings before = view.entries;
        dialog.Dir1_Open(RowOf(view, "locked"));
        const bool refused = dialog.openFolder() == area.path() && view.entries == before &&
                             view.warnings.size() == 1;
        return refused ? 0 : 1;
    });
    EXPECT_TRUE(status.exitedWith(0)) << status.describe();
}
#endif

} // namespace
} // namespace quorvel::test
