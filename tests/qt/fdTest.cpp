// Tests of the folder-picker dialog fd, its directory list and drive list. The dialogs are shown
// on the offscreen platform; the process's current folder is a temporary tree, so "the current
// folder" is known.
#include "fd.h"

#include "DirList.h"
#include "DriveList.h"
#include "Toolkit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <qtestspontaneevent.h>

#ifndef Q_OS_WIN
#include "ChildProcess.h"

#include <sys/stat.h>
#endif

using namespace quorvel;

namespace {

QString native(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

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

    void dirListShowsPathThenSortedSubfolders();
    void dirListRefusesFolderItCannotList_data();
    void dirListRefusesFolderItCannotList();
    void dirListRefusesUnreadableFolderForUnprivilegedUser();

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
    void openingVanishedFolderWarnsAndStays();
    void systemDrivesHoldCurrentFolder();
    void closeBoxActsAsCancelAndKeepsDialog();
    void closeFromProgramGoesAhead();
    void windowDesign();

private:
    std::unique_ptr<fd> shownDialog();
    QString folder(const QString& relative) const { return native(m_tree.filePath(relative)); }

    QTemporaryDir m_tree;
    QString m_savedCwd;
    QString m_start;
    QStringList m_warnings;
};

void FdTest::initTestCase() {
    QVERIFY(m_tree.isValid());
    for (const char* sub : {"start/alpha", "start/Beta", "start/gamma/deep", "driveA/inside",
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
}

void FdTest::init() {
    m_warnings.clear();
    SetWarningHook([this](const QString&, const QString& text) { m_warnings << text; });
}

void FdTest::cleanup() {
    SetWarningHook({});
}

void FdTest::cleanupTestCase() {
    QDir::setCurrent(m_savedCwd);
}

std::unique_ptr<fd> FdTest::shownDialog() {
    auto dialog = std::make_unique<fd>();
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        qWarning("dialog not exposed");
    return dialog;
}

// --- directory list ------------------------------------------------------------------------

void FdTest::dirListShowsPathThenSortedSubfolders() {
    DirList list;
    QCOMPARE(list.currentFolder(), m_start);

    const QString open = folder(QStringLiteral("list/a"));
    QVERIFY(list.setCurrentFolder(open));
    QCOMPARE(list.currentFolder(), open);

    // Root first, each folder down to the open one, then its subfolders: no files, no hidden
    // folders, case ignored in the order.
    QStringList chain;
    for (QDir up(open);; up.cdUp()) {
        chain.prepend(up.isRoot() ? native(up.path()) : up.dirName());
        if (up.isRoot())
            break;
    }
    const QStringList expected = chain + QStringList{"alpha", "B", "c", "Zed"};
    QCOMPARE(texts(list), expected);

    const int openRow = int(chain.size()) - 1;
    QCOMPARE(list.currentRow(), openRow);
    for (int row = 0; row < list.count(); ++row)
        QCOMPARE(list.item(row)->data(DirList::DepthRole).toInt(), std::min(row, openRow + 1));
    QCOMPARE(list.item(0)->data(DirList::PathRole).toString(), chain.front());
    QCOMPARE(list.item(openRow + 2)->data(DirList::PathRole).toString(),
             folder(QStringLiteral("list/a/B")));
}

void FdTest::dirListRefusesFolderItCannotList_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("missing") << QStringLiteral("list/nothing-here");
    QTest::newRow("a file") << QStringLiteral("list/a/d.txt");
}

void FdTest::dirListRefusesFolderItCannotList() {
    QFETCH(QString, target);
    DirList list;
    const QStringList before = texts(list);
    QString error;
    QVERIFY(!list.setCurrentFolder(folder(target), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(list.currentFolder(), m_start);
    QCOMPARE(texts(list), before);
}

void FdTest::dirListRefusesUnreadableFolderForUnprivilegedUser() {
#ifdef Q_OS_WIN
    QSKIP("permission bits are a POSIX test");
#else
    // Root reads any folder, so the refusal is checked in a child that has dropped to nobody.
    // QDir alone would show such a folder as empty and let the user open it.
    QTemporaryDir area;
    QVERIFY(area.isValid());
    const QString locked = area.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(locked + QStringLiteral("/inside")));
    QVERIFY(::chmod(QFile::encodeName(area.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0311) == 0);

    if (const auto reason = test::WhyPrivilegesCannotBeDropped())
        QSKIP(reason->c_str());
    const test::ChildStatus status = test::RunAsNobody([&] {
        DirList list;
        const QString before = list.currentFolder();
        QString error;
        const bool opened = list.setCurrentFolder(locked, &error);
        return opened ? 1 : (list.currentFolder() == before && !error.isEmpty() ? 0 : 2);
    });
    QVERIFY2(status.exitedWith(0), status.describe().c_str());
#endif
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
    QVERIFY(dialog->path.isEmpty());
    QTest::mouseClick(child<QPushButton>(*dialog, button.toLatin1().constData()), Qt::LeftButton);
    QCOMPARE(dialog->path, givesFolder ? m_start : QString());
    QVERIFY(dialog->isHidden());
}

void FdTest::modalShowReturnsOnceHidden() {
    fd dialog;
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::mouseClick(child<QPushButton>(dialog, "OKButton"), Qt::LeftButton);
    });
    dialog.exec();
    QCOMPARE(dialog.path, m_start);
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
    QCOMPARE(dialog->path, m_start);
}

void FdTest::doubleClickOpensFolder() {
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    QListWidgetItem* gamma = itemNamed(*dir1, QStringLiteral("gamma"));
    QVERIFY(gamma);
    doubleClick(*dir1, gamma);
    QCOMPARE(dir1->currentFolder(), folder(QStringLiteral("start/gamma")));
    QVERIFY(itemNamed(*dir1, QStringLiteral("deep")));
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->path.isEmpty());

    QTest::mouseClick(child<QPushButton>(*dialog, "OKButton"), Qt::LeftButton);
    QCOMPARE(dialog->path, folder(QStringLiteral("start/gamma")));
}

void FdTest::enterOnDir1OpensEntryWithoutPressingOk() {
    auto dialog = shownDialog();
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    dir1->setFocus();
    dir1->setCurrentItem(itemNamed(*dir1, QStringLiteral("alpha")));
    QTest::keyClick(dir1, Qt::Key_Return);
    QCOMPARE(dir1->currentFolder(), folder(QStringLiteral("start/alpha")));
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->path.isEmpty());
}

