// A status label; see StatusLabel.h. QLabel keeps the text, font, palette and tool tip; the
// painting is this class's own, one line of plain text per fitted line.
#include "StatusLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace quorvel {
namespace {

// Qt takes a tool tip that looks like markup as markup; escaped and kept as it is (blanks and
// line breaks included), a name shows as it is.
QString PlainToolTip(const QString& text) {
    if (text.isEmpty())
        return {};
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace

StatusLabel::StatusLabel(Shorten how, QWidget* parent) : QLabel(parent), m_how(how) {
    setTextFormat(Qt::PlainText);
    refit();
}

void StatusLabel::showText(const QString& text) {
    setText(text);
    refit();
}

void StatusLabel::setDetail(const QString& detail) {
    m_detail = detail;
    refit();
}

QStringList StatusLabel::shownLines() const {
    QStringList lines;
    for (const std::string& line : m_fitted.lines)
        lines << QString::fromStdString(line);
    return lines;
}

void StatusLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int lineSpacing = fontMetrics().lineSpacing();
    QRect line = contentsRect();
    line.setHeight(lineSpacing);
    for (const QString& text : shownLines()) {
        style()->drawItemText(&painter, line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                              palette(), isEnabled(), text, foregroundRole());
        line.translate(0, lineSpacing);
    }
}

void StatusLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        refit();
}

void StatusLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    refit();
}

void StatusLabel::refit() {
    const QFontMetrics metrics = fontMetrics();
    const QRect box = contentsRect();
    const int lines = std::max(1, box.height() / metrics.lineSpacing());
    const std::string whole = text().toStdString();
    m_fitted = FitText(whole, box.width(), lines, m_how, [&metrics](std::string_view line) {
        return metrics.horizontalAdvance(
            QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    });
    setToolTip(PlainToolTip(
        QString::fromStdString(StatusToolTip(whole, m_detail.toStdString(), m_fitted.shortened))));
    update();
}

} // namespace quorvel
