#include "Win32MessageBoxPresenter.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <string>
#include <windows.h>

namespace quorvel {

void Win32MessageBoxPresenter::ShowInformation(const std::u16string& title,
                                               const std::u16string& text) {
    // wchar_t is UTF-16 on Windows: the texts pass as they are.
    const std::wstring wideTitle(title.begin(), title.end());
    const std::wstring wideText(text.begin(), text.end());
    MessageBoxW(GetActiveWindow(), wideText.c_str(), wideTitle.c_str(), MB_OK | MB_ICONINFORMATION);
}

} // namespace quorvel
