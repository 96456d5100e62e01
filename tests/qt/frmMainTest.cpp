// Tests of the main window: what Form_Load shows for one file named on the command line, the
// quote rule as the user meets it, the button's state and roles, the window's design, names and
// long texts in the labels, and the folder mode with the dialog and the message box answered
// through the toolkit's hooks.

#include "frmMain.h"

#include "FileContents.h"
#include "FileOps.h"
#include "StatusLabel.h"
#include "TextureError.h"
#include "TextureSamples.h"
#include "Toolkit.h"
#include "fd.h"

#include <QDialog>
#include <QFrame>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using quorvel::frmMain;

namespace {

using quorvel::test::Bytes;

// What compressing the payload saves with the zlib this test is linked with.
long ExpectedSaving(const Bytes& payload) {
    return static_cast<long>(payload.size()) -
           static_cast<long>(quorvel::test::ZlibCompress(payload).size());
}

QString Shown(const fs::path& path) {
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(path.c_str());
#endif
}

quorvel::NativeString Native(const QString& text) {
#ifdef _WIN32
    return text.toStdWString();
#else
    return QFile::encodeName(text).toStdString();
#endif
}

// A tool tip's text as it shows: the markup it is given read as a text document.
QString ShownToolTip(const QWidget& widget) {
    QTextDocument document;
    document.setHtml(widget.toolTip());
    return document.toPlainText();
}

// What the user may do while a walk holds the window.
enum class Input { Escape, CloseBox, ClickOnOk };

// Records what the window looks like each time a file is handed over to be compressed, and
// tries to close it then.
class WatchedMain : public frmMain {
public:
    explicit WatchedMain(quorvel::NativeString commandLine)
        : frmMain(std::move(commandLine), Watching(this)) {}

    // Input queued for the window, as the window system queues it, while the first file is
    // compressed; none when empty.
    std::optional<Input> queued;

    int calls = 0;
    bool buttonEverEnabled = false;
    bool alwaysVisible = true;
    bool neverVisible = true;
    bool closeEverAccepted = false;
    QString firstTitle;
    QString firstStatus; // lblVersion as the first file is handed over

private:
    static quorvel::MainWindow::Options Watching(WatchedMain* self) {
        quorvel::MainWindow::Options options;
        options.whileWorking = [self] { self->Watch(); };
        return options;
    }

    void Watch() {
        if (calls++ == 0) {
            firstTitle = lblTitle->text();
            firstStatus = lblVersion->text();
        }
        buttonEverEnabled |= cmdOK->isEnabled();
        alwaysVisible &= isVisible();
        neverVisible &= !isVisible();
        closeEverAccepted |= close();
        // Escape would press cmdOK if it were enabled; it isn't, so the window stays.
        const bool wasVisible = isVisible();
        QTest::keyClick(this, Qt::Key_Escape);
        closeEverAccepted |= wasVisible && !isVisible();
        if (queued && calls == 1)
            Queue(*queued);
    }

public:
    // Posts `input` to the window, as the window system would queue it.
    void Queue(Input input) {
        QWindow* window = windowHandle();
        switch (input) {
        case Input::Escape:
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
                QCoreApplication::postEvent(window, new QKeyEvent(type, Qt::Key_Escape, {}));
            break;
        case Input::CloseBox:
            QCoreApplication::postEvent(window, new QCloseEvent);
            break;
        case Input::ClickOnOk: {
            const QPointF at = cmdOK->geometry().center();
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(
                    window, new QMouseEvent(type, at, mapToGlobal(at), Qt::LeftButton,
                                            type == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                             : Qt::NoButton,
                                            {}));
            break;
        }
        }
    }
};

// For one test: answers the folder dialog with `folder` (empty: cancelled) and collects the
// warning boxes, through the toolkit's hooks.
class DialogAnswers {
public:
    explicit DialogAnswers(const fs::path& folder) {
        m_previousModal = quorvel::SetModalHook([this, folder](QDialog& dialog) {
            ++dialogsShown;
            auto* picker = qobject_cast<quorvel::fd*>(&dialog);
            if (picker == nullptr)
                return int(QDialog::Rejected);
            lastDialog = picker;
            picker->path = folder;
            return int(folder.empty() ? QDialog::Rejected : QDialog::Accepted);
        });
        m_previousWarning = quorvel::SetWarningHook([this](QMessageBox& box) {
            warnings << box.text();
            allPlain &= box.textFormat() == Qt::PlainText;
        });
    }
    ~DialogAnswers() {
        quorvel::SetModalHook(m_previousModal);
        quorvel::SetWarningHook(m_previousWarning);
    }
    DialogAnswers(const DialogAnswers&) = delete;
    DialogAnswers& operator=(const DialogAnswers&) = delete;

