// Tests of the folder-picker dialog fd as Qt widgets: what its directory list and drive list
// show, and what mouse and keys on them do. The dialogs are shown on the offscreen platform; the
// process's current folder is a temporary tree, so "the current folder" is known. What the
// dialog decides is tested without Qt in tests/window.
#include "fd.h"

#include "DirList.h"
#include "DriveList.h"
#include "FolderDialog.h"
#include "Toolkit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <qtestspontaneevent.h>
#include <vector>

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

QString native(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

fs::path nativePath(const QString& folder) {
#ifdef Q_OS_WIN
    return fs::path(native(folder).toStdWString());
#else
    return fs::path(QFile::encodeName(native(folder)).toStdString());
#endif
}

// The system's folders, with drives or the current folder replaced where a test sets them.
class TestSource : public FolderSource {
public:
    std::vector<fs::path> Drives() override { return drives.empty() ? m_system.Drives() : drives; }
    fs::path CurrentFolder() override {
        return current.empty() ? m_system.CurrentFolder() : current;
    }
    std::vector<fs::path> Subfolders(const fs::path& folder, std::error_code& error) override {
        return m_system.Subfolders(folder, error);
    }

    std::vector<fs::path> drives; // empty: the system's
    fs::path current;             // empty: the process's

private:
    SystemFolderSource m_system;
};

template <typename T> T* child(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

QStringList texts(const QListWidget& list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.item(i)->text();
    return out;
}

QListWidgetItem* itemNamed(QListWidget& list, const QString& text) {
    const QList<QListWidgetItem*> found = list.findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

QPoint centreOf(QListWidget& list, QListWidgetItem* item) {
    return list.visualItemRect(item).center();
}

// The events a real double-click brings: press, release, then the second press arrives as a
// double-click (QTest::mouseDClick alone sends only that last one).
void doubleClick(QListWidget& list, QListWidgetItem* item) {
    const QPoint at = centreOf(list, item);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class FdTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void dirListShowsPathThenSortedSubfoldersHiddenIncluded();
    void folderInsideHiddenFolderCanBePicked();

    void buttonsSetPathAndHide_data();
    void buttonsSetPathAndHide();
    void modalShowReturnsOnceHidden();
    void highlightAloneKeepsOpenFolder();
    void doubleClickOpensFolder();
    void enterOnDir1OpensEntryWithoutPressingOk();
    void keysAtWindowLevel_data();
    void keysAtWindowLevel();
    void driveChangeOpensItsRoot_data();
    void driveChangeOpensItsRoot();
    void failedDriveChangeWarnsAndGoesBack();
    void openingVanishedFolderWarnsAndDropsIt();
    void openFolderGlyphsDifferFromClosedOnes();
    void systemDrivesHoldCurrentFolder();
    void closeBoxActsAsCancelAndKeepsDialog();
    void closeFromProgramGoesAhead();
    void windowDesign();

private:
    std::unique_ptr<fd> shownDialog(TestSource* source = nullptr);
    QString folder(const QString& relative) const { return native(m_tree.filePath(relative)); }
    fs::path folderPath(const QString& relative) const { return nativePath(folder(relative)); }

    QTemporaryDir m_tree;
    QString m_savedCwd;
    QString m_start;      // the process's current folder as shown
    fs::path m_startPath; // the same as a path
    QStringList m_warnings;
};

void FdTest::initTestCase() {
    QVERIFY(m_tree.isValid());
    for (const char* sub :
         {"start/alpha", "start/Beta", "start/gamma/deep", "start/.hidden/inner", "driveA/inside",
          "list/a/B", "list/a/c", "list/a/.hidden", "list/a/Zed", "list/a/alpha"})
        QVERIFY(QDir(m_tree.path()).mkpath(QString::fromLatin1(sub)));
    // More subfolders than the list shows at once, sorted after the ones the tests click.
    for (int i = 0; i < 20; ++i)
        QVERIFY(QDir(m_tree.path()).mkpath(QStringLiteral("start/zz%1").arg(i)));
    QFile file(m_tree.filePath(QStringLiteral("list/a/d.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    m_savedCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_tree.filePath(QStringLiteral("start"))));
    m_start = native(QDir::currentPath());
    m_startPath = fs::current_path();
}

void FdTest::init() {
    m_warnings.clear();
    SetWarningHook([this](QMessageBox& box) { m_warnings << box.text(); });
}

void FdTest::cleanup() {
    SetWarningHook({});
}

void FdTest::cleanupTestCase() {
    QDir::setCurrent(m_savedCwd);
}

std::unique_ptr<fd> FdTest::shownDialog(TestSource* source) {
    auto dialog = source ? std::make_unique<fd>(*source) : std::make_unique<fd>();
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        qWarning("dialog not exposed");
    return dialog;
}

// --- directory list ------------------------------------------------------------------------

void FdTest::dirListShowsPathThenSortedSubfoldersHiddenIncluded() {
    TestSource source;
    source.current = folderPath(QStringLiteral("list/a"));
    auto dialog = shownDialog(&source);
    auto* list = child<DirList>(*dialog, "Dir1");
    QCOMPARE(dialog->logic().openFolder(), source.current);

    // Root first, each folder down to the open one, then its subfolders: no files; hidden
    // folders listed like the others; case ignored in the order.
    QStringList chain;
    for (QDir up(folder(QStringLiteral("list/a")));; up.cdUp()) {
        chain.prepend(up.isRoot() ? native(up.path()) : up.dirName());
        if (up.isRoot())
            break;
    }
    const QStringList expected = chain + QStringList{".hidden", "alpha", "B", "c", "Zed"};
    QCOMPARE(texts(*list), expected);

    const int openRow = int(chain.size()) - 1;
    QCOMPARE(list->currentRow(), openRow);
    QCOMPARE(list->openRow(), openRow);
    for (int row = 0; row < list->count(); ++row)
        QCOMPARE(list->item(row)->data(DirList::DepthRole).toInt(), std::min(row, openRow + 1));
}

void FdTest::folderInsideHiddenFolderCanBePicked() {
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    QListWidgetItem* hidden = itemNamed(*dir1, QStringLiteral(".hidden"));
    QVERIFY(hidden);
    doubleClick(*dir1, hidden);
    QListWidgetItem* inner = itemNamed(*dir1, QStringLiteral("inner"));
    QVERIFY(inner);
    doubleClick(*dir1, inner);
    QTest::mouseClick(child<QPushButton>(*dialog, "OKButton"), Qt::LeftButton);
    QCOMPARE(dialog->path, folderPath(QStringLiteral("start/.hidden/inner")));
}

// --- the dialog ----------------------------------------------------------------------------

void FdTest::buttonsSetPathAndHide_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("givesFolder");
    QTest::newRow("OK at once gives the current folder") << "OKButton" << true;
    QTest::newRow("Cancel gives nothing") << "CancelButton" << false;
}

void FdTest::buttonsSetPathAndHide() {
    QFETCH(QString, button);
    QFETCH(bool, givesFolder);
    auto dialog = shownDialog();
    QVERIFY(dialog->path.empty());
    QTest::mouseClick(child<QPushButton>(*dialog, button.toLatin1().constData()), Qt::LeftButton);
    QCOMPARE(dialog->path, givesFolder ? m_startPath : fs::path());
    QVERIFY(dialog->isHidden());
}

void FdTest::modalShowReturnsOnceHidden() {
    fd dialog;
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::mouseClick(child<QPushButton>(dialog, "OKButton"), Qt::LeftButton);
    });
    dialog.exec();
    QCOMPARE(dialog.path, m_startPath);
    QVERIFY(dialog.isHidden());
}

void FdTest::highlightAloneKeepsOpenFolder() {
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    QListWidgetItem* beta = itemNamed(*dir1, QStringLiteral("Beta"));
    QVERIFY(beta);
    QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, centreOf(*dir1, beta));
    QCOMPARE(dir1->currentItem(), beta);
    QTest::keyClick(dir1, Qt::Key_Down);
    QTest::mouseClick(child<QPushButton>(*dialog, "OKButton"), Qt::LeftButton);
    QCOMPARE(dialog->path, m_startPath);
}

void FdTest::doubleClickOpensFolder() {
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    QListWidgetItem* gamma = itemNamed(*dir1, QStringLiteral("gamma"));
    QVERIFY(gamma);
    doubleClick(*dir1, gamma);
    QCOMPARE(dialog->logic().openFolder(), folderPath(QStringLiteral("start/gamma")));
    QVERIFY(itemNamed(*dir1, QStringLiteral("deep")));
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->path.empty());

    QTest::mouseClick(child<QPushButton>(*dialog, "OKButton"), Qt::LeftButton);
    QCOMPARE(dialog->path, folderPath(QStringLiteral("start/gamma")));
}

void FdTest::enterOnDir1OpensEntryWithoutPressingOk() {
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    dir1->setFocus();
    dir1->setCurrentItem(itemNamed(*dir1, QStringLiteral("alpha")));
    QTest::keyClick(dir1, Qt::Key_Return);
    QCOMPARE(dialog->logic().openFolder(), folderPath(QStringLiteral("start/alpha")));
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->path.empty());
}

