#pragma once
// The compression component's message box (Brevora::About) as a Win32 MessageBoxW with the
// information icon, owned by the window that is active on this thread, if any.

#include "MessageBoxPresenter.h"

namespace quorvel {

class Win32MessageBoxPresenter final : public MessageBoxPresenter {
public:
    void ShowInformation(const std::u16string& title, const std::u16string& text) override;
};

} // namespace quorvel
