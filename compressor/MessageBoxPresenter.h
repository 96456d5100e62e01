#pragma once
// The seam through which the compression component shows its one message box (Brevora::About)
// without depending on a windowing toolkit. A front end installs a presenter for its toolkit once
// at start-up; until then, and in headless programs, a default presenter writes the box to
// standard error: the title, an empty line, the text.

#include <memory>
#include <string>

namespace quorvel {

class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;

    // Shows a modal message box with the information icon and a single OK button, and returns
    // once the user has closed it. `text` may hold several lines separated by "\r\n".
    virtual void ShowInformation(const std::u16string& title, const std::u16string& text) = 0;
};

// Installs `presenter` for the whole process and returns the one it replaces (nullptr when the
// default was in use). Passing nullptr restores the default. Thread-safe; a box being shown
// keeps the presenter that shows it alive.
std::shared_ptr<MessageBoxPresenter>
SetMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter);

// The presenter in use: the installed one, else the standard-error default. Never null.
// Thread-safe.
std::shared_ptr<MessageBoxPresenter> CurrentMessageBoxPresenter();

} // namespace quorvel
