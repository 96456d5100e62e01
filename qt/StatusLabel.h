#pragma once
// StatusLabel: one of the main window's two status lines, a label that keeps its designed size
// whatever its text.
//
// The text is plain: a name is shown as it is, never taken as markup or a mnemonic. It is laid
// out by FitText (FitText.h) in as many lines as the label's height holds, in the label's font,
// and shortened where it still doesn't fit; the tool tip then holds the whole text, or the
// detail the label was given. text() is always the whole text.

#include "FitText.h"

#include <QLabel>
#include <QString>
#include <QStringList>

namespace quorvel {

class StatusLabel : public QLabel {
    Q_OBJECT

public:
    // An empty label; `how` says where a text too long for it is shortened.
    StatusLabel(Shorten how, QWidget* parent);

    // Sets the whole text and lays it out anew.
    void showText(const QString& text);
    // A longer explanation of the text, the tool tip whenever it is set; empty for none.
    void setDetail(const QString& detail);

    // The lines drawn, top to bottom.
    QStringList shownLines() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refit();

    Shorten m_how;
    QString m_detail;
    FittedText m_fitted;
};

} // namespace quorvel