    int dialogsShown = 0;
    QPointer<quorvel::fd> lastDialog; // null again once the window has unloaded it
    QStringList warnings;
    bool allPlain = true; // every warning box shows its text as plain text

private:
    quorvel::ModalHook m_previousModal;
    quorvel::WarningHook m_previousWarning;
};

} // namespace

class frmMainTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void singleFileShowsPathAndResult_data();
    void singleFileShowsPathAndResult();
    void quoteRule_data();
    void quoteRule();
    void buttonIsDisabledAndCloseRefusedWhileWorking();
    void finishedWindowHasFocusedDefaultButton();
    void enterEscapeAndCloseBoxActAsOK_data();
    void enterEscapeAndCloseBoxActAsOK();
    void windowMatchesItsDesign();
    void folderModeWalksTheTreeWithTheWindowShown();
    void cancelledFolderChoiceOnlyFinishes_data();
    void cancelledFolderChoiceOnlyFinishes();
    void folderModeListsFailuresInOneWarning();
    void inputDuringTheWalkIsDroppedNotDeferred_data();
    void inputDuringTheWalkIsDroppedNotDeferred();
    void namesAreShownAsTheyAre();
    void longTextsWrapAndShortenInTheirLabels();

private:
    QTemporaryDir m_dir;
    int m_case = 0;
    fs::path m_root; // a fresh folder for each test function and row
};

void frmMainTest::init() {
    QVERIFY(m_dir.isValid());
    m_root = fs::path(Native(m_dir.path())) / std::to_string(++m_case);
    fs::create_directories(m_root);
}

void frmMainTest::singleFileShowsPathAndResult_data() {
    QTest::addColumn<int>("marker");
    QTest::addColumn<bool>("noise");
    QTest::addColumn<bool>("create");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("expected"); // %1 is the saving the linked zlib gives
    QTest::addColumn<bool>("fileChanges");

    QTest::newRow("compressible") << 0x40 << false << true << false << "%1 bytes saved" << true;
    QTest::newRow("marker zero") << 0x00 << false << true << false << "%1 bytes saved" << true;
    QTest::newRow("grows") << 0x40 << true << true << false << "%1 bytes saved" << true;
    QTest::newRow("already compressed")
        << 0x46 << false << true << false << "0 bytes saved" << false;
    QTest::newRow("marker 0x41") << 0x41 << false << true << false << "0 bytes saved" << false;
    QTest::newRow("missing") << 0x40 << false << false << false
                             << "Error 2: No such file or directory" << false;
    QTest::newRow("read-only") << 0x40 << false << true << true << "Error 13: Permission denied"
                               << false;
}

void frmMainTest::singleFileShowsPathAndResult() {
    QFETCH(int, marker);
    QFETCH(bool, noise);
    QFETCH(bool, create);
    QFETCH(bool, readOnly);
    QFETCH(QString, expected);
    QFETCH(bool, fileChanges);

    const Bytes payload =
        noise ? quorvel::test::RandomBytes(4000) : quorvel::test::CompressibleBytes(20000);
    const fs::path file = m_root / "brick.ACE";
    const Bytes before = quorvel::test::MakeTexture(static_cast<unsigned char>(marker), payload);
    if (create)
        quorvel::test::WriteFileBytes(file, before);
    if (readOnly)
        fs::permissions(file,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);

    frmMain window(file.native());
    window.Form_Load();

    QCOMPARE(window.lblTitle->text(), Shown(file));
    const long saving = ExpectedSaving(payload);
    QCOMPARE(window.lblVersion->text(),
             expected.contains(QLatin1String("%1")) ? expected.arg(saving) : expected);
    if (noise)
        QVERIFY2(saving < 0, "noise is meant to grow under zlib");
    if (create) {
        const Bytes after = quorvel::test::ReadFileBytes(file);
        QCOMPARE(after != before, fileChanges);
        if (fileChanges)
            QCOMPARE(static_cast<long>(after.size()), static_cast<long>(before.size()) - saving);
    }
    if (!expected.startsWith(QLatin1String("Error")))
        QVERIFY(window.lblVersion->toolTip().isEmpty());
    else
        QVERIFY(window.lblVersion->toolTip().contains(expected));
}

