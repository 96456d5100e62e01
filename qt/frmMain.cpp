#include "frmMain.h"

#include "StatusLabel.h"
#include "Toolkit.h"
#include "WindowDesign.h"
#include "fd.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QPalette>
#include <QPushButton>
#include <utility>

namespace quorvel {

namespace {

StatusLabel* NewStatusLabel(QWidget& window, Shorten how) {
    auto* label = new StatusLabel(how, &window);
    label->setFont(StatusLabelFont());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

QColor Line1Colour() {
    return QColor(design::Line1Gray, design::Line1Gray, design::Line1Gray);
}

} // namespace

frmMain::frmMain(NativeString commandLine, MainWindow::Options options, QWidget* parent)
    // lblTitle shows a path: shortened in the middle, its file name kept. lblVersion shows a
    // total or a reason: shortened at the end.
    : QWidget(parent), lblTitle(NewStatusLabel(*this, Shorten::Middle)),
      lblVersion(NewStatusLabel(*this, Shorten::End)),
      Line1(AddLine(*this, design::Line1Left, design::Line1Top, design::Line1Right,
                    design::Line1Top, Line1Colour())),
      cmdOK(new QPushButton(tr("OK"), this)),
      m_logic(*this, std::move(commandLine), std::move(options)) {
    setWindowTitle(QString::fromUtf8(design::MainCaption));
    setWindowIcon(ProgramIcon());
    SetFixedDialogFrame(*this, design::MainClientWidth, design::MainClientHeight, false);

    lblTitle->setGeometry(Geometry(design::lblTitle));
    QPalette titlePalette = lblTitle->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    lblTitle->setPalette(titlePalette);

    lblVersion->setGeometry(Geometry(design::lblVersion));

    cmdOK->setGeometry(Geometry(design::cmdOK));
    cmdOK->setDefault(true);
    cmdOK->setFocusPolicy(Qt::StrongFocus);

    connect(cmdOK, &QPushButton::clicked, this, [this] { m_logic.cmdOK_Click(); });
}

frmMain::~frmMain() = default;

void frmMain::Form_Load() {
    m_logic.Form_Load();
}

void frmMain::closeEvent(QCloseEvent* event) {
    event->setAccepted(m_logic.QueryUnload());
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        if (cmdOK->isEnabled())
            cmdOK->click();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void frmMain::setTitle(const std::string& text) {
    lblTitle->showText(QString::fromStdString(text));
}

void frmMain::setStatus(const std::string& text) {
    lblVersion->showText(QString::fromStdString(text));
}

void frmMain::repaintStatus() {
    RepaintNow(*lblVersion);
}

void frmMain::setStatusDetail(const std::string& text) {
    lblVersion->setDetail(QString::fromStdString(text));
}

void frmMain::setOkEnabled(bool enabled) {
    // What the user typed or clicked, or a close asked for, while the work held the window was
    // refused then, and is not acted on now.
    if (enabled)
        DiscardQueuedInput();
    cmdOK->setEnabled(enabled);
}

void frmMain::focusOk() {
    cmdOK->setFocus();
}

void frmMain::showNow() {
    show();
    RepaintNow(*this);
}

std::filesystem::path frmMain::pickStartFolder() {
    // No owner window: the dialog comes before the main window is on screen.
    m_dialog = std::make_unique<fd>();
    ShowModal(*m_dialog);
    return m_dialog->path;
}

void frmMain::unloadFolderDialog() {
    m_dialog.reset();
}

void frmMain::showWarning(const std::string& text) {
    // Keys typed during a long walk are still queued; one of them must not close the box
    // before it has been read.
    DiscardQueuedInput();
    ShowWarning(this, windowTitle(), QString::fromStdString(text));
}

void frmMain::closeWindow() {
    close();
}

} // namespace quorvel
