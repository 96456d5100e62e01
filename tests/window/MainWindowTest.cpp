// Tests of the main window's logic through a view that records every call: the quote rule and
// the single-file mode over real files with the real compressor, the busy state, and the
// folder mode's order of events (dialog, window shown, walk, dialog unloaded, " Finished..").
#include "MainWindow.h"

#include "Brevora.h"
#include "DisplayPath.h"
#include "FailureText.h"
#include "FileOps.h"
#include "System.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureSamples.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <new>
#include <ostream>
#include <string>
#include <vector>

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using Events = std::vector<std::string>;

// Records every call as one line ("status 12 bytes saved", "ok off", "pick", ...).
class RecordingView : public MainWindowView {
public:
    void setTitle(const std::string& text) override {
        if (throwOnTitle)
            throw std::bad_alloc();
        events.push_back("title " + text);
    }
    void setStatus(const std::string& text) override { events.push_back("status " + text); }
    void repaintStatus() override { events.push_back("repaint"); }
    void setStatusDetail(const std::string& text) override { events.push_back("detail " + text); }
    void setOkEnabled(bool enabled) override { events.push_back(enabled ? "ok on" : "ok off"); }
    void focusOk() override { events.push_back("focus"); }
    void showNow() override { events.push_back("show"); }
    fs::path pickStartFolder() override {
        events.push_back("pick");
        return pickedFolder;
    }
    void unloadFolderDialog() override { events.push_back("unload"); }
    void showWarning(const std::string& text) override { events.push_back("warning " + text); }
    void closeWindow() override { events.push_back("close"); }

    // Lines starting with `prefix`, the prefix removed.
    std::vector<std::string> Calls(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& event : events) {
            if (event.rfind(prefix, 0) == 0)
                out.push_back(event.substr(prefix.size()));
        }
        return out;
    }
    // Position of the first event equal to `event`, or -1.
    long IndexOf(const std::string& event) const {
        const auto it = std::find(events.begin(), events.end(), event);
        return it == events.end() ? -1 : static_cast<long>(it - events.begin());
    }

    fs::path pickedFolder;
    bool throwOnTitle = false;
    Events events;
};

NativeString Native(const std::string& ascii) {
    return NativeString(ascii.begin(), ascii.end());
}

std::int64_t Saving(const Bytes& payload) {
    return static_cast<std::int64_t>(payload.size()) -
           static_cast<std::int64_t>(ZlibCompress(payload).size());
}

std::string SavedText(std::int64_t bytes) {
    return std::to_string(bytes) + " bytes saved";
}

class MainWindowTest : public ::testing::Test {
protected:
    TempDir m_dir;
    RecordingView m_view;
};

// --- single-file mode ------------------------------------------------------------------------

TEST_F(MainWindowTest, CompressesTheNamedFileAndShowsTheBytesSaved) {
    const Bytes payload = CompressibleBytes(20000);
    const Bytes before = MakeTexture(0x40, payload);
    const fs::path file = m_dir / "brick.ACE";
    WriteFileBytes(file, before);

    MainWindow window(m_view, file.native());
    window.Form_Load();

    EXPECT_EQ(ReadFileBytes(file), ExpectedRewrite(before));
    const Events expected{"ok off", "title " + DisplayPath(file),
                          "status " + SavedText(Saving(payload)), "ok on", "focus"};
    EXPECT_EQ(m_view.events, expected);
}

TEST_F(MainWindowTest, AnAlreadyCompressedFileShowsZeroBytesSaved) {
    const fs::path file = m_dir / "done.ace";
    const Bytes compressed = ExpectedRewrite(MakeTexture(0x40, CompressibleBytes(5000)));
    WriteFileBytes(file, compressed);

    MainWindow window(m_view, file.native());
    window.Form_Load();

    EXPECT_EQ(m_view.Calls("status "), std::vector<std::string>{"0 bytes saved"});
    EXPECT_EQ(ReadFileBytes(file), compressed);
}

TEST_F(MainWindowTest, AFileThatGrowsShowsANegativeSaving) {
    const Bytes payload = RandomBytes(4000);
    ASSERT_LT(Saving(payload), 0);
    const fs::path file = m_dir / "noise.ace";
    WriteFileBytes(file, MakeTexture(0x40, payload));

    MainWindow window(m_view, file.native());
    window.Form_Load();

    EXPECT_EQ(m_view.Calls("status "), std::vector<std::string>{SavedText(Saving(payload))});
}

struct QuoteCase {
    const char* name;
    const char* before; // the command line: before + test folder + separator + middle
    const char* middle;
    const char* title; // lblTitle: before-title + test folder + separator + title
    const char* titleBefore;
    bool compressed;
};