void FdTest::keysAtWindowLevel_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("givesFolder");

    QTest::newRow("Escape on OK") << "OKButton" << int(Qt::Key_Escape) << false << false;
    QTest::newRow("Escape on Dir1") << "Dir1" << int(Qt::Key_Escape) << false << false;
    QTest::newRow("Escape on Drive1") << "Drive1" << int(Qt::Key_Escape) << false << false;
    QTest::newRow("Return on Drive1") << "Drive1" << int(Qt::Key_Return) << false << false;
    QTest::newRow("Return on OK") << "OKButton" << int(Qt::Key_Return) << true << true;
    QTest::newRow("Enter on OK") << "OKButton" << int(Qt::Key_Enter) << true << true;
    QTest::newRow("Return on Cancel") << "CancelButton" << int(Qt::Key_Return) << true << false;
    QTest::newRow("Space on OK") << "OKButton" << int(Qt::Key_Space) << true << true;
    QTest::newRow("Space on Cancel") << "CancelButton" << int(Qt::Key_Space) << true << false;
}

void FdTest::keysAtWindowLevel() {
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(bool, closes);
    QFETCH(bool, givesFolder);
    auto dialog = shownDialog();
    auto* widget = child<QWidget>(*dialog, target.toLatin1().constData());
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key(key));
    QCOMPARE(dialog->isHidden(), closes);
    QCOMPARE(dialog->path, givesFolder ? m_startPath : fs::path());
}

