// A drive list: a drop-down of the places a user can start from, one of them current.
//
// On Windows the places are the drive designations ("C:", "D:", ...) and a drive's root is the
// designation followed by "\". Elsewhere they are the mount points of the real file systems
// (MountTable.h), and a place is its own root. The list starts at the drive of the process's
// current folder: on POSIX the mount point containing it. A pick by the user raises changed();
// setting the drive from code doesn't.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

namespace quorvel {

class DriveList : public QComboBox {
    Q_OBJECT

public:
    // Lists the system's drives, with the drive of the process's current folder current.
    explicit DriveList(QWidget* parent = nullptr);

    // Replaces the list by `designations` (in that order) and makes the drive of
    // `currentFolder` current. Lets tests offer drives the system doesn't have.
    void setDrives(const QStringList& designations, const QString& currentFolder);

    // The current drive's designation, as listed ("C:", "/", "/media/usb").
    QString drive() const;

    // The root folder of a drive: "C:" gives "C:\"; a mount point is its own root.
    static QString rootOf(const QString& designation);

    // Makes current the listed drive that holds `folder` (the longest designation that is a
    // prefix of it on a folder boundary). Leaves the list unchanged when none does. Doesn't
    // raise changed().
    void selectDriveOf(const QString& folder);

signals:
    // The user picked a drive other than the current one.
    void changed();

private:
    void onActivated(int index);

    QString m_drive;
};

} // namespace quorvel
