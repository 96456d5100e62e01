// The folder-picker dialog; see fd.h. Controls sit at fixed positions, designed in twips, in a
// fixed-size client area; the handlers are the logic's, connected explicitly in the constructor.
#include "fd.h"

#include "DirList.h"
#include "DriveList.h"
#include "Toolkit.h"
#include "WindowDesign.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QStringList>

namespace quorvel {
namespace {

QPushButton* makeButton(const QString& caption, const QRect& geometry, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    // Neither button is the dialog's default, not even while it has the focus: Enter elsewhere
    // must press nothing (keyPressEvent presses the focused button itself).
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

fd::fd(QWidget* parent) : fd(nullptr, parent) {}

fd::fd(FolderSource& source, QWidget* parent) : fd(&source, parent) {}

fd::fd(FolderSource* source, QWidget* parent)
    : QDialog(parent), m_systemSource(source ? nullptr : std::make_unique<SystemFolderSource>()),
      m_logic(*this, source ? *source : *m_systemSource), path(m_logic.path) {
    setWindowTitle(QString::fromUtf8(design::DialogCaption));
    SetFixedDialogFrame(*this, design::DialogClientWidth, design::DialogClientHeight, true);

    Drive1 = new DriveList(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(Geometry(design::Drive1));

    Dir1 = new DirList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(Geometry(design::Dir1));

    OKButton = makeButton(tr("OK"), Geometry(design::OKButton), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    CancelButton = makeButton(tr("Cancel"), Geometry(design::CancelButton), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, Dir1);
    setTabOrder(Dir1, Drive1);
    OKButton->setFocus();

    connect(OKButton, &QPushButton::clicked, this, [this] { m_logic.OKButton_Click(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { m_logic.CancelButton_Click(); });
    connect(Drive1, &DriveList::picked, this, [this](int index) { m_logic.Drive1_Change(index); });
    connect(Dir1, &DirList::opened, this, [this](int row) { m_logic.Dir1_Open(row); });

    m_logic.Load();
}

fd::~fd() = default;

void fd::closeEvent(QCloseEvent* event) {
    // The platform delivers the close box, the system menu and Alt+F4 as spontaneous close
    // events; close() from code and the application quitting send non-spontaneous ones.
    const bool refuse =
        m_logic.Form_QueryUnload(event->spontaneous() ? FolderDialog::CloseReason::UserThroughFrame
                                                      : FolderDialog::CloseReason::Other);
    event->setAccepted(!refuse);
}

void fd::keyPressEvent(QKeyEvent* event) {
    // QDialog rejects on Escape; this dialog has no cancel key.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    // Enter presses the button that has the focus; on Drive1 it does nothing (Dir1 takes it
    // before it gets here). QDialog would press the default button, and there is none.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focused = focusWidget();
        if (focused == OKButton || focused == CancelButton)
            static_cast<QPushButton*>(focused)->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void fd::showDrives(const std::vector<std::string>& drives, int current) {
    QStringList names;
    for (const std::string& drive : drives)
        names << QString::fromStdString(drive);
    Drive1->setDrives(names, current);
}

void fd::selectDrive(int index) {
    Drive1->selectDrive(index);
}

void fd::showFolders(const std::vector<FolderListEntry>& entries, int openRow) {
    Dir1->showEntries(entries, openRow);
}

void fd::showWarning(const std::string& text) {
    ShowWarning(this, windowTitle(), QString::fromStdString(text));
}

void fd::hideDialog() {
    hide();
}

} // namespace quorvel