void FdTest::driveChangeOpensItsRoot_data() {
    QTest::addColumn<QString>("drive");
    QTest::newRow("a folder standing in for a drive") << folder(QStringLiteral("driveA"));
    QTest::newRow("the file system root") << QStringLiteral("/");
}

void FdTest::driveChangeOpensItsRoot() {
    QFETCH(QString, drive);
    TestSource source;
    source.drives = {m_startPath, nativePath(drive)};
    auto dialog = shownDialog(&source);
    auto* drive1 = child<DriveList>(*dialog, "Drive1");
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    QCOMPARE(drive1->currentText(), m_start);
    // Open a folder first: nothing of it may survive the drive change.
    doubleClick(*dir1, itemNamed(*dir1, QStringLiteral("gamma")));
    QCOMPARE(dialog->logic().openFolder(), folderPath(QStringLiteral("start/gamma")));

    drive1->setFocus();
    QTest::keyClick(drive1, Qt::Key_Down);
    QCOMPARE(drive1->currentText(), drive);
    QCOMPARE(dialog->logic().openFolder(), nativePath(drive));
    QCOMPARE(dir1->item(dir1->openRow())->text(),
             drive == QStringLiteral("/") ? drive : QStringLiteral("driveA"));
    QVERIFY(m_warnings.isEmpty());

    QTest::mouseClick(child<QPushButton>(*dialog, "OKButton"), Qt::LeftButton);
    QCOMPARE(dialog->path, nativePath(drive));
}

void FdTest::failedDriveChangeWarnsAndGoesBack() {
    TestSource source;
    const QString gone = folder(QStringLiteral("gone"));
    source.drives = {m_startPath, nativePath(gone)};
    auto dialog = shownDialog(&source);
    auto* drive1 = child<DriveList>(*dialog, "Drive1");
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    const QStringList listed = texts(*dir1);

    drive1->setFocus();
    QTest::keyClick(drive1, Qt::Key_Down);

    QCOMPARE(m_warnings.size(), 1);
    QVERIFY2(m_warnings.front().startsWith(QStringLiteral("Could not open the folder ") + gone),
             qPrintable(m_warnings.front()));
    QVERIFY2(m_warnings.front().endsWith(QStringLiteral(". The folder list still shows ") +
                                         m_start + QLatin1Char('.')),
             qPrintable(m_warnings.front()));
    QCOMPARE(drive1->currentText(), m_start);
    QCOMPARE(dialog->logic().openFolder(), m_startPath);
    QCOMPARE(texts(*dir1), listed);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->path.empty());
}

void FdTest::openingVanishedFolderWarnsAndDropsIt() {
    QVERIFY(QDir().mkpath(folder(QStringLiteral("start/vanishing"))));
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    QListWidgetItem* vanishing = itemNamed(*dir1, QStringLiteral("vanishing"));
    QVERIFY(vanishing);
    QVERIFY(QDir().rmdir(folder(QStringLiteral("start/vanishing"))));

    doubleClick(*dir1, vanishing);
    QCOMPARE(m_warnings.size(), 1);
    QVERIFY2(m_warnings.front().contains(folder(QStringLiteral("start/vanishing"))),
             qPrintable(m_warnings.front()));
    QCOMPARE(dialog->logic().openFolder(), m_startPath);
    QVERIFY(dialog->isVisible());
    QVERIFY2(!itemNamed(*dir1, QStringLiteral("vanishing")), "the vanished folder is still listed");
    QCOMPARE(dir1->currentRow(), dir1->openRow());
}

