// A drive list; see DriveList.h. The designations are gathered once, at creation: from
// QDir::drives() on Windows, from the mount table elsewhere (QStorageInfo where there is no
// /proc). The combo box's activated() signal, raised only by the user, drives changed().
#include "DriveList.h"

#include "MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace quorvel {
namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

QStringList systemDrives(const QString& currentFolder) {
    QStringList drives;
#ifdef Q_OS_WIN
    Q_UNUSED(currentFolder);
    for (const QFileInfo& root : QDir::drives()) {
        QString designation = QDir::toNativeSeparators(root.absoluteFilePath());
        if (designation.endsWith(QLatin1Char('\\')))
            designation.chop(1);
        drives << designation;
    }
#else
    std::vector<MountEntry> entries;
    if (auto table = ReadMountTable()) {
        entries = std::move(*table);
    } else {
        for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
            entries.push_back({volume.device().toStdString(),
                               QFile::encodeName(volume.rootPath()).toStdString(),
                               volume.fileSystemType().toStdString()});
    }
    for (const std::string& place :
         StartPlaces(entries, QFile::encodeName(currentFolder).toStdString()))
        drives << QFile::decodeName(QByteArray::fromStdString(place));
#endif
    return drives;
}

// `folder` in the form used for prefix tests: forward slashes, cleaned.
QString comparable(const QString& folder) {
    return QDir::cleanPath(QDir::fromNativeSeparators(folder));
}

bool holds(const QString& root, const QString& folder) {
    if (folder.compare(root, kPathCase) == 0)
        return true;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return folder.startsWith(prefix, kPathCase);
}

} // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, &DriveList::onActivated);
    const QString current = QDir::currentPath();
    setDrives(systemDrives(current), current);
}

void DriveList::setDrives(const QStringList& designations, const QString& currentFolder) {
    clear();
    addItems(designations);
    m_drive = drive();
    selectDriveOf(currentFolder);
}

QString DriveList::drive() const {
    return currentText();
}

QString DriveList::rootOf(const QString& designation) {
#ifdef Q_OS_WIN
    return designation + QLatin1Char('\\');
#else
    return designation;
#endif
}

void DriveList::selectDriveOf(const QString& folder) {
    const QString target = comparable(QDir::current().absoluteFilePath(folder));
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = comparable(rootOf(itemText(i)));
        if (root.size() > bestLength && holds(root, target)) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best < 0)
        return;
    setCurrentIndex(best);
    m_drive = itemText(best);
}

void DriveList::onActivated(int index) {
    const QString picked = itemText(index);
    if (picked == m_drive)
        return;
    m_drive = picked;
    emit changed();
}

} // namespace quorvel
