// Laying a status text out in its label; see FitText.h. Lines are filled greedily, each found by
// a binary search over its character boundaries; a text that needs more lines than the label
// has is shortened by a binary search over how much of it is kept, each try laid out anew.
#include "FitText.h"

#include <cstddef>

namespace quorvel {

namespace {

// Three full stops, as Windows shortens texts: every font has them, where a bitmap font may draw
// U+2026 as a bar.
constexpr std::string_view kEllipsis = "...";
constexpr std::string_view kBreakAfter = " /\\"; // a line may end after one of these

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The offsets at which a character starts, and the text's end: 0, ..., text.size().
std::vector<std::size_t> Boundaries(std::string_view text) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuationByte(text[i]))
            at.push_back(i);
    }
    at.push_back(text.size());
    if (at.front() != 0) // a text starting inside a character: that part counts as one
        at.insert(at.begin(), 0);
    return at;
}

// The length of the longest start of `line` that is at most `width` wide, but at least one
// character, so that every line takes something.
std::size_t FittingLength(std::string_view line, int width, const TextWidth& measure) {
    if (line.empty() || measure(line) <= width)
        return line.size();
    const std::vector<std::size_t> at = Boundaries(line);
    std::size_t low = 1;              // taken whatever its width
    std::size_t high = at.size() - 2; // the whole line is known not to fit
    while (low < high) {
        const std::size_t middle = low + (high - low + 1) / 2;
        if (measure(line.substr(0, at[middle])) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return at[low];
}

// `text` broken into lines of at most `width`; stops once it has more than `limit` lines.
std::vector<std::string> Wrap(std::string_view text, int width, std::size_t limit,
                              const TextWidth& measure) {
    std::vector<std::string> lines;
    for (;;) {
        const std::size_t newline = text.find('\n');
        std::string_view paragraph = text.substr(0, newline);
        do {
            std::size_t cut = FittingLength(paragraph, width, measure);
            if (cut < paragraph.size()) {
                if (paragraph[cut] == ' ') {
                    ++cut; // the blank ends the line, where it is not seen
                } else {
                    const std::size_t breakAt = paragraph.substr(0, cut).find_last_of(kBreakAfter);
                    if (breakAt != std::string_view::npos && breakAt > 0)
                        cut = breakAt + 1;
                }
            }
            lines.emplace_back(paragraph.substr(0, cut));
            paragraph.remove_prefix(cut);
        } while (!paragraph.empty() && lines.size() <= limit);
        if (newline == std::string_view::npos || lines.size() > limit)
            return lines;
        text.remove_prefix(newline + 1);
    }
}

// The largest count in [low, high] for which `fits` holds, `fits(low)` being known to hold.
template <typename Fits> std::size_t LargestFitting(std::size_t low, std::size_t high, Fits fits) {
    while (low < high) {
        const std::size_t middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

std::string_view TrimEnd(std::string_view text) {
    const std::size_t last = text.find_last_not_of(" \n");
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

} // namespace

FittedText FitText(std::string_view text, int width, int maxLines, Shorten how,
                   const TextWidth& measure) {
    const std::size_t limit = maxLines < 1 ? 1 : static_cast<std::size_t>(maxLines);
    FittedText fitted{Wrap(text, width, limit, measure), false};
    if (fitted.lines.size() <= limit)
        return fitted;

    fitted.shortened = true;
    const std::vector<std::size_t> at = Boundaries(text);
    const std::size_t characters = at.size() - 1;
    std::vector<std::string> lines;
    // Lays out `head` "..." `tail`, keeping the lines when they fit.
    const auto tryLayout = [&](std::string_view head, std::string_view tail) {
        std::string candidate(how == Shorten::End ? TrimEnd(head) : head);
        candidate += kEllipsis;
        candidate += tail;
        lines = Wrap(candidate, width, limit, measure);
        return lines.size() <= limit;
    };
    const auto head = [&](std::size_t count) { return text.substr(0, at[count]); };
    const auto tail = [&](std::size_t count) { return text.substr(at[characters - count]); };

    if (how == Shorten::Middle) {
        // The file name with the separator before it, when that alone fits with "...".
        const std::size_t separator = text.find_last_of("/\\");
        if (separator != std::string_view::npos && separator > 0) {
            const std::string_view name = text.substr(separator);
            std::size_t before = 0; // characters before the separator
            while (at[before] < separator)
                ++before;
            if (tryLayout({}, name)) {
                const std::size_t kept = LargestFitting(
                    0, before, [&](std::size_t count) { return tryLayout(head(count), name); });
                tryLayout(head(kept), name);
                fitted.lines = std::move(lines);
                return fitted;
            }
        }
        // Half of what is kept from the start, half from the end.
        const auto halves = [&](std::size_t count) {
            return tryLayout(head(count - count / 2), tail(count / 2));
        };
        halves(LargestFitting(0, characters - 1, halves));
    } else {
        const auto start = [&](std::size_t count) { return tryLayout(head(count), {}); };
        start(LargestFitting(0, characters - 1, start));
    }
    // The searches end on a layout that fits, unless not even "..." alone does: it is shown all
    // the same, on its one line.
    if (lines.size() > limit)
        lines.assign(1, std::string(kEllipsis));
    fitted.lines = std::move(lines);
    return fitted;
}

std::string StatusToolTip(const std::string& text, const std::string& detail, bool shortened) {
    if (!detail.empty())
        return detail;
    return shortened ? text : std::string();
}

} // namespace quorvel