void FdTest::openFolderGlyphsDifferFromClosedOnes() {
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    const auto glyph = [dir1](int row) {
        return dir1->item(row)
            ->icon()
            .pixmap(dir1->style()->pixelMetric(QStyle::PM_SmallIconSize))
            .toImage();
    };
    // The open folder's entry and a subfolder's: at least a quarter of their pixels differ
    // clearly, so the open folder shows whichever row is highlighted.
    const QImage open = glyph(dir1->openRow());
    const QImage closed = glyph(dir1->openRow() + 1);
    QCOMPARE(open.size(), closed.size());
    int differing = 0;
    for (int y = 0; y < open.height(); ++y) {
        for (int x = 0; x < open.width(); ++x) {
            const QColor a = open.pixelColor(x, y), b = closed.pixelColor(x, y);
            differing += std::abs(a.alpha() - b.alpha()) + std::abs(a.red() - b.red()) +
                             std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) >
                         128;
        }
    }
    QVERIFY2(differing * 4 >= open.width() * open.height(), qPrintable(QString::number(differing)));
}

void FdTest::systemDrivesHoldCurrentFolder() {
    auto dialog = shownDialog();
    auto* drive1 = child<DriveList>(*dialog, "Drive1");
    QVERIFY(drive1->count() >= 1);
    const QString root = QDir::fromNativeSeparators(drive1->currentText());
    QVERIFY2(QDir::currentPath().startsWith(root, Qt::CaseInsensitive), qPrintable(root));
}

void FdTest::closeBoxActsAsCancelAndKeepsDialog() {
    auto dialog = shownDialog();
    QPointer<fd> alive(dialog.get());
    // The close box reaches the widget as a close event marked spontaneous (from the window
    // system); QWindow::close() would not be, so the mark is set by hand and the event goes
    // to notify() directly, as sendEvent() would clear the mark.
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(dialog.get(), &event);
    QVERIFY(!event.isAccepted());
    QVERIFY(alive);
    QVERIFY(dialog->isHidden());
    QVERIFY(dialog->path.empty());
}

void FdTest::closeFromProgramGoesAhead() {
    auto dialog = shownDialog();
    QVERIFY(dialog->close());
    QVERIFY(dialog->isHidden());
    QVERIFY(dialog->path.empty());
}

void FdTest::windowDesign() {
    auto dialog = shownDialog();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Start folder"));
    QCOMPARE(dialog->size(), QSize(402, 294));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());

    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                       Qt::WindowContextHelpButtonHint)));

    const struct {
        const char* name;
        QString caption;
    } controls[] = {{"Drive1", {}}, {"Dir1", {}}, {"OKButton", "OK"}, {"CancelButton", "Cancel"}};
    for (const auto& control : controls) {
        auto* widget = child<QWidget>(*dialog, control.name);
        QVERIFY(dialog->rect().contains(widget->geometry()));
        QVERIFY(!widget->testAttribute(Qt::WA_SetFont));
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(button->text(), control.caption);
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        }
    }
    QVERIFY(!dialog->testAttribute(Qt::WA_SetFont));
    // The drive list above the folder list, the buttons in a column to their right, OK first.
    const QRect drive = child<QWidget>(*dialog, "Drive1")->geometry();
    const QRect dirs = child<QWidget>(*dialog, "Dir1")->geometry();
    const QRect ok = child<QWidget>(*dialog, "OKButton")->geometry();
    const QRect cancel = child<QWidget>(*dialog, "CancelButton")->geometry();
    QVERIFY(drive.bottom() < dirs.top());
    QVERIFY(std::max(drive.right(), dirs.right()) < std::min(ok.left(), cancel.left()));
    QVERIFY(ok.bottom() < cancel.top());
    QCOMPARE(ok.size(), cancel.size());

    // The path from the root fits, so the list starts at the root although the subfolders
    // overflow it.
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    QCOMPARE(dir1->visualItemRect(dir1->item(0)).top(), 0);

    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    const QStringList expected{"OKButton", "CancelButton", "Dir1", "Drive1", "OKButton"};
    QCOMPARE(order, expected);
}

QTEST_MAIN(FdTest)
#include "fdTest.moc"
