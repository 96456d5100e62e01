// A drive list: a drop-down of the places a user can start from, as the folder dialog's logic
// lists them (FolderDialog.h): drive designations ("C:", "D:") on Windows, the mount points of
// the real file systems elsewhere. A pick by the user reports the picked index with picked(),
// even a pick of the current item (the logic decides what is a change); setting the list or
// its current item from code reports nothing.
#pragma once

#include <QComboBox>
#include <QStringList>

namespace quorvel {

class DriveList : public QComboBox {
    Q_OBJECT

public:
    // An empty list; the dialog fills it.
    explicit DriveList(QWidget* parent = nullptr);

    // Replaces the items by `names` (in that order), the one at `current` selected.
    void setDrives(const QStringList& names, int current);

    // Selects the item at `index`.
    void selectDrive(int index);

signals:
    // The user picked the item at `index`.
    void picked(int index);
};

} // namespace quorvel
