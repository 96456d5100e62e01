// A drive list; see DriveList.h. The combo box's activated() signal, raised only by the user,
// drives picked().
#include "DriveList.h"

namespace quorvel {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, &DriveList::picked);
}

void DriveList::setDrives(const QStringList& names, int current) {
    clear();
    addItems(names);
    selectDrive(current);
}

void DriveList::selectDrive(int index) {
    setCurrentIndex(index);
}

} // namespace quorvel