// Test names and failure messages show the case by its name, not its bytes.
void PrintTo(const QuoteCase& c, std::ostream* out) {
    *out << c.name;
}

class QuoteRule : public MainWindowTest, public ::testing::WithParamInterface<QuoteCase> {};

TEST_P(QuoteRule, ReachesTheFileOnlyWhenTheQuotesGo) {
    const QuoteCase& c = GetParam();
    const Bytes payload = CompressibleBytes(5000);
    const Bytes before = MakeTexture(0x40, payload);
    const fs::path file = m_dir / "a b.ace";
    WriteFileBytes(file, before);
    const NativeString folder =
        m_dir.path().native() + NativeString(1, fs::path::preferred_separator);

    MainWindow window(m_view, Native(c.before) + folder + Native(c.middle));
    window.Form_Load();

    EXPECT_EQ(m_view.Calls("title "),
              std::vector<std::string>{std::string(c.titleBefore) + DisplayPath(fs::path(folder)) +
                                       c.title});
    const std::vector<std::string> status = m_view.Calls("status ");
    ASSERT_EQ(status.size(), 1u);
    if (c.compressed) {
        EXPECT_EQ(status[0], SavedText(Saving(payload)));
        EXPECT_EQ(ReadFileBytes(file), ExpectedRewrite(before));
    } else {
        EXPECT_EQ(status[0].rfind("Error ", 0), 0u) << status[0];
        EXPECT_EQ(ReadFileBytes(file), before);
    }
}

const QuoteCase kQuoteCases[] = {
    {"QuotedPathWithBlanks", "\"", "a b.ace\"", "a b.ace", "", true},
    {"BarePathWithBlanks", "", "a b.ace", "a b.ace", "", true},
    {"EveryQuoteGoesWhenTheFirstIsOne", "\"", "a\" \"b.ace", "a b.ace", "", true},
#ifndef _WIN32 // Windows drops trailing blanks from a file name, so this one would be found
    {"TrailingBlankAfterTheQuotesStays", "\"", "a b.ace\" ", "a b.ace ", "", false},
#endif
    {"UnquotedKeepsItsQuotes", "", "a \"b\".ace", "a \"b\".ace", "", false},
    {"LeadingBlankBeforeTheQuote", " \"", "a b.ace\"", "a b.ace\"", " \"", false},
};

std::string QuoteCaseName(const ::testing::TestParamInfo<QuoteCase>& param) {
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(MainWindow, QuoteRule, ::testing::ValuesIn(kQuoteCases), QuoteCaseName);

TEST_F(MainWindowTest, AMissingFileShowsTheSystemsReasonWithTheSentenceAsDetail) {
    const fs::path file = m_dir / "none.ace";

    MainWindow window(m_view, file.native());
    window.Form_Load();

    const std::vector<std::string> status = m_view.Calls("status ");
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].rfind("Error 2: ", 0), 0u) << status[0];
    const std::vector<std::string> detail = m_view.Calls("detail ");
    ASSERT_EQ(detail.size(), 1u);
    EXPECT_EQ(detail[0].rfind("Could not open " + DisplayPath(file) + ": " + status[0], 0), 0u)
        << detail[0];
    EXPECT_TRUE(m_view.Calls("warning ").empty());
}

TEST_F(MainWindowTest, AFailedRewriteShowsItsReasonAndTheWholeSentence) {
    const fs::path file = m_dir / "full.ace";
    WriteFileBytes(file, MakeTexture(0x40, CompressibleBytes(3000)));
    const std::error_code noSpace = ErrorFromErrno(ENOSPC);
    FileOps ops = SystemFileOps();
    ops.write = [](int, const void*, std::size_t) -> std::int64_t {
        errno = ENOSPC;
        return -1;
    };
    ScopedFileOps full(std::move(ops));

    MainWindow window(m_view, file.native());
    window.Form_Load();

    EXPECT_EQ(m_view.Calls("status "), std::vector<std::string>{DescribeError(noSpace)});
    EXPECT_EQ(m_view.Calls("detail "), std::vector<std::string>{DescribeFailure(
                                           Step::Write, TextureTransform::Compress, noSpace,
                                           VerifyProblem::None, DisplayPath(file))});
}