void frmMainTest::quoteRule_data() {
    QTest::addColumn<QString>("commandLine"); // %1 is the test folder, holding "a b.ace"
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("compressed");

    QTest::newRow("quoted path with blanks") << "\"%1/a b.ace\""
                                             << "%1/a b.ace" << true;
    QTest::newRow("bare path with blanks") << "%1/a b.ace"
                                           << "%1/a b.ace" << true;
    QTest::newRow("quotes inside a quoted path") << "\"%1/a\" \"b.ace"
                                                 << "%1/a b.ace" << true;
    QTest::newRow("quoted with trailing blank") << "\"%1/a b.ace\" "
                                                << "%1/a b.ace " << false;
    QTest::newRow("unquoted keeps its quotes") << "%1/a \"b\".ace"
                                               << "%1/a \"b\".ace" << false;
    QTest::newRow("leading blank before quote") << " \"%1/a b.ace\""
                                                << " \"%1/a b.ace\"" << false;
}

void frmMainTest::quoteRule() {
    QFETCH(QString, commandLine);
    QFETCH(QString, title);
    QFETCH(bool, compressed);

    const QString folder = Shown(m_root);
    const Bytes payload = quorvel::test::CompressibleBytes(5000);
    quorvel::test::WriteFileBytes(m_root / "a b.ace", quorvel::test::MakeTexture(0x40, payload));

    frmMain window(Native(commandLine.arg(folder)));
    window.Form_Load();

    QCOMPARE(window.lblTitle->text(), title.arg(folder));
    QCOMPARE(window.lblVersion->text(),
             compressed ? QStringLiteral("%1 bytes saved").arg(ExpectedSaving(payload))
                        : QStringLiteral("Error 2: No such file or directory"));
}

void frmMainTest::buttonIsDisabledAndCloseRefusedWhileWorking() {
    const fs::path file = m_root / "wall.ace";
    quorvel::test::WriteFileBytes(
        file, quorvel::test::MakeTexture(0x40, quorvel::test::CompressibleBytes(3000)));
    WatchedMain window(file.native());
    window.Form_Load();

    QCOMPARE(window.calls, 1);
    QVERIFY(!window.buttonEverEnabled);
    QVERIFY2(window.neverVisible, "the window appears only with the result in place");
    QCOMPARE(window.firstTitle, Shown(file));
    QVERIFY(!window.closeEverAccepted);
    QVERIFY(window.cmdOK->isEnabled());
    QCOMPARE(window.lblVersion->text(),
             QStringLiteral("%1 bytes saved")
                 .arg(ExpectedSaving(quorvel::test::CompressibleBytes(3000))));
}

void frmMainTest::finishedWindowHasFocusedDefaultButton() {
    frmMain window((m_root / "none.ace").native());
    window.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(window.cmdOK->isEnabled());
    QVERIFY(window.cmdOK->isDefault());
    QCOMPARE(window.focusWidget(), window.cmdOK);
    QCOMPARE(window.lblTitle->focusPolicy(), Qt::NoFocus);
    QCOMPARE(window.lblVersion->focusPolicy(), Qt::NoFocus);
}

void frmMainTest::enterEscapeAndCloseBoxActAsOK_data() {
    QTest::addColumn<int>("key"); // 0: the close box; -1: a click on OK
    QTest::newRow("click") << -1;
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("enter") << int(Qt::Key_Enter);
    QTest::newRow("escape") << int(Qt::Key_Escape);
    QTest::newRow("close box") << 0;
}

void frmMainTest::enterEscapeAndCloseBoxActAsOK() {
    QFETCH(int, key);
    frmMain window((m_root / "none.ace").native());
    window.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicked(window.cmdOK, &QPushButton::clicked);

    if (key == -1)
        QTest::mouseClick(window.cmdOK, Qt::LeftButton);
    else if (key == 0)
        QVERIFY(window.close());
    else
        QTest::keyClick(window.focusWidget(), static_cast<Qt::Key>(key));

    QVERIFY(!window.isVisible());
    QCOMPARE(clicked.count(), key == 0 ? 0 : 1);
}

