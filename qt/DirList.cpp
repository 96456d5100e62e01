// A directory list; see DirList.h. Each entry carries its depth in item data, and a delegate
// draws it shifted right by that depth.
#include "DirList.h"

#include "WindowDesign.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

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

// A folder glyph `size` pixels square, as the Win32 front end draws it: a tab and a body
// outlined in `outline`, filled for an open folder and hollow otherwise.
QPixmap FolderGlyph(int size, qreal pixelRatio, bool open, const QColor& outline) {
    QPixmap pixmap(QSize(size, size) * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(outline);
    const design::Rgb fill = design::OpenFolderFill;
    painter.setBrush(open ? QBrush(QColor(fill.red, fill.green, fill.blue)) : QBrush(Qt::NoBrush));
    const int height = size * 3 / 4;
    const int top = (size - height) / 2;
    const int tab = height / 5;
    painter.drawRect(0, top, size / 2 - 1, tab);
    painter.drawRect(0, top + tab, size - 1, height - tab - 1);
    return pixmap;
}

// The glyph in the list's text colour, and in its highlighted text colour on a highlighted row.
QIcon FolderIcon(const QWidget& list, bool open) {
    const int size = list.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &list);
    const qreal ratio = list.devicePixelRatioF();
    QIcon icon;
    icon.addPixmap(FolderGlyph(size, ratio, open, list.palette().color(QPalette::Text)),
                   QIcon::Normal);
    icon.addPixmap(FolderGlyph(size, ratio, open, list.palette().color(QPalette::HighlightedText)),
                   QIcon::Selected);
    return icon;
}

} // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* entry) { emit opened(row(entry)); });
}

void DirList::showEntries(const std::vector<FolderListEntry>& entries, int openRow) {
    const QIcon openIcon = FolderIcon(*this, true);
    const QIcon closedIcon = FolderIcon(*this, false);
    clear();
    for (const FolderListEntry& entry : entries) {
        auto* item = new QListWidgetItem(entry.open ? openIcon : closedIcon,
                                         QString::fromStdString(entry.name), this);
        item->setData(DepthRole, entry.depth);
    }
    m_openRow = openRow >= 0 && openRow < count() ? openRow : -1;
    setCurrentRow(m_openRow);
    revealOpenFolder();
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (currentRow() >= 0)
            emit opened(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirList::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    // Listings made before the first show were scrolled for the widget's provisional size.
    revealOpenFolder();
}

void DirList::revealOpenFolder() {
    scrollToTop();
    if (QListWidgetItem* entry = item(m_openRow))
        scrollToItem(entry);
}

} // namespace quorvel
