// The folder mode's texts from the ordered results, and the scan over real trees through the
// pipeline: titles, running totals, failures and leftovers.
#include "TextureScan.h"

#include "DisplayPath.h"
#include "FailureText.h"
#include "FileOps.h"
#include "TextureError.h"
#include "TextureSamples.h"
#include "WalkTestFiles.h"

#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

using Events = std::vector<std::string>;

class RecordingView : public ProgressView {
public:
    void setTitle(const std::string& text) override { events.push_back("title " + text); }
    void setStatus(const std::string& text) override { events.push_back("status " + text); }
    void repaintStatus() override { events.push_back("repaint"); }
    Events events;
};

// A file's report as the pipeline gives it: `saved` bytes by a file replaced on disk (a failure
// at SyncFolder included), or none.
FileReport Report(std::int64_t saved, Outcome outcome = Outcome::Compressed,
                  Step step = Step::None) {
    FileReport report;
    report.path = "/t/x.ace";
    report.outcome = outcome;
    report.step = step;
    if (outcome == Outcome::Failed || outcome == Outcome::WalkFailed)
        report.error = std::make_error_code(std::errc::io_error);
    if (outcome == Outcome::Compressed || step == Step::SyncFolder)
        report.sizes = {16 + 100000, 16 + 100000 - saved};
    return report;
}

// What compressing `payload` saves, by the linked zlib.
std::int64_t Saving(const Bytes& payload) {
    return static_cast<std::int64_t>(payload.size()) -
           static_cast<std::int64_t>(ZlibCompress(payload).size());
}

TEST(TextureScan, SetsTitlePerFolderAndStatusAfterEveryCandidate) {
    TempDir r;
    const Bytes payload = CompressibleBytes(9000);
    MakeFile(r, "a.ace", MakeTexture(0x00, payload));
    MakeFile(r, "sub/b.ace", MakeTexture(0x46, payload)); // already compressed: adds 0
    MakeFile(r, "sub/notes.txt", MakeTexture(0x00, payload));
    RecordingView view;
    TextureScan scan(view);
    scan.Scan(r.path());
    scan.Finish();
    const std::string saved = "status Saved " + std::to_string(Saving(payload) / 1024) + "Kb";
    EXPECT_EQ(view.events, (Events{"title Scanning " + DisplayPath(r.path()), saved, "repaint",
                                   "title Scanning " + DisplayPath(r / "sub"), saved, "repaint",
                                   saved + " Finished.."}));

    RecordingView cancelled; // no folder chosen: no scan, only the finish
    TextureScan(cancelled).Finish();
    EXPECT_EQ(cancelled.events, (Events{"status  Finished.."}));
}

struct TotalCase {
    std::vector<FileReport> reports; // in walk order
    std::int64_t total;
    const char* status;
    std::size_t failures = 0;
};
void PrintTo(const TotalCase& c, std::ostream* out) {
    *out << c.status;
}

class ScanTotal : public ::testing::TestWithParam<TotalCase> {};

TEST_P(ScanTotal, ShowsTheTotalInWholeKilobytesTruncatedTowardZero) {
    const TotalCase& c = GetParam();
    RecordingView view;
    TextureScan scan(view);
    for (const FileReport& report : c.reports)
        scan.OnReport(report);
    EXPECT_EQ(scan.totalSaved(), c.total);
    EXPECT_EQ(scan.statusText(), c.status);
    EXPECT_EQ(scan.failures().size(), c.failures);
}

constexpr std::int64_t kMax = 2147483647;
constexpr Outcome kFailed = Outcome::Failed;

INSTANTIATE_TEST_SUITE_P(
    Totals, ScanTotal,
    ::testing::Values(
        TotalCase{{Report(1023)}, 1023, "Saved 0Kb"}, TotalCase{{Report(1024)}, 1024, "Saved 1Kb"},
        TotalCase{{Report(-1500)}, -1500, "Saved -1Kb"},
        TotalCase{{Report(kMax), Report(kMax), Report(kMax)}, 3LL * kMax, "Saved 6291455Kb"},
        // A failure adds nothing; one that failed only after the file was replaced did save its
        // bytes. A folder the walk couldn't read is listed and leaves the status alone.
        TotalCase{{Report(4096), Report(777, kFailed, Step::Write),
                   Report(0, Outcome::WalkFailed, Step::OpenFolder)},
                  4096,
                  "Saved 4Kb",
                  2},
        TotalCase{{Report(3072, kFailed, Step::SyncFolder)}, 3072, "Saved 3Kb", 1}));