void frmMainTest::windowMatchesItsDesign() {
    frmMain window((m_root / "none.ace").native());
    window.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Quorvel"));
    QCOMPARE(window.size(), QSize(590, 131));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window.windowType(), Qt::Window);
    QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));

    // Top to bottom: title, status, the line, then the button centred below it; everything
    // inside the window, the line nearly as wide as the window, the button wide enough for its
    // caption.
    const QRect inside = window.rect();
    const QWidget* const order[] = {window.lblTitle, window.lblVersion, window.Line1, window.cmdOK};
    for (std::size_t i = 0; i < std::size(order); ++i) {
        QVERIFY(inside.contains(order[i]->geometry()));
        if (i > 0)
            QVERIFY(order[i - 1]->geometry().bottom() < order[i]->geometry().top());
    }
    QVERIFY(window.lblTitle->width() > window.lblVersion->width());
    QVERIFY(window.Line1->width() > inside.width() * 9 / 10);
    QVERIFY(std::abs(window.cmdOK->geometry().center().x() - inside.center().x()) <= 2);
    QVERIFY(window.cmdOK->width() >= window.cmdOK->fontMetrics().horizontalAdvance("OK"));
    QCOMPARE(window.cmdOK->text(), QStringLiteral("OK"));

    for (const QLabel* label : {window.lblTitle, window.lblVersion}) {
        QCOMPARE(label->font().pointSizeF(), 8.25);
        QCOMPARE(label->font().weight(), QFont::Bold);
        QVERIFY(label->alignment().testFlag(Qt::AlignLeft));
        QVERIFY(!label->wordWrap());
    }
    QCOMPARE(window.cmdOK->font().weight(), QFont::Normal);
    QCOMPARE(window.lblTitle->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    QCOMPARE(window.Line1->palette().color(QPalette::Window), QColor(128, 128, 128));

    // The labels keep their size whatever their text.
    const QSize titleSize = window.lblTitle->size();
    const QSize statusSize = window.lblVersion->size();
    window.lblTitle->setText(QString(300, QLatin1Char('W')));
    window.lblVersion->setText(QString(300, QLatin1Char('W')));
    QCOMPARE(window.lblTitle->size(), titleSize);
    QCOMPARE(window.lblVersion->size(), statusSize);
    QCOMPARE(window.size(), QSize(590, 131));
}

void frmMainTest::folderModeWalksTheTreeWithTheWindowShown() {
    const Bytes a = quorvel::test::CompressibleBytes(30000),
                b = quorvel::test::CompressibleBytes(50000),
                c = quorvel::test::CompressibleBytes(15000);
    fs::create_directories(m_root / "sub" / "deeper");
    quorvel::test::WriteFileBytes(m_root / "a.ace", quorvel::test::MakeTexture(0x40, a));
    quorvel::test::WriteFileBytes(m_root / "sub" / "b.ACE", quorvel::test::MakeTexture(0x40, b));
    quorvel::test::WriteFileBytes(m_root / "sub" / "deeper" / "c.Ace",
                                  quorvel::test::MakeTexture(0x40, c));
    const Bytes locked = quorvel::test::MakeTexture(0x40, quorvel::test::CompressibleBytes(20000));
    quorvel::test::WriteFileBytes(m_root / "sub" / "locked.ace", locked);
    fs::permissions(m_root / "sub" / "locked.ace", fs::perms::owner_write,
                    fs::perm_options::remove);
    const Bytes decoy = quorvel::test::MakeTexture(0x40, quorvel::test::CompressibleBytes(20000));
    quorvel::test::WriteFileBytes(m_root / "decoy.aces", decoy);
    const long total = ExpectedSaving(a) + ExpectedSaving(b) + ExpectedSaving(c);
    DialogAnswers answers(m_root);

    WatchedMain window{quorvel::NativeString()};
    window.Form_Load();

    QCOMPARE(answers.dialogsShown, 1);
    QVERIFY2(answers.lastDialog.isNull(), "the dialog is unloaded by the end of the run");
    QCOMPARE(window.calls, 3);
    QVERIFY2(window.alwaysVisible, "the window is on screen during the walk");
    QVERIFY(!window.buttonEverEnabled);
    QVERIFY(!window.closeEverAccepted);
    QCOMPARE(window.firstTitle, QStringLiteral("Scanning ") + Shown(m_root));
    QCOMPARE(window.firstStatus, QString());
    QCOMPARE(window.lblTitle->text(),
             QStringLiteral("Scanning ") + Shown(m_root / "sub" / "deeper"));
    QCOMPARE(window.lblVersion->text(), QStringLiteral("Saved %1Kb Finished..").arg(total / 1024));
    QVERIFY(window.cmdOK->isEnabled());
    QVERIFY(answers.warnings.isEmpty());
    QCOMPARE(quorvel::test::ReadFileBytes(m_root / "sub" / "locked.ace"), locked);
    QCOMPARE(quorvel::test::ReadFileBytes(m_root / "decoy.aces"), decoy);
    QCOMPARE(quorvel::test::ReadFileBytes(m_root / "sub" / "b.ACE").at(7), 0x46);

    // A second run finds everything compressed already.
    frmMain again{quorvel::NativeString()};
    again.Form_Load();
    QCOMPARE(again.lblVersion->text(), QStringLiteral("Saved 0Kb Finished.."));
}

