#pragma once
// FolderDialog: what the folder-picker dialog does, without a toolkit.
//
// The dialog offers a drive list (Drive1) above a folder list (Dir1) and the buttons OK and
// Cancel. It starts at the drive and folder of the process's current folder. Dir1 shows, top
// to bottom, the drive's root, each folder on the way down, the open folder (highlighted), then
// the open folder's direct subfolders, hidden ones included, sorted without regard to case.
// Opening an entry (double-click, or Enter on the highlighted entry) makes it the open folder;
// highlighting alone changes nothing. OK stores the open folder in `path`, Cancel and the close
// box store an empty `path`, and each then hides the dialog, which ends the modal show. A
// folder or drive root that can't be listed is never entered: Dir1 keeps its open folder, read
// again so that a folder that has gone no longer shows, Drive1 goes back to the drive of that
// folder, and a warning box says why.
//
// A front end builds the controls and implements FolderDialogView; FolderSource is where the
// drives and folders come from (SystemFolderSource in the program, a stand-in in tests).

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace quorvel {

// One line of Dir1.
struct FolderListEntry {
    std::string name; // as shown, UTF-8: the root as its full path ("/", "C:\"), else the name
    int depth = 0;    // indentation steps: 0 for the root
    bool open =
        false; // on the path down to the open folder (an open-folder icon), else a subfolder
};

// The dialog as the logic sees it. Texts are UTF-8. Every call comes on the UI thread.
class FolderDialogView {
public:
    virtual ~FolderDialogView() = default;
    // Replaces Drive1's items by `drives`, with the item at `current` selected.
    virtual void showDrives(const std::vector<std::string>& drives, int current) = 0;
    // Selects Drive1's item at `index`, raising no change notification.
    virtual void selectDrive(int index) = 0;
    // Replaces Dir1's entries, highlights the one at `openRow` and scrolls it into view.
    virtual void showFolders(const std::vector<FolderListEntry>& entries, int openRow) = 0;
    // A modal warning box with the dialog's caption as title; returns once it is closed.
    virtual void showWarning(const std::string& text) = 0;
    // Hides the dialog, which ends its modal show; the dialog stays loaded.
    virtual void hideDialog() = 0;
};

// The drives and folders the dialog offers.
class FolderSource {
public:
    virtual ~FolderSource() = default;
    // The places a walk can start from: drive designations ("C:", "D:") on Windows, the real
    // file systems' mount points elsewhere.
    virtual std::vector<std::filesystem::path> Drives() = 0;
    // The process's current folder, absolute.
    virtual std::filesystem::path CurrentFolder() = 0;
    // The names of the folders directly inside `folder`, hidden ones included, in any order;
    // on failure sets `error` and returns nothing.
    virtual std::vector<std::filesystem::path> Subfolders(const std::filesystem::path& folder,
                                                          std::error_code& error) = 0;
};

class FolderDialog {
public:
    // Why the dialog is asked to close.
    enum class CloseReason {
        UserThroughFrame, // the close box, the system menu or its keyboard equivalent
        Other,            // the program itself, the application quitting, the session ending
    };

    // Nothing is shown until Load().
    FolderDialog(FolderDialogView& view, FolderSource& source);

    // Fills Drive1 (the current folder's drive selected) and Dir1 (the current folder open; if
    // it can't be listed, its path without subfolders).
    void Load();

    // Empty until OK or Cancel; after OK, the open folder; after Cancel or the close box, empty.
    std::filesystem::path path;

    // Dir1's open folder: absolute, with the platform's separators.
    const std::filesystem::path& openFolder() const { return m_open; }
    // Opens `folder` in Dir1. On failure returns false with `error` set and changes nothing.
    bool SetOpenFolder(const std::filesystem::path& folder, std::error_code& error);

    // The handlers the front end calls.
    void OKButton_Click();
    void CancelButton_Click();
    // The user picked Drive1's item at `index` (a pick of the current item is not a change).
    void Drive1_Change(int index);
    // The user opened Dir1's entry at `row` (double-click, or Enter on the highlighted entry).
    void Dir1_Open(int row);
    // The dialog is asked to close for `reason`; returns true to refuse the close. A close by
    // the user through the frame is refused and handled as Cancel; any other close goes ahead,
    // `path` untouched.
    bool Form_QueryUnload(CloseReason reason);

    // What the lists show now.
    const std::vector<std::filesystem::path>& drives() const { return m_drives; }
    int currentDrive() const { return m_currentDrive; }
    const std::vector<FolderListEntry>& entries() const { return m_entries; }

private:
    // Makes `folder` the open folder with `subfolders` below it and shows the list.
    void Show(const std::filesystem::path& folder,
              const std::vector<std::filesystem::path>& subfolders);
    // The listed drive holding `folder` (the one with the longest root), or -1.
    int DriveOf(const std::filesystem::path& folder) const;
    // Dir1's open folder read again, Drive1 back to its drive (or `driveBefore`), then the
    // warning.
    void ReportOpenFailure(const std::filesystem::path& folder, const std::error_code& error,
                           int driveBefore);

    FolderDialogView& m_view;
    FolderSource& m_source;
    std::vector<std::filesystem::path> m_drives;
    int m_currentDrive = -1;
    std::filesystem::path m_open;
    std::vector<FolderListEntry> m_entries;
    std::vector<std::filesystem::path> m_entryPaths; // the folder behind each entry
};

// The system's drives, current folder and folder listings: the drives and subfolders as the
// walk's lister gives them (SystemDirectoryLister), a drive's root as RootOfDrive (System.h) says.
class SystemFolderSource final : public FolderSource {
public:
    std::vector<std::filesystem::path> Drives() override;
    std::filesystem::path CurrentFolder() override;
    std::vector<std::filesystem::path> Subfolders(const std::filesystem::path& folder,
                                                  std::error_code& error) override;
};

} // namespace quorvel
