// Tests of what a status label shows of its text, measured in characters: one pixel per
// character, so a width is a number of characters.
#include "FitText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quorvel::test {
namespace {

using Lines = std::vector<std::string>;

int Characters(std::string_view text) {
    int count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

FittedText Fit(std::string_view text, int width, int lines, Shorten how = Shorten::Middle) {
    return FitText(text, width, lines, how, Characters);
}

TEST(FitText, KeepsATextThatFitsAsItIs) {
    const FittedText fitted = Fit("Saved 12Kb Finished..", 21, 1);
    EXPECT_EQ(fitted.lines, Lines{"Saved 12Kb Finished.."});
    EXPECT_FALSE(fitted.shortened);
}

TEST(FitText, BreaksAfterBlanksAndSeparatorsInsideLongWordsAndAtNewlines) {
    EXPECT_EQ(Fit("Scanning /home/ann/textures/brick.ace", 20, 2).lines,
              (Lines{"Scanning /home/ann/", "textures/brick.ace"}));
    EXPECT_EQ(Fit("File was changed by another", 17, 2, Shorten::End).lines,
              (Lines{"File was changed ", "by another"}));
    EXPECT_EQ(Fit("C:\\Games\\grass.ace", 10, 2).lines, (Lines{"C:\\Games\\", "grass.ace"}));
    EXPECT_EQ(Fit("abcdefghij", 4, 3).lines, (Lines{"abcd", "efgh", "ij"}));
    EXPECT_EQ(Fit("<b>a\n&amp;b", 20, 2).lines, (Lines{"<b>a", "&amp;b"}));
    EXPECT_FALSE(Fit("abcdefghij", 4, 3).shortened);
}

TEST(FitText, ShortensAPathInTheMiddleKeepingItsStartAndFileName) {
    const FittedText fitted = Fit("/home/ann/textures/old/brick.ace", 12, 2);
    EXPECT_EQ(fitted.lines, (Lines{"/home/an.../", "brick.ace"}));
    EXPECT_TRUE(fitted.shortened);

    // Two lines as wide as the window's upper label: as much of the start as fits.
    std::string path = "Scanning /srv";
    for (int i = 0; i < 6; ++i)
        path += "/folder" + std::to_string(i) + std::string(50, 'x');
    path += "/brick with a long name.ace";
    const FittedText title = Fit(path, 80, 2);
    ASSERT_EQ(title.lines.size(), 2u);
    EXPECT_TRUE(title.shortened);
    EXPECT_EQ(title.lines[0], path.substr(0, title.lines[0].size()));
    EXPECT_GE(title.lines[0].size(), 70u);
    const std::string kept = ".../brick with a long name.ace";
    EXPECT_EQ(title.lines[1].substr(title.lines[1].size() - kept.size()), kept);
    for (const std::string& line : title.lines)
        EXPECT_LE(Characters(line), 80) << line;
}

TEST(FitText, ShortensAFileNameTooLongForTheLinesAtBothEnds) {
    const FittedText fitted = Fit("/x/" + std::string(30, 'n') + ".ace", 10, 2);
    EXPECT_EQ(fitted.lines, (Lines{"/x/", "nn...n.ace"}));
    EXPECT_TRUE(fitted.shortened);
}

TEST(FitText, ShortensASentenceAtItsEnd) {
    const std::string reason = "File was changed by another program while it was being compressed";
    EXPECT_EQ(Fit(reason, 14, 1, Shorten::End).lines, Lines{"File was ch..."});
    // Blanks before the cut go, so "..." follows a word.
    EXPECT_EQ(Fit(reason, 11, 1, Shorten::End).lines, Lines{"File was..."});
    EXPECT_EQ(Fit(reason, 40, 2, Shorten::End).lines,
              (Lines{"File was changed by another program ", "while it was being compressed"}));
}

TEST(FitText, NeverSplitsACharacterAndAlwaysShowsSomething) {
    EXPECT_EQ(Fit("/\u00e9\u00e9\u00e9/\u540d\u524d.ace", 6, 1).lines, Lines{"/\u00e9...e"});
    EXPECT_EQ(Fit("\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", 2, 3).lines,
              (Lines{"\u00e9\u00e9", "\u00e9\u00e9", "\u00e9\u00e9"}));
    EXPECT_EQ(Fit("\u00e9\u00e9\u00e9", 0, 0, Shorten::End).lines, Lines{"..."});
}

TEST(StatusToolTip, IsTheDetailOrTheWholeTextWhenShortened) {
    EXPECT_EQ(StatusToolTip("Error 2", "Could not open a.ace: Error 2.", false),
              "Could not open a.ace: Error 2.");
    EXPECT_EQ(StatusToolTip("File was changed by", "Could not replace a.ace.", true),
              "Could not replace a.ace.");
    EXPECT_EQ(StatusToolTip("/a/b/c.ace", "", true), "/a/b/c.ace");
    EXPECT_EQ(StatusToolTip("512 bytes saved", "", false), "");
}

} // namespace
} // namespace quorvel::test