// Replaced, but its folder not flushed: the saving stands, with the warning beside it.
TEST_F(MainWindowTest, AFileReplacedWhoseFolderWasNotFlushedShowsTheSavingAndTheWarning) {
    const fs::path file = m_dir / "wall.ace";
    const Bytes input = MakeTexture(0x40, CompressibleBytes(3000));
    WriteFileBytes(file, input);
    const std::error_code io = ErrorFromErrno(EIO);
    FileOps ops = SystemFileOps();
    ops.fsync = [real = ops.fsync, fstat = ops.fstat](int fd) {
        FileIdentity identity;
        if (fstat(fd, identity) == 0 && !identity.isRegular()) {
            errno = EIO;
            return -1;
        }
        return real(fd);
    };
    {
        ScopedFileOps noFolderSync(std::move(ops));
        MainWindow window(m_view, file.native());
        window.Form_Load();
    }
    if (!SystemCapabilities().syncsFolders)
        GTEST_SKIP() << "no folder sync here";
    const auto saved = static_cast<std::int64_t>(input.size() - ExpectedRewrite(input).size());
    EXPECT_EQ(ReadFileBytes(file), ExpectedRewrite(input));
    EXPECT_EQ(m_view.Calls("status "),
              std::vector<std::string>{std::to_string(saved) +
                                       " bytes saved, but the folder could not be flushed to "
                                       "disk: " +
                                       DescribeError(io)});
    EXPECT_EQ(m_view.Calls("detail "), std::vector<std::string>{DescribeFailure(
                                           Step::SyncFolder, TextureTransform::Compress, io,
                                           VerifyProblem::None, DisplayPath(file))});
}

// --- busy state and closing ------------------------------------------------------------------

TEST_F(MainWindowTest, OkStaysDisabledAndCloseIsRefusedWhileAFileIsCompressed) {
    const fs::path file = m_dir / "wall.ace";
    WriteFileBytes(file, MakeTexture(0x40, CompressibleBytes(3000)));
    MainWindow* self = nullptr;
    Events seenWhileBusy;
    bool busy = false, closeAccepted = true;

    MainWindow::Options options;
    options.whileWorking = [&] {
        busy = self->busy();
        closeAccepted = self->QueryUnload();
        self->cmdOK_Click();
        seenWhileBusy = m_view.events;
    };
    MainWindow window(m_view, file.native(), options);
    self = &window;
    EXPECT_FALSE(window.busy());
    window.Form_Load();

    EXPECT_TRUE(busy);
    EXPECT_FALSE(closeAccepted);
    // Only the disabled button and the title so far: no close, no show.
    EXPECT_EQ(seenWhileBusy, (Events{"ok off", "title " + DisplayPath(file)}));
    EXPECT_FALSE(window.busy());
    EXPECT_EQ(m_view.events.back(), "focus");
    EXPECT_EQ(m_view.events[m_view.events.size() - 2], "ok on");
}

TEST_F(MainWindowTest, OkAfterTheRunAsksTheViewToCloseAndTheCloseGoesAhead) {
    MainWindow window(m_view, (m_dir / "none.ace").native());
    window.Form_Load();
    m_view.events.clear();

    window.cmdOK_Click();
    EXPECT_EQ(m_view.events, Events{"close"});
    EXPECT_TRUE(window.QueryUnload());
    EXPECT_TRUE(window.QueryUnload()); // a second request after the unload does no harm
}

// --- folder mode -----------------------------------------------------------------------------

TEST_F(MainWindowTest, FolderModeShowsTheWindowWalksAndUnloadsTheDialogBeforeFinishing) {
    const Bytes a = CompressibleBytes(30000), b = CompressibleBytes(50000);
    fs::create_directories(m_dir / "sub");
    const Bytes aFile = MakeTexture(0x40, a), bFile = MakeTexture(0x40, b);
    WriteFileBytes(m_dir / "a.ace", aFile);
    WriteFileBytes(m_dir / "sub" / "b.ACE", bFile);
    const Bytes decoy = MakeTexture(0x40, CompressibleBytes(2000));
    WriteFileBytes(m_dir / "decoy.aces", decoy);
    m_view.pickedFolder = m_dir.path();

    MainWindow window(m_view, NativeString());
    window.Form_Load();

    const std::string afterA = "Saved " + std::to_string(Saving(a) / 1024) + "Kb";
    const std::string afterB = "Saved " + std::to_string((Saving(a) + Saving(b)) / 1024) + "Kb";
    const Events expected{"ok off",
                          "pick",
                          "show",
                          "title Scanning " + DisplayPath(m_dir.path()),
                          "status " + afterA,
                          "repaint",
                          "title Scanning " + DisplayPath(m_dir / "sub"),
                          "status " + afterB,
                          "repaint",
                          "unload",
                          "status " + afterB + " Finished..",
                          "ok on",
                          "focus"};
    EXPECT_EQ(m_view.events, expected);
    EXPECT_EQ(ReadFileBytes(m_dir / "a.ace"), ExpectedRewrite(aFile));
    EXPECT_EQ(ReadFileBytes(m_dir / "sub" / "b.ACE"), ExpectedRewrite(bFile));
    EXPECT_EQ(ReadFileBytes(m_dir / "decoy.aces"), decoy);

    // A second run finds everything compressed already.
    RecordingView again;
    again.pickedFolder = m_dir.path();
    MainWindow second(again, NativeString());
    second.Form_Load();
    EXPECT_EQ(again.Calls("status ").back(), "Saved 0Kb Finished..");
}