void frmMainTest::cancelledFolderChoiceOnlyFinishes_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("empty command line") << QString();
    QTest::newRow("only quotes") << QStringLiteral("\"\"");
}

void frmMainTest::cancelledFolderChoiceOnlyFinishes() {
    QFETCH(QString, commandLine);
    DialogAnswers answers{fs::path()};

    WatchedMain window(Native(commandLine));
    window.Form_Load();

    QCOMPARE(answers.dialogsShown, 1);
    QVERIFY(answers.lastDialog.isNull());
    QCOMPARE(window.calls, 0);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.lblTitle->text(), QString());
    QCOMPARE(window.lblVersion->text(), QStringLiteral(" Finished.."));
    QVERIFY(window.cmdOK->isEnabled());
    QVERIFY(answers.warnings.isEmpty());
}

void frmMainTest::folderModeListsFailuresInOneWarning() {
    // Files of 16 bytes or fewer have no payload: each one is a failure of its own.
    for (int i = 0; i < 22; ++i)
        quorvel::test::WriteFileBytes(m_root / ("short" + std::to_string(i) + ".ace"),
                                      Bytes{'s', 'h', 'o', 'r', 't'});
    const Bytes good = quorvel::test::CompressibleBytes(40000);
    quorvel::test::WriteFileBytes(m_root / "good.ace", quorvel::test::MakeTexture(0x40, good));
    DialogAnswers answers(m_root);

    frmMain window{quorvel::NativeString()};
    window.Form_Load();

    QCOMPARE(window.lblVersion->text(),
             QStringLiteral("Saved %1Kb Finished..").arg(ExpectedSaving(good) / 1024));
    QCOMPARE(answers.warnings.size(), 1);
    const QString& text = answers.warnings.front();
    QVERIFY2(text.contains(Shown(m_root / "short0.ace")) ||
                 text.contains(Shown(m_root / "short21.ace")),
             qPrintable(text));
    QVERIFY2(text.trimmed().endsWith(QLatin1String("and 2 more")), qPrintable(text));
    QVERIFY(!text.contains(QLatin1String("good.ace")));
}

void frmMainTest::inputDuringTheWalkIsDroppedNotDeferred_data() {
    QTest::addColumn<int>("input");
    QTest::newRow("Escape") << int(Input::Escape);
    QTest::newRow("close box") << int(Input::CloseBox);
    QTest::newRow("click on OK") << int(Input::ClickOnOk);
}

void frmMainTest::inputDuringTheWalkIsDroppedNotDeferred() {
    QFETCH(int, input);
    const Bytes payload = quorvel::test::CompressibleBytes(30000);
    quorvel::test::WriteFileBytes(m_root / "a.ace", quorvel::test::MakeTexture(0x40, payload));
    DialogAnswers answers(m_root);

    WatchedMain window{quorvel::NativeString()};
    window.queued = Input(input);
    window.Form_Load();
    QCoreApplication::processEvents();

    QVERIFY2(window.isVisible(), "input made during the walk closed the window afterwards");
    QCOMPARE(window.lblVersion->text(),
             QStringLiteral("Saved %1Kb Finished..").arg(ExpectedSaving(payload) / 1024));
    QVERIFY(window.cmdOK->isEnabled());
    // Input made now is taken as usual.
    window.Queue(Input(input));
    QCoreApplication::processEvents();
    QVERIFY(!window.isVisible());
}

