#include "Toolkit.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QFrame>
#include <QMessageBox>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <utility>

// Q_INIT_RESOURCE declares the resource initialiser by its unqualified name, so it has to be
// expanded outside any namespace. The resources live in a static library; without this call
// the linker may drop them.
static void InitProgramResources() {
    Q_INIT_RESOURCE(quorvel);
}

namespace quorvel {

namespace {

ModalHook& CurrentModalHook() {
    static ModalHook hook;
    return hook;
}

WarningHook& CurrentWarningHook() {
    static WarningHook hook;
    return hook;
}

// Eats user input and close requests, whatever they are meant for.
class InputDiscarder : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::ContextMenu:
        case QEvent::Close:
            return true;
        default:
            return false;
        }
    }
};

// How long the queued events may take to be handled: they are handled until none is left, and
// this is only a bound for a queue that keeps filling.
constexpr int kDiscardLimitMs = 200;

} // namespace

int Twips(int twips) {
    return design::Pixels(twips);
}

QRect Geometry(const design::TwipsRect& rect) {
    const design::PixelRect pixels = design::Pixels(rect);
    return QRect(pixels.left, pixels.top, pixels.width, pixels.height);
}

void SetFixedDialogFrame(QWidget& window, int width, int height, bool isDialog) {
    window.setWindowFlags((isDialog ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window.setFixedSize(Twips(width), Twips(height));
}

QFrame* AddLine(QWidget& parent, int x1, int y1, int x2, int y2, const QColor& colour) {
    Q_ASSERT(x1 == x2 || y1 == y2);
    const int left = Twips(std::min(x1, x2));
    const int top = Twips(std::min(y1, y2));
    const int length = Twips(std::max(x1, x2)) - left + Twips(std::max(y1, y2)) - top;
    auto* line = new QFrame(&parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    if (y1 == y2)
        line->setGeometry(left, top, std::max(length, 1), 1);
    else
        line->setGeometry(left, top, 1, std::max(length, 1));
    return line;
}

QFont StatusLabelFont() {
    QFont font;
    font.setFamilies(
        {QString::fromLatin1(design::StatusLabelFace), QStringLiteral("Microsoft Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

void RepaintNow(QWidget& widget) {
    if (widget.isWindow()) {
        // A window shown a moment ago is not exposed until the window system says so, and Qt
        // drops paints of an unexposed window. Handling the pending window-system events lets
        // the expose through; user input stays queued, as the busy UI thread takes none.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    widget.repaint();
}

int ShowModal(QDialog& dialog) {
    if (const ModalHook& hook = CurrentModalHook())
        return hook(dialog);
    return dialog.exec();
}

ModalHook SetModalHook(ModalHook hook) {
    return std::exchange(CurrentModalHook(), std::move(hook));
}

void ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    // Never rich text: the text names files, and a name may look like markup.
    box.setTextFormat(Qt::PlainText);
    if (const WarningHook& hook = CurrentWarningHook()) {
        hook(box);
        return;
    }
    box.exec();
}

WarningHook SetWarningHook(WarningHook hook) {
    return std::exchange(CurrentWarningHook(), std::move(hook));
}

void DiscardQueuedInput() {
    InputDiscarder discarder;
    QCoreApplication::instance()->installEventFilter(&discarder);
    QCoreApplication::processEvents(QEventLoop::AllEvents, kDiscardLimitMs);
    QCoreApplication::instance()->removeEventFilter(&discarder);
}

QIcon ProgramIcon() {
    static const bool initialised = (InitProgramResources(), true);
    Q_UNUSED(initialised);
    return QIcon(QStringLiteral(":/quorvel/quorvel.png"));
}

} // namespace quorvel
