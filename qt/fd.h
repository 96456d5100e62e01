// The folder-picker dialog: the user chooses the folder a folder walk starts from.
//
// A fixed-size dialog with a drive list (Drive1) above a directory list (Dir1) and the buttons
// "OK" and "Cancel" to their right. The creator makes one, shows it modally (exec()), reads
// `path` once exec() returns and deletes it. The dialog never closes itself: OK stores Dir1's
// open folder in `path`, Cancel and the window's close box store an empty `path`, and each
// then hides the dialog, which ends exec() and keeps `path` readable. Neither button is bound
// to Enter or Escape; Escape does nothing. A close asked for by the program (close(), the
// application quitting) goes ahead.
//
// A drive or folder that can't be opened is reported in a warning box (ShowWarning() of the
// toolkit layer, which tests can intercept); Drive1 then goes back to the drive of the folder
// Dir1 still shows.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

namespace quorvel {

class DirList;
class DriveList;

class fd : public QDialog {
    Q_OBJECT

public:
    // Why the window is asked to close.
    enum class CloseReason {
        UserThroughFrame, // the close box, the system menu or its keyboard equivalent
        Other,            // the program itself, the application quitting, the session ending
    };

    // Creates the dialog hidden, with `path` empty, the drive list at the drive of the
    // process's current folder and the directory list at that folder.
    explicit fd(QWidget* parent = nullptr);

    // Empty until OK or Cancel; after OK, Dir1's open folder exactly as Dir1 gives it; after
    // Cancel or the close box, empty.
    QString path;

    // The window is asked to close for `reason`; setting `cancel` refuses the close. A close by
    // the user through the frame is refused and handled as Cancel (empty `path`, hidden);
    // any other close goes ahead, `path` untouched.
    void Form_QueryUnload(bool& cancel, CloseReason reason);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OKButton_Click();
    void CancelButton_Click();
    void Drive1_Change();
    void reportOpenFailure(const QString& folder, const QString& reason);

    DriveList* Drive1;
    DirList* Dir1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

} // namespace quorvel
