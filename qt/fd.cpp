// The folder-picker dialog; see fd.h. Controls sit at fixed positions, designed in twips, in a
// fixed-size client area; the handlers are connected explicitly in the constructor.
#include "fd.h"

#include "DirList.h"
#include "DriveList.h"
#include "Toolkit.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace quorvel {
namespace {

QPushButton* makeButton(const QString& caption, const QRect& geometry, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    // Enter must not press a button: a button isn't default even while it has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

fd::fd(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Select Start folder"));
    SetFixedDialogFrame(*this, 6030, 4410, true);

    Drive1 = new DriveList(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(TwipsRect(60, 60, 4455, 315));

    Dir1 = new DirList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(TwipsRect(60, 420, 4515, 3915));

    OKButton = makeButton(tr("OK"), TwipsRect(4680, 120, 1215, 375), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    CancelButton = makeButton(tr("Cancel"), TwipsRect(4680, 600, 1215, 375), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, Dir1);
    setTabOrder(Dir1, Drive1);
    OKButton->setFocus();

    connect(OKButton, &QPushButton::clicked, this, &fd::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &fd::CancelButton_Click);
    connect(Drive1, &DriveList::changed, this, &fd::Drive1_Change);
    connect(Dir1, &DirList::openFailed, this, &fd::reportOpenFailure);
}

void fd::OKButton_Click() {
    path = Dir1->currentFolder();
    hide();
}

void fd::CancelButton_Click() {
    path.clear();
    hide();
}

void fd::Drive1_Change() {
    const QString root = DriveList::rootOf(Drive1->drive());
    QString reason;
    if (!Dir1->setCurrentFolder(root, &reason))
        reportOpenFailure(root, reason);
}

void fd::Form_QueryUnload(bool& cancel, CloseReason reason) {
    if (reason != CloseReason::UserThroughFrame)
        return;
    cancel = true;
    CancelButton_Click();
}

void fd::closeEvent(QCloseEvent* event) {
    // The platform delivers the close box, the system menu and Alt+F4 as spontaneous close
    // events; close() from code and the application quitting send non-spontaneous ones.
    bool cancel = false;
    Form_QueryUnload(cancel,
                     event->spontaneous() ? CloseReason::UserThroughFrame : CloseReason::Other);
    event->setAccepted(!cancel);
}

void fd::keyPressEvent(QKeyEvent* event) {
    // QDialog rejects on Escape; this dialog has no cancel key.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void fd::reportOpenFailure(const QString& folder, const QString& reason) {
    Drive1->selectDriveOf(Dir1->currentFolder());
    ShowWarning(this, windowTitle(),
                tr("Could not open the folder %1: %2. The folder list still shows %3.")
                    .arg(folder, reason, Dir1->currentFolder()));
}

} // namespace quorvel