// The window program removes a killed run's temporary files without a word; only a removal that
// fails is listed.
TEST(TextureScan, RemovesLeftoverTemporaryFilesQuietlyAndListsAFailedRemoval) {
    TempDir r;
    const auto leftover = MakeFile(r, "sub/.a.ace.quorvel-tmp-Q1w2E3");
    fs::last_write_time(leftover, fs::last_write_time(leftover) - std::chrono::hours(2));
    RecordingView view;
    TextureScan scan(view);
    scan.Scan(r.path());
    EXPECT_EQ(scan.leftoversRemoved(), 1);
    EXPECT_TRUE(scan.failures().empty());
    EXPECT_FALSE(fs::exists(leftover));

    MakeFile(r, "sub/.b.ace.quorvel-tmp-Q1w2E3");
    fs::last_write_time(r / "sub/.b.ace.quorvel-tmp-Q1w2E3",
                        fs::file_time_type::clock::now() - std::chrono::hours(2));
    FileOps ops = SystemFileOps();
    ops.unlinkAt = [](FolderHandle, const fs::path&, int) {
        errno = EACCES;
        return -1;
    };
    ScopedFileOps refuse(std::move(ops));
    TextureScan again(view);
    again.Scan(r.path());
    ASSERT_EQ(again.failures().size(), 1u);
    EXPECT_EQ(again.failures()[0].message.rfind("Could not remove the leftover temporary file ", 0),
              0u)
        << again.failures()[0].message;
}

TEST(TextureScan, RecordsWalkFailuresWithPathReasonAndState) {
    class LockedLister : public DirectoryLister {
        DirectoryListing List(const FolderRequest&) override {
            DirectoryListing listing;
            listing.openError = {EACCES, std::system_category()};
            return listing;
        }
    } lister;
    RecordingView view;
    TextureScan scan(view);
    scan.Scan("/t/caf\xE9", lister);
    ASSERT_EQ(scan.failures().size(), 1u);
    EXPECT_EQ(scan.failures()[0].path, "/t/caf\xE9");
#ifdef _WIN32
    // A narrow name is in the ANSI code page there, where 0xE9 is a letter like any other; the
    // path is shown with the system's separator.
    const std::string shown = "\\t\\caf\xC3\xA9";
#else
    const std::string shown = "\"/t/caf\\xE9\""; // not UTF-8: the byte shown as itself
#endif
    EXPECT_EQ(scan.failures()[0].message, "Could not open the folder " + shown + ": " +
                                              DescribeError({EACCES, std::system_category()}) +
                                              ". Nothing in it was changed.");
}

TEST(TextureScan, CompressesATreeOnceAndASecondPassChangesNothing) {
    TempDir r;
    const Bytes payloadA = CompressibleBytes(5000), payloadB = RandomBytes(70000);
    MakeFile(r, "a.ace", MakeTexture(0x00, payloadA));
    MakeFile(r, "sub/b.ACE", MakeTexture(0x00, payloadB)); // grows: a negative saving
    const auto done = MakeFile(r, "sub/done.ace", MakeTexture(0x46, payloadA));
    const auto readOnly = MakeFile(r, "ro.ace", MakeTexture(0x00, payloadA));
    fs::permissions(readOnly, fs::perms(0444));
    const auto tooShort = MakeFile(r, "short.ace", {1, 2, 3, 4, 5});
    MakeFile(r, "other.txt", MakeTexture(0x00, payloadA));
    const std::int64_t expected = Saving(payloadA) + Saving(payloadB);

    RecordingView first;
    TextureScan scan(first);
    scan.Scan(r.path());
    EXPECT_EQ(scan.totalSaved(), expected);
    EXPECT_EQ(scan.statusText(), "Saved " + std::to_string(expected / 1024) + "Kb");
    // a, b, done and short each set and repaint the label; ro.ace and other.txt don't.
    EXPECT_EQ(std::count(first.events.begin(), first.events.end(), "repaint"), 4);
    ASSERT_EQ(scan.failures().size(), 1u);
    EXPECT_EQ(scan.failures()[0].path, tooShort);
    EXPECT_EQ(ReadFileBytes(readOnly), MakeTexture(0x00, payloadA));
    EXPECT_EQ(ReadFileBytes(done), MakeTexture(0x46, payloadA));
    EXPECT_EQ(ReadFileBytes(tooShort), (Bytes{1, 2, 3, 4, 5}));

    const Bytes compressedA = ReadFileBytes(r / "a.ace");
    RecordingView second;
    TextureScan again(second);
    again.Scan(r.path());
    again.Finish();
    EXPECT_EQ(again.totalSaved(), 0);
    EXPECT_EQ(second.events.back(), "status Saved 0Kb Finished..");
    EXPECT_EQ(ReadFileBytes(r / "a.ace"), compressedA);
}

struct ReportCase {
    std::size_t failures;
    std::size_t lines;
    const char* last;
};
void PrintTo(const ReportCase& c, std::ostream* out) {
    *out << c.failures << " failures";
}

class FailureReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(FailureReport, ListsAtMostTwentyThenHowManyMore) {
    std::vector<ScanFailure> failures;
    for (std::size_t i = 1; i <= GetParam().failures; ++i)
        failures.push_back({"f", "failure " + std::to_string(i)});
    const std::string text = FormatFailureReport(failures);
    const auto newlines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_EQ(text.empty() ? 0 : newlines + 1, GetParam().lines);
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(Counts, FailureReport,
                         ::testing::Values(ReportCase{0, 0, ""}, ReportCase{1, 1, "failure 1"},
                                           ReportCase{20, 20, "failure 20"},
                                           ReportCase{21, 21, "and 1 more"},
                                           ReportCase{45, 21, "and 25 more"}));

} // namespace
} // namespace quorvel::test
