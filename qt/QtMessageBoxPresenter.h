#pragma once
// Shows the compression component's message boxes (Brevora::About) with Qt Widgets. The window
// program installs one for the whole process right after creating its QApplication:
//     quorvel::SetMessageBoxPresenter(std::make_shared<quorvel::QtMessageBoxPresenter>());
// Without it the component writes its box to standard error.

#include "MessageBoxPresenter.h"

namespace quorvel {

class QtMessageBoxPresenter : public MessageBoxPresenter {
public:
    // A modal box with no owner window, the information icon and one OK button; returns once
    // the user has closed it. Call on the GUI thread.
    void ShowInformation(const std::u16string& title, const std::u16string& text) override;
};

} // namespace quorvel