void frmMainTest::namesAreShownAsTheyAre() {
    // Markup, entities, mnemonics and a newline in a folder name and in a file name.
    const fs::path folder = m_root / "<b>&amp; & x\ny";
    const fs::path file = "<i>&lt; &a\nb.ace";
    fs::create_directories(folder);
    for (const fs::path& at : {folder / file, m_root / file})
        quorvel::test::WriteFileBytes(at, Bytes{'s', 'h', 'o', 'r', 't'});

    // The newline is shown as "\n", the name quoted, so it can't pass for two lines.
    const QString shownFile =
        QStringLiteral("\"") + Shown(m_root) + QStringLiteral("/<i>&lt; &a\\nb.ace\"");
    frmMain single((m_root / file).native());
    single.Form_Load();
    QCOMPARE(single.lblTitle->textFormat(), Qt::PlainText);
    QCOMPARE(single.lblTitle->text(), shownFile);
    QCOMPARE(single.lblTitle->shownLines(), QStringList({shownFile}));
    QVERIFY2(ShownToolTip(*single.lblVersion).contains(shownFile),
             qPrintable(single.lblVersion->toolTip()));

    DialogAnswers answers(folder);
    frmMain walk{quorvel::NativeString()};
    walk.Form_Load();
    const QString shownFolder =
        QStringLiteral("\"") + Shown(m_root) + QStringLiteral("/<b>&amp; & x\\ny\"");
    QCOMPARE(walk.lblTitle->text(), QStringLiteral("Scanning ") + shownFolder);
    QCOMPARE(walk.lblTitle->shownLines(), QStringList({QStringLiteral("Scanning ") + shownFolder}));
    QCOMPARE(answers.warnings.size(), 1);
    QVERIFY2(answers.warnings.front().contains(shownFolder.chopped(1) +
                                               QStringLiteral("/<i>&lt; &a\\nb.ace\"")),
             qPrintable(answers.warnings.front()));
    QVERIFY(answers.allPlain);
}

void frmMainTest::longTextsWrapAndShortenInTheirLabels() {
    // A path far longer than two lines of the upper label: its start and its file name stay.
    fs::path path = m_root;
    for (int i = 0; i < 6; ++i)
        path /= "folder " + std::to_string(i) + std::string(50, 'x');
    path /= "brick with a long name.ace";
    fs::create_directories(path.parent_path());
    quorvel::test::WriteFileBytes(
        path, quorvel::test::MakeTexture(0x40, quorvel::test::CompressibleBytes(3000)));
    // A reason longer than the lower label: the file looks changed once its copy is written.
    const std::error_code changed = quorvel::make_error_code(quorvel::TextureErrc::FileChanged);
    quorvel::FileOps ops = quorvel::SystemFileOps();
    auto written = std::make_shared<std::atomic<bool>>(false);
    ops.openAt = [real = ops.openAt, written](quorvel::FolderHandle folder, const fs::path& name,
                                              int flags, unsigned mode) {
        if ((flags & O_CREAT) != 0)
            *written = true;
        return real(folder, name, flags, mode);
    };
    ops.statAt = [real = ops.statAt, written](quorvel::FolderHandle folder, const fs::path& name,
                                              bool follow, quorvel::FileIdentity& out) {
        const int result = real(folder, name, follow, out);
        if (*written)
            ++out.size;
        return result;
    };
    quorvel::ScopedFileOps changing(std::move(ops));
    frmMain window(path.native());
    window.Form_Load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Designed geometry and font, whatever the text.
    QCOMPARE(window.lblTitle->geometry(), QRect(16, 8, 567, 32));
    QCOMPARE(window.lblVersion->geometry(), QRect(16, 52, 351, 15));
    const QFontMetrics metrics(window.lblTitle->font());
    QCOMPARE(window.lblVersion->font(), window.lblTitle->font());

    const QStringList title = window.lblTitle->shownLines();
    QCOMPARE(title.size(), 32 / metrics.lineSpacing());
    QVERIFY2(Shown(path).startsWith(title.front()), qPrintable(title.front()));
    QVERIFY2(title.back().endsWith(QStringLiteral(".../brick with a long name.ace")),
             qPrintable(title.back()));
    QCOMPARE(ShownToolTip(*window.lblTitle), Shown(path));

    const QString reason = QString::fromStdString(quorvel::DescribeError(changed));
    QCOMPARE(window.lblVersion->text(), reason);
    const QStringList status = window.lblVersion->shownLines();
    QCOMPARE(status.size(), 1);
    QVERIFY2(status.front().endsWith(QLatin1String("...")), qPrintable(status.front()));
    QVERIFY2(ShownToolTip(*window.lblVersion).contains(reason),
             qPrintable(window.lblVersion->toolTip()));

    for (const QString& line : title + status)
        QVERIFY2(metrics.horizontalAdvance(line) <= 567, qPrintable(line));
    QVERIFY(metrics.horizontalAdvance(status.front()) <= 351);
}

QTEST_MAIN(frmMainTest)
#include "frmMainTest.moc"
