#pragma once
// Toolkit: the thin layer between the windows and Qt Widgets.
//
// The windows are designed in twips (1/1440 inch) measured from the top-left corner of the
// client area (WindowDesign.h holds the figures); Twips() turns a design length into Qt's
// device-independent pixels at 96 dpi, one pixel per 15 twips, and Qt's high-DPI scaling maps
// those onto the screen. The rest is what the
// windows ask of the toolkit beyond plain widgets: a fixed dialog frame, a flat coloured line,
// the status labels' font, a repaint that happens while the UI thread is busy, and the two
// modal interactions (showing a dialog, showing a warning box). Those two go through hooks so
// that tests can answer them without a user; in the program the hooks are empty and the real
// modal calls run.
//
// Everything here runs on the UI thread only.

#include "WindowDesign.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <functional>

class QDialog;
class QFrame;
class QMessageBox;
class QWidget;

namespace quorvel {

// Pixels at 96 dpi for a length in twips, rounded to the nearest pixel (halves away from 0), as
// design::Pixels gives them.
int Twips(int twips);

// A control's designed rectangle, in pixels at 96 dpi.
QRect Geometry(const design::TwipsRect& rect);

// Makes window a fixed-size top-level window whose client area is width x height twips: the
// user can't resize it, and its title bar has a close box but no minimise or maximise button.
// isDialog picks a dialog window (for a modal dialog) over an ordinary top-level window.
void SetFixedDialogFrame(QWidget& window, int width, int height, bool isDialog);

// A solid line one pixel wide from (x1, y1) to (x2, y2), in twips, as a child of parent. The
// line must be horizontal or vertical; the end point is not drawn, as with a drawn line in the
// native toolkit.
QFrame* AddLine(QWidget& parent, int x1, int y1, int x2, int y2, const QColor& colour);

// The status labels' font: 8.25 points, bold, face "MS Sans Serif" where it is installed and
// the system's sans-serif face otherwise.
QFont StatusLabelFont();

// Repaints widget synchronously, before returning, even though the UI thread is busy and does
// not return to the event loop. For a top-level window that has just been shown this also
// handles its pending window-system events (never user input) so that it is on screen.
void RepaintNow(QWidget& widget);

// Shows dialog modally and returns its result code, or, when a modal hook is set, returns what
// the hook returns without showing anything (the hook may fill in the dialog's result members).
int ShowModal(QDialog& dialog);
using ModalHook = std::function<int(QDialog&)>;
// Sets the modal hook; an empty function restores the real modal show. Returns the previous one.
ModalHook SetModalHook(ModalHook hook);

// Shows a warning message box with title and text, both plain text, and waits until the user
// closes it; when a warning hook is set, the box is handed to the hook instead of shown.
void ShowWarning(QWidget* parent, const QString& title, const QString& text);
using WarningHook = std::function<void(QMessageBox& box)>;
// Sets the warning hook; an empty function restores the real box. Returns the previous one.
WarningHook SetWarningHook(WarningHook hook);

// Drops the keyboard and mouse input and the close requests queued so far: what the user typed
// or clicked while the UI thread was busy is not acted on afterwards. Everything else queued
// (paints, the window system's own events) is handled now.
void DiscardQueuedInput();

// The program's icon (32 x 32, 256 colours), from the compiled-in resources.
QIcon ProgramIcon();

} // namespace quorvel
