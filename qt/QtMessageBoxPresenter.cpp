#include "QtMessageBoxPresenter.h"

#include <QMessageBox>
#include <QString>

namespace quorvel {

void QtMessageBoxPresenter::ShowInformation(const std::u16string& title,
                                            const std::u16string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromStdU16String(title),
                    QString::fromStdU16String(text), QMessageBox::Ok);
    // Never rich text: the component's texts are plain, whatever they happen to contain.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace quorvel