void FdTest::keysAtWindowLevel_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("givesFolder");

    QTest::newRow("Escape on OK") << "OKButton" << int(Qt::Key_Escape) << false << false;
    QTest::newRow("Escape on Dir1") << "Dir1" << int(Qt::Key_Escape) << false << false;
    QTest::newRow("Escape on Drive1") << "Drive1" << int(Qt::Key_Escape) << false << false;
    QTest::newRow("Return on OK") << "OKButton" << int(Qt::Key_Return) << false << false;
    QTest::newRow("Enter on Cancel") << "CancelButton" << int(Qt::Key_Enter) << false << false;
    QTest::newRow("Return on Drive1") << "Drive1" << int(Qt::Key_Return) << false << false;
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
    QCOMPARE(dialog->path, givesFolder ? m_start : QString());
}

void FdTest::driveChangeOpensItsRoot_data() {
    QTest::addColumn<QString>("drive");
    QTest::newRow("a folder standing in for a drive") << folder(QStringLiteral("driveA"));
    QTest::newRow("the file system root") << QStringLiteral("/");
}

void FdTest::driveChangeOpensItsRoot() {
    QFETCH(QString, drive);
    auto dialog = shownDialog();
    auto* drive1 = child<DriveList>(*dialog, "Drive1");
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    // Open a folder first: nothing of it may survive the drive change.
    doubleClick(*dir1, itemNamed(*dir1, QStringLiteral("gamma")));
    QCOMPARE(dir1->currentFolder(), folder(QStringLiteral("start/gamma")));

    drive1->setDrives({m_start, drive}, m_start);
    QCOMPARE(drive1->drive(), m_start);
    drive1->setFocus();
    QTest::keyClick(drive1, Qt::Key_Down);
    QCOMPARE(drive1->drive(), drive);
    QCOMPARE(dir1->currentFolder(), native(DriveList::rootOf(drive)));
    QVERIFY(m_warnings.isEmpty());

    QTest::mouseClick(child<QPushButton>(*dialog, "OKButton"), Qt::LeftButton);
    QCOMPARE(dialog->path, native(DriveList::rootOf(drive)));
}

void FdTest::failedDriveChangeWarnsAndGoesBack() {
    auto dialog = shownDialog();
    auto* drive1 = child<DriveList>(*dialog, "Drive1");
    auto* dir1 = child<DirList>(*dialog, "Dir1");
    const QString gone = folder(QStringLiteral("gone"));
    drive1->setDrives({m_start, gone}, m_start);
    const QStringList listed = texts(*dir1);

    drive1->setFocus();
    QTest::keyClick(drive1, Qt::Key_Down);

    QCOMPARE(m_warnings.size(), 1);
    QVERIFY2(m_warnings.front().contains(gone), qPrintable(m_warnings.front()));
    QVERIFY2(m_warnings.front().contains(m_start), qPrintable(m_warnings.front()));
    QCOMPARE(drive1->drive(), m_start);
    QCOMPARE(dir1->currentFolder(), m_start);
    QCOMPARE(texts(*dir1), listed);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->path.isEmpty());
}

void FdTest::openingVanishedFolderWarnsAndStays() {
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
    QCOMPARE(dir1->currentFolder(), m_start);
    QVERIFY(dialog->isVisible());
}

void FdTest::systemDrivesHoldCurrentFolder() {
    DriveList drives;
    QVERIFY(drives.count() >= 1);
    const QString root = QDir::fromNativeSeparators(DriveList::rootOf(drives.drive()));
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
    QVERIFY(dialog->path.isEmpty());
}

void FdTest::closeFromProgramGoesAhead() {
    auto dialog = shownDialog();
    QVERIFY(dialog->close());
    QVERIFY(dialog->isHidden());
    QVERIFY(dialog->path.isEmpty());
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
