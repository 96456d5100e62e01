#pragma once
// FitText: what a status label shows of a text that may be too long for it.
//
// The main window's labels keep their designed size whatever their text. A text is laid out in
// as many lines as the label holds: a new line at each newline of the text, and where a line is
// full, after the last blank or path separator on it (inside a word only when it has none).
// What still doesn't fit is shortened with "...": in the middle for a path, so that its start
// and its file name stay, or at the end for a sentence. The front end measures (its font, its
// pixels); what is shown is decided here, the same for every front end.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The width of `text` (UTF-8, one line, no newline) in the label's font, in pixels.
using TextWidth = std::function<int(std::string_view text)>;

// Where a text that doesn't fit loses characters.
enum class Shorten {
    Middle, // "..." in the middle; the last path component (the file name) is kept whole if it
            // fits, otherwise the text's start and end
    End,    // "..." at the end
};

struct FittedText {
    std::vector<std::string> lines; // top to bottom, UTF-8; at least one, at most those asked for
    bool shortened = false;         // part of the text is not shown
};

// `text` (UTF-8) laid out in at most `maxLines` lines (at least one) of at most `width` pixels.
// Characters are never split: a line holds at least one, however narrow `width` is. `measure`
// is called a few hundred times at most for a text of a few hundred characters.
FittedText FitText(std::string_view text, int width, int maxLines, Shorten how,
                   const TextWidth& measure);

// The tool tip of a status label: `detail` when there is one, otherwise the whole text when the
// label shows only part of it, otherwise nothing.
std::string StatusToolTip(const std::string& text, const std::string& detail, bool shortened);

} // namespace quorvel
