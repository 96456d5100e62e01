// The folder-picker dialog as Qt widgets: the user chooses the folder a folder walk starts from.
//
// What the dialog does is decided by its logic, FolderDialog (FolderDialog.h), which this dialog
// owns and serves as its view. A fixed-size dialog with a drive list (Drive1) above a directory
// list (Dir1) and the buttons "OK" and "Cancel" to their right, laid out as designed
// (WindowDesign.h). The creator makes one, shows it modally (exec()), reads `path` once exec()
// returns and deletes it. The dialog never closes itself: OK stores Dir1's open folder in
// `path`, Cancel and the window's close box store an empty `path`, and each then hides the
// dialog, which ends exec() and keeps `path` readable. Neither button is the default or the
// cancel button: Enter presses the button that has the focus, opens the highlighted entry in
// Dir1 and does nothing on Drive1; Escape does nothing. A close asked for by the program
// (close(), the application quitting) goes ahead.
//
// A drive or folder that can't be opened is reported in a warning box (ShowWarning() of the
// toolkit layer, which tests can intercept); Dir1 then shows its open folder read again, and
// Drive1 goes back to that folder's drive.
#pragma once

#include "FolderDialog.h"

#include <QDialog>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QPushButton;

namespace quorvel {

class DirList;
class DriveList;

class fd : public QDialog, private FolderDialogView {
    Q_OBJECT

public:
    // Creates the dialog hidden, with `path` empty, the drive list at the drive of the
    // process's current folder and the directory list at that folder.
    explicit fd(QWidget* parent = nullptr);
    // The same with the drives and folders `source` offers (tests offer drives the system
    // doesn't have); `source` must outlive the dialog.
    explicit fd(FolderSource& source, QWidget* parent = nullptr);
    ~fd() override;

private:
    std::unique_ptr<SystemFolderSource> m_systemSource; // when no source was given
    FolderDialog m_logic;

public:
    // Empty until OK or Cancel; after OK, Dir1's open folder (absolute, with the platform's
    // separators); after Cancel or the close box, empty. The logic's own member.
    std::filesystem::path& path;

    // The dialog's logic, for reading what the lists show.
    const FolderDialog& logic() const { return m_logic; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    fd(FolderSource* source, QWidget* parent);

    // FolderDialogView: what the logic asks of the dialog.
    void showDrives(const std::vector<std::string>& drives, int current) override;
    void selectDrive(int index) override;
    void showFolders(const std::vector<FolderListEntry>& entries, int openRow) override;
    void showWarning(const std::string& text) override;
    void hideDialog() override;

    DriveList* Drive1;
    DirList* Dir1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

} // namespace quorvel
