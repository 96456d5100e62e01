#pragma once
// ProgressView: the two status lines the folder scan writes to, as the main window shows them.
//
// TextureScan (TextureScan.h) decides every text; the window only puts it on screen. Texts are
// UTF-8 (paths go through DisplayPath), so a Qt window takes them with QString::fromStdString.

#include <string>

namespace quorvel {

class ProgressView {
public:
    virtual ~ProgressView() = default;

    // Puts `text` in the upper label (lblTitle). Nothing needs repainting yet.
    virtual void setTitle(const std::string& text) = 0;

    // Puts `text` in the lower label (lblVersion).
    virtual void setStatus(const std::string& text) = 0;

    // Repaints the lower label at once, without handling pending input, so the total stays
    // current while the scan holds the thread.
    virtual void repaintStatus() = 0;
};

} // namespace quorvel
