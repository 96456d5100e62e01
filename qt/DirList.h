// A directory list: one open folder, shown with the folders above it and the folders in it.
//
// The list holds, top to bottom, the root, each folder on the way down, the current folder
// (highlighted), then the current folder's direct subfolders sorted without regard to case.
// The path entries show as open folders, each indented one step more than the one above; the
// subfolders as closed folders one step further in. Opening an entry (double-click, or
// Enter/Return on the highlighted entry) makes it the current folder and lists it anew;
// highlighting alone changes nothing. A folder that can't be listed is never entered: the list
// stays as it was and openFailed() says why.
//
// Hidden subfolders (names starting with a dot, or with the hidden attribute) are not listed,
// as in a file manager's default view; a hidden folder that is the current folder or above it
// still shows, since it is part of the path.
#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

namespace quorvel {

class DirList : public QListWidget {
    Q_OBJECT

public:
    // Item data roles: the folder's full path, and its indentation depth (0 = root).
    enum Role { PathRole = Qt::UserRole, DepthRole };

    // Opens the process's current folder. If that can't be listed, the list shows its path
    // without subfolders.
    explicit DirList(QWidget* parent = nullptr);

    // The open folder: absolute, cleaned, with the platform's separators ("/home/ann",
    // "C:\Textures", the root as "/" or "C:\").
    QString currentFolder() const;

    // Opens `folder` (absolute, or relative to the process's current folder) and lists it.
    // Returns false, leaving the list and the current folder as they were, when the folder
    // can't be opened for listing; then `*error` (if given) holds the system's reason.
    bool setCurrentFolder(const QString& folder, QString* error = nullptr);

signals:
    // The user tried to open `folder` and it couldn't be listed, for `reason`.
    void openFailed(const QString& folder, const QString& reason);

protected:
    // Enter/Return opens the highlighted entry and is consumed here, so it never reaches the
    // window (where it could press a button).
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void openItem(QListWidgetItem* entry);
    void showFolder(const QString& folder, const QStringList& subfolders);
    // Scrolls to the top, then as far as needed to show the current folder's entry.
    void revealCurrentFolder();

    QString m_current;
    int m_currentRow = -1;
};

} // namespace quorvel
