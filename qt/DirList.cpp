// A directory list; see DirList.h. Each listing is built from scratch: the path is split into
// its folders from the root down, the subfolders come from QDir, and every entry carries its
// full path and depth in item data. A delegate draws each entry shifted right by its depth.
#include "DirList.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quorvel {
namespace {

// Draws an entry indented by its depth. A step is half an icon wide, narrower for a deep path,
// so that the deepest entries start within the first third of the list and stay readable.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(shifted.rect.left() + indent(option, index));
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += indent(option, index);
        return size;
    }

private:
    static int indent(const QStyleOptionViewItem& option, const QModelIndex& index) {
        const QAbstractItemModel* model = index.model();
        const int deepest =
            std::max(1, model->index(model->rowCount() - 1, 0).data(DirList::DepthRole).toInt());
        const int width = option.widget ? option.widget->width() : 300;
        const int step = std::clamp(width / 3 / deepest, 2, option.decorationSize.width() / 2 + 2);
        return index.data(DirList::DepthRole).toInt() * step;
    }
};

QString normalised(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(folder)));
}

// The folders from the root down to `folder` itself, each as a normalised path.
QStringList pathFromRoot(const QString& folder) {
    QStringList chain{folder};
    QString at = folder;
    while (!QDir(at).isRoot()) {
        const QString parent = normalised(QFileInfo(QDir::fromNativeSeparators(at)).path());
        if (parent == at)
            break;
        chain.prepend(parent);
        at = parent;
    }
    return chain;
}

// Opens `folder` for listing the way a directory read does, to learn whether and why it fails;
// QDir itself reports an unreadable folder as an empty one.
bool canList(const QString& folder, QString* error) {
    std::error_code code;
    const std::filesystem::directory_iterator probe(QDir(folder).filesystemPath(), code);
    if (!code)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(code.message());
    return false;
}

} // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::openItem);

    const QString start = normalised(QDir::currentPath());
    if (!setCurrentFolder(start))
        showFolder(start, {});
}

QString DirList::currentFolder() const {
    return m_current;
}

bool DirList::setCurrentFolder(const QString& folder, QString* error) {
    const QString target = normalised(folder);
    if (!canList(target, error))
        return false;
    const QStringList subfolders =
        QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    showFolder(target, subfolders);
    return true;
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirList::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    // Listings made before the first show were scrolled for the widget's provisional size.
    revealCurrentFolder();
}

void DirList::revealCurrentFolder() {
    scrollToTop();
    if (QListWidgetItem* entry = item(m_currentRow))
        scrollToItem(entry);
}

void DirList::openItem(QListWidgetItem* entry) {
    if (!entry)
        return;
    const QString folder = entry->data(PathRole).toString();
    QString reason;
    if (!setCurrentFolder(folder, &reason))
        emit openFailed(folder, reason);
}

void DirList::showFolder(const QString& folder, const QStringList& subfolders) {
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList chain = pathFromRoot(folder);

    clear();
    int depth = 0;
    for (const QString& step : chain) {
        const QString name = QDir(step).isRoot() ? step : QFileInfo(step).fileName();
        auto* entry = new QListWidgetItem(openIcon, name, this);
        entry->setData(PathRole, step);
        entry->setData(DepthRole, depth++);
    }
    QListWidgetItem* currentEntry = item(count() - 1);
    const QDir dir(folder);
    for (const QString& name : subfolders) {
        auto* entry = new QListWidgetItem(closedIcon, name, this);
        entry->setData(PathRole, QDir::toNativeSeparators(dir.filePath(name)));
        entry->setData(DepthRole, depth);
    }
    m_current = folder;
    m_currentRow = row(currentEntry);
    setCurrentItem(currentEntry);
    revealCurrentFolder();
}

} // namespace quorvel