// However many workers compress the files, the view gets the same texts in the same order: a
// title as the results reach each folder, a total after each file in walk order.
TEST_F(MainWindowTest, FolderModeShowsTheSameTextsForOneAndFourWorkers) {
    auto makeTree = [](const fs::path& root) {
        for (int i = 0; i < 36; ++i) {
            // Big files early in each folder, so later small ones finish first on other workers.
            const std::size_t size = i % 6 == 0 ? 400000 : 2000 + 700 * static_cast<std::size_t>(i);
            const fs::path folder = root / ("f" + std::to_string(i % 5)) / (i % 2 ? "deeper" : "");
            fs::create_directories(folder);
            WriteFileBytes(folder / ("t" + std::to_string(i) + ".ace"),
                           MakeTexture(0x40, CompressibleBytes(size)));
        }
    };
    Events seen[2];
    for (const unsigned jobs : {1u, 4u}) {
        TempDir dir;
        makeTree(dir.path());
        RecordingView view;
        view.pickedFolder = dir.path();
        MainWindow::Options options;
        options.jobs = jobs;
        MainWindow window(view, NativeString(), options);
        window.Form_Load();
        const std::string root = DisplayPath(dir.path());
        for (std::string event : view.events) {
            if (const auto at = event.find(root); at != std::string::npos)
                event.replace(at, root.size(), "ROOT");
            seen[jobs == 1 ? 0 : 1].push_back(event);
        }
        EXPECT_EQ(window.failureCount(), 0u);
    }
    EXPECT_EQ(std::count(seen[0].begin(), seen[0].end(), "repaint"), 36);
    EXPECT_EQ(seen[0], seen[1]);
}

TEST_F(MainWindowTest, ACancelledFolderChoiceOnlyFinishes) {
    for (const NativeString& commandLine : {NativeString(), Native("\"\"")}) {
        RecordingView view;
        MainWindow window(view, commandLine);
        window.Form_Load();
        const Events expected{"ok off", "pick", "unload", "status  Finished..", "ok on", "focus"};
        EXPECT_EQ(view.events, expected);
    }
}

TEST_F(MainWindowTest, FolderModeListsWhatCouldNotBeCompressedInOneWarning) {
    // Files of 16 bytes or fewer have no payload: each one is a failure of its own.
    for (int i = 0; i < 22; ++i)
        WriteFileBytes(m_dir / ("short" + std::to_string(i) + ".ace"), Bytes{'s', 'h', 'o'});
    const Bytes good = CompressibleBytes(40000);
    WriteFileBytes(m_dir / "good.ace", MakeTexture(0x40, good));
    m_view.pickedFolder = m_dir.path();

    MainWindow window(m_view, NativeString());
    window.Form_Load();

    const std::vector<std::string> warnings = m_view.Calls("warning ");
    ASSERT_EQ(warnings.size(), 1u);
    const std::string& text = warnings[0];
    EXPECT_EQ(text.rfind("Not everything could be compressed:\n\n", 0), 0u) << text;
    EXPECT_NE(text.find(DisplayPath(m_dir / "short0.ace")), std::string::npos) << text;
    EXPECT_NE(text.find("and 2 more"), std::string::npos) << text;
    EXPECT_EQ(text.find("good.ace"), std::string::npos) << text;
    // The warning comes after " Finished.." is in place, and before OK is enabled.
    const long finished =
        m_view.IndexOf("status Saved " + std::to_string(Saving(good) / 1024) + "Kb Finished..");
    ASSERT_GE(finished, 0);
    EXPECT_EQ(m_view.events[static_cast<std::size_t>(finished) + 1].rfind("warning ", 0), 0u);
    EXPECT_EQ(m_view.events[static_cast<std::size_t>(finished) + 2], "ok on");
}

TEST_F(MainWindowTest, RunningOutOfMemoryInTheWalkEndsTheRunWithAWarning) {
    WriteFileBytes(m_dir / "a.ace", MakeTexture(0x40, CompressibleBytes(3000)));
    m_view.pickedFolder = m_dir.path();
    m_view.throwOnTitle = true;

    MainWindow window(m_view, NativeString());
    window.Form_Load();

    const Events expected{"ok off",
                          "pick",
                          "show",
                          "warning The folder walk stopped early: the program ran out of memory. "
                          "Files not reached yet are unchanged.",
                          "unload",
                          "status  Finished..",
                          "ok on",
                          "focus"};
    EXPECT_EQ(m_view.events, expected);
    EXPECT_FALSE(window.busy());
}

} // namespace
} // namespace quorvel::test
