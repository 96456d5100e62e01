#include "frmMain.h"

#include "Brevora.h"
#include "DirectoryLister.h"
#include "FailureText.h"
#include "TextureError.h"
#include "TextureScan.h"
#include "Toolkit.h"
#include "fd.h"

#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <new>
#include <utility>

namespace quorvel {

namespace {

// The command line as text for the window; the path itself stays native.
QString DisplayText(const NativeString& text) {
#ifdef _WIN32
    return QString::fromStdWString(text);
#else
    return QFile::decodeName(QByteArray::fromStdString(text));
#endif
}

// A folder the dialog returned, as a native path.
std::filesystem::path NativePath(const QString& folder) {
#ifdef _WIN32
    return std::filesystem::path(folder.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(folder).toStdString());
#endif
}

QLabel* NewStatusLabel(QWidget& window) {
    auto* label = new QLabel(&window);
    label->setFont(StatusLabelFont());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

} // namespace

frmMain::frmMain(NativeString commandLine, CompressStep compress, QWidget* parent)
    : QWidget(parent), lblTitle(NewStatusLabel(*this)), lblVersion(NewStatusLabel(*this)),
      Line1(AddLine(*this, 60, 1260, 8700, 1260, QColor(128, 128, 128))),
      cmdOK(new QPushButton(tr("OK"), this)), m_commandLine(std::move(commandLine)),
      m_compress(compress ? std::move(compress)
                          : CompressStep([](Brevora& compressor, const FileInFolder& file) {
                                return CompressTextureFile(compressor, file);
                            })) {
    setWindowTitle(QStringLiteral("Quorvel"));
    setWindowIcon(ProgramIcon());
    SetFixedDialogFrame(*this, 8850, 1965, false);

    lblTitle->setGeometry(TwipsRect(240, 120, 8505, 480));
    QPalette titlePalette = lblTitle->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    lblTitle->setPalette(titlePalette);

    lblVersion->setGeometry(TwipsRect(240, 780, 5265, 225));

    cmdOK->setGeometry(TwipsRect(3780, 1440, 1260, 345));
    cmdOK->setDefault(true);
    cmdOK->setFocusPolicy(Qt::StrongFocus);

    connect(cmdOK, &QPushButton::clicked, this, &frmMain::cmdOK_Click);
}

frmMain::~frmMain() = default;

void frmMain::Form_Load() {
    cmdOK->setEnabled(false);
    Compressor = std::make_unique<Brevora>();

    const NativeString s = StripQuotes(m_commandLine);
    if (!s.empty()) {
        lblTitle->setText(DisplayText(s));
        const std::filesystem::path path(s);
        std::error_code error;
        const FileInFolder file = ResolveNamedFile(path, error);
        TextureResult result;
        if (error) {
            result.path = path;
            result.setFailure(TextureStep::Open, error);
        } else {
            result = CompressOne(file);
        }
        if (result.failed()) {
            // The label holds one short line; the whole sentence, with the file's state, is
            // there on hover.
            lblVersion->setText(QString::fromStdString(DescribeError(result.error)));
            lblVersion->setToolTip(
                QString::fromStdString(DescribeFailure(result, DisplayText(s).toStdString())));
        } else {
            lblVersion->setText(QString::number(result.bytesSaved) +
                                QStringLiteral(" bytes saved"));
        }
    } else {
        RunFolderMode();
    }

    cmdOK->setEnabled(true);
    cmdOK->setFocus();
}

void frmMain::RunFolderMode() {
    auto dialog = std::make_unique<fd>();
    ShowModal(*dialog);
    const QString folder = dialog->path;

    TextureScan scan(*this, [this](const FileInFolder& file) { return CompressOne(file); });
    if (!folder.isEmpty()) {
        show();
        RepaintNow(*this);
        if (!FsObject)
            FsObject = std::make_unique<SystemDirectoryLister>();
        ScanFolder(scan, NativePath(folder));
    }
    dialog.reset();
    scan.Finish();

    if (!scan.Failures().empty()) {
        ShowWarning(this, windowTitle(),
                    tr("Not everything could be compressed:") + QStringLiteral("\n\n") +
                        QString::fromStdString(FormatFailureReport(scan.Failures())));
    }
}

void frmMain::ScanFolder(TextureScan& scan, const std::filesystem::path& folder) {
    try {
        scan.Scan(folder, *FsObject);
    } catch (const std::bad_alloc&) {
        // The walk throws nothing else; every file it met so far is either compressed or
        // untouched, so the run ends with what it has.
        ShowWarning(this, windowTitle(),
                    tr("The folder walk stopped early: the program ran out of memory. Files not "
                       "reached yet are unchanged."));
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!cmdOK->isEnabled()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
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

void frmMain::cmdOK_Click() {
    close();
}

void frmMain::Form_Unload() {
    Compressor.reset();
    FsObject.reset();
}

TextureResult frmMain::CompressOne(const FileInFolder& file) {
    return m_compress(*Compressor, file);
}

void frmMain::setTitle(const std::string& text) {
    lblTitle->setText(QString::fromStdString(text));
}

void frmMain::setStatus(const std::string& text) {
    lblVersion->setText(QString::fromStdString(text));
}

void frmMain::repaintStatus() {
    RepaintNow(*lblVersion);
}

} // namespace quorvel
