// A directory list: the entries of Dir1 as the folder dialog's logic decides them.
//
// The logic (FolderDialog.h) hands over the whole list at once: the root, each folder on the way
// down and the open folder, shown as open folders (a filled folder glyph) each indented one step
// more than the one above, then the open folder's direct subfolders, hidden ones included (a
// folder inside a hidden folder can be picked), as closed folders (a hollow one) one step
// further in; so the last filled glyph marks the open folder wherever the highlight is. The open
// folder's entry is highlighted and scrolled into view. Opening an entry (double-click, or
// Enter/Return on the highlighted entry) reports its row with opened(); highlighting alone reports
// nothing. The list itself never changes what it shows: the logic lists the folder anew, or leaves
// the list as it was when the folder can't be opened.
#pragma once

#include "FolderDialog.h"

#include <QListWidget>
#include <vector>

namespace quorvel {

class DirList : public QListWidget {
    Q_OBJECT

public:
    // Item data role: the entry's indentation depth (0 = root).
    enum Role { DepthRole = Qt::UserRole };

    // An empty list; the dialog fills it.
    explicit DirList(QWidget* parent = nullptr);

    // Replaces the entries, highlights the one at `openRow` and scrolls it into view.
    void showEntries(const std::vector<FolderListEntry>& entries, int openRow);

    // The row of the open folder's entry, -1 while the list is empty.
    int openRow() const { return m_openRow; }

signals:
    // The user opened the entry at `row`.
    void opened(int row);

protected:
    // Enter/Return opens the highlighted entry and is consumed here, so it never reaches the
    // window (where it could press a button).
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Scrolls to the top, then as far as needed to show the open folder's entry.
    void revealOpenFolder();

    int m_openRow = -1;
};

} // namespace quorvel
