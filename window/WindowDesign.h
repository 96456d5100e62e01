#pragma once
// WindowDesign: the two windows' captions and geometry, shared by every front end.
//
// The windows are designed in twips (1/1440 inch), measured from the top-left corner of the
// client area. At 96 dpi one pixel is 15 twips; a front end scales by the window's real DPI
// (Pixels(rect, dpi)) so the windows keep their proportions on a high-DPI screen.

namespace quorvel::design {

struct TwipsRect {
    int left, top, width, height;
};

struct PixelRect {
    int left, top, width, height;
};

// A length in twips as pixels at `dpi`, rounded to the nearest pixel (halves away from 0).
int Pixels(int twips, int dpi = 96);
// Each of the rectangle's four figures converted on its own.
PixelRect Pixels(const TwipsRect& rect, int dpi = 96);

// The main window.
inline constexpr char MainCaption[] = "Quorvel";
inline constexpr int MainClientWidth = 8850;
inline constexpr int MainClientHeight = 1965;
inline constexpr TwipsRect lblTitle{240, 120, 8505, 480};
inline constexpr TwipsRect lblVersion{240, 780, 5265, 225};
// Line1 runs from (Line1Left, Line1Top) to (Line1Right, Line1Top), one pixel wide, in gray.
inline constexpr int Line1Left = 60, Line1Right = 8700, Line1Top = 1260;
inline constexpr int Line1Gray = 128;
inline constexpr TwipsRect cmdOK{3780, 1440, 1260, 345};
// Both status labels: this face at 8.25 points, bold, where it is installed.
inline constexpr char StatusLabelFace[] = "MS Sans Serif";

// The folder-picker dialog.
inline constexpr char DialogCaption[] = "Select Start folder";
inline constexpr int DialogClientWidth = 6030;
inline constexpr int DialogClientHeight = 4410;
inline constexpr TwipsRect Drive1{60, 60, 4455, 315};
inline constexpr TwipsRect Dir1{60, 420, 4515, 3915};
inline constexpr TwipsRect OKButton{4680, 120, 1215, 375};
inline constexpr TwipsRect CancelButton{4680, 600, 1215, 375};
// Dir1 draws each folder as a small folder glyph in the list's text colour: filled with this
// colour for the open folder and those above it, hollow for its subfolders.
struct Rgb {
    int red, green, blue;
};
inline constexpr Rgb OpenFolderFill{0xE8, 0xC0, 0x4A};

} // namespace quorvel::design
