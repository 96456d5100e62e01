// The reports and their writers: human units, the summary, and a JSON report whose fields and
// totals are each in their own place and whose string escaping survives any path; a file
// replaced before a failure keeps its sizes in all of them.

#include "ConsoleReport.h"
#include "DisplayPath.h"
#include "FileContents.h"
#include "FileOps.h"
#include "JsonReport.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureSamples.h"
#include "WorkList.h"

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

namespace quorvel {
namespace {

TEST(ConsoleReport, HumanBytesUsesBinaryUnitsWithThreeDigits) {
    const std::pair<std::int64_t, const char*> cases[] = {{0, "0 B"},
                                                          {1023, "1023 B"},
                                                          {1024, "1.00 KiB"},
                                                          {1536, "1.50 KiB"},
                                                          {10 * 1024 * 1024 + 1, "10.0 MiB"},
                                                          {-2048, "-2.00 KiB"},
                                                          {5LL << 40, "5.00 TiB"}};
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(HumanBytes(bytes), text) << bytes;
}

TEST(ConsoleReport, ProgressShowsRateAndTimeLeftOnceMeasurable) {
    ProgressSnapshot s{3, 10, 10 * 1024 * 1024, 30 * 1024 * 1024, 1024 * 1024, 2.0};
    EXPECT_EQ(FormatProgress(s), "3/10 files  10.0 MiB read  1.0 MiB saved  5.0 MiB/s  0:04 left");
    s.seconds = 0.1;
    EXPECT_EQ(FormatProgress(s), "3/10 files  10.0 MiB read  1.0 MiB saved");
}

std::string WriteJson(const std::vector<FileReport>& reports, const BatchTotals& totals,
                      bool* finished = nullptr, BatchMode mode = BatchMode::Compress);

std::string ReadAll(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, got);
    return text;
}

// The console names a file as DisplayPath shows it: a name that could forge a line is quoted.
TEST(ConsoleReport, NamesFilesAsDisplayPathShowsThem) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(file);
    FileReport report;
    report.path = "a/x\n\x1b[31mfake line.ace";
    report.outcome = Outcome::Failed;
    report.step = Step::Open;
    report.error = ErrorFromErrno(ENOENT);
    ConsoleReport console(file.get(), false);
    console.OnReport(report);
    EXPECT_EQ(ReadAll(file.get()), "Could not open " + DisplayPath(report.path) + ": " +
                                       DescribeError(report.error) + ". The file is unchanged.\n");
}

// --verbose gives every file its line, in the order the reports come: a failure (or a file in
// another layout) its sentence as always, every other file its outcome and what it saved.
TEST(ConsoleReport, VerboseGivesEveryFileItsLine) {
    const auto report = [](Outcome outcome, FileSizes sizes = {}) {
        FileReport r;
        r.path = "a.ace";
        r.outcome = outcome;
        r.sizes = sizes;
        return r;
    };
    const std::pair<FileReport, const char*> lines[] = {
        {report(Outcome::Compressed, {1040, 310}), "a.ace: compressed, 730 bytes saved (70.2%)"},
        {report(Outcome::Decompressed, {310, 1040}), "a.ace: decompressed, 730 bytes grown"},
        {report(Outcome::AlreadyCompressed), "a.ace: already compressed, left as it is"},
        {report(Outcome::NothingCompressed), "a.ace: nothing to compress, left as it is"},
        {report(Outcome::ReadOnlySkipped), "a.ace: read-only, skipped"},
        {report(Outcome::Verified), "a.ace: sound"},
        {report(Outcome::NotCompressed), "a.ace: not compressed, left as it is"},
        {report(Outcome::NotProcessed), "a.ace: not processed (interrupted), left as it is"}};
    for (const auto& [r, line] : lines)
        EXPECT_EQ(FormatFileLine(r, BatchMode::Compress), line);
    EXPECT_EQ(FormatFileLine(lines[0].first, BatchMode::DryRun),
              "a.ace: would be compressed, 730 bytes saved (70.2%)");

    FileReport failed = report(Outcome::Failed);
    failed.step = Step::Write;
    failed.error = ErrorFromErrno(ENOSPC);
    for (const bool verbose : {false, true}) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
        ASSERT_TRUE(file);
        ConsoleReport console(file.get(), false, BatchMode::Compress, verbose);
        for (const FileReport& r : {lines[0].first, failed, report(Outcome::OtherLayout)})
            console.OnReport(r);
        EXPECT_EQ(ReadAll(file.get()), (verbose ? std::string(lines[0].second) + "\n" : "") +
                                           DescribeReport(failed) + "\n" +
                                           DescribeReport(report(Outcome::OtherLayout)) + "\n");
    }
}

// A temporary file that stayed is named, with why, in the console's sentence and in the JSON
// report, for a failed file and for one an interrupt left.
TEST(FileReport, ATemporaryFileThatCouldNotBeRemovedIsNamed) {
    FileReport failed;
    failed.path = "a/brick.ace";
    failed.outcome = Outcome::Failed;
    failed.step = Step::Write;
    failed.error = ErrorFromErrno(ENOSPC);
    failed.leftover = "a/.brick.ace.quorvel-tmp-Ab12Cd";
    failed.leftoverError = ErrorFromErrno(EACCES);
    FileReport interrupted;
    interrupted.path = failed.path;
    interrupted.leftover = failed.leftover;
    interrupted.leftoverError = failed.leftoverError;
    const std::string leftover = DisplayPath(failed.leftover);
    const std::string tail = "; the temporary file " + leftover +
                             " could not be removed: " + DescribeError(failed.leftoverError) + ".";
    EXPECT_EQ(DescribeReport(failed),
              "Could not write the compressed copy of " + DisplayPath(failed.path) + ": " +
                  DescribeError(failed.error) + ". The original file is unchanged" + tail);
    EXPECT_EQ(DescribeReport(interrupted),
              "Left " + DisplayPath(failed.path) +
                  " as it was: the run was interrupted. The original file is unchanged" + tail);

    const std::string text = WriteJson({failed, interrupted}, BatchTotals{});
    const std::string fields =
        ", \"leftover\": " + JsonString(*PathText(failed.leftover)) +
        ", \"leftoverErrorCode\": " + std::to_string(failed.leftoverError.value()) +
        ", \"leftoverErrorCategory\": \"system\", \"message\": ";
    EXPECT_NE(text.find("\"step\": \"write\", \"errorCode\": " +
                        std::to_string(failed.error.value()) + ", \"errorCategory\": \"system\"" +
                        fields + JsonString(DescribeReport(failed)) + "}"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"outcome\": \"notProcessed\"" + fields +
                        JsonString(DescribeReport(interrupted)) + "}"),
              std::string::npos)
        << text;
}

TEST(JsonReport, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01 \xC3\xA9"), "\"a\\\"b\\\\c\\u000ad\\u0001 \xC3\xA9\"");
}

TEST(JsonReport, Base64IsTheStandardAlphabetWithPadding) {
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"},
                                                         {"\xFF\xFE\xFD", "//79"}};
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(Base64(bytes), text) << bytes;
}

// A name with text keeps "path" as it was, control characters and all; one without (bytes that
// aren't UTF-8) is shown there as people see it and carried exactly in "pathBytes".
TEST(JsonReport, GivesANameThatIsNotTextByItsBytes) {
    FileReport text;
    text.path = "a/b\nc \xC3\xA9.ace";
    text.outcome = Outcome::ReadOnlySkipped;
    std::vector<FileReport> reports = {text};
#ifndef _WIN32
    FileReport bytes;
    bytes.path = "a/\xFF\xFE.ace";
    bytes.outcome = Outcome::ReadOnlySkipped;
    reports.push_back(bytes);
#endif
    const std::string json = WriteJson(reports, BatchTotals{});
    EXPECT_NE(json.find("{\"path\": " + JsonString(*PathText(text.path)) +
                        ", \"outcome\": \"readOnlySkipped\"}"),
              std::string::npos)
        << json;
#ifndef _WIN32
    EXPECT_NE(
        json.find("{\"path\": \"\\\"a/\\\\xFF\\\\xFE.ace\\\"\", \"pathBytes\": \"YS///i5hY2U=\", "
                  "\"outcome\": \"readOnlySkipped\"}"),
        std::string::npos)
        << json;
#endif
}

// Every count has its own value, so a total written in another's place shows.
BatchTotals DistinctTotals() {
    BatchTotals t;
    t.files = 66;
    t.compressed = 1;
    t.alreadyCompressed = 2;
    t.nothingCompressed = 3;
    t.readOnlySkipped = 4;
    t.failed = 5;
    t.verified = 6;
    t.notCompressed = 7;
    t.notProcessed = 8;
    t.decompressed = 10;
    t.otherLayout = 11;
    t.sizes.bytesIn = 9000;
    t.sizes.bytesOut = 1000;
    return t;
}

std::string WriteJson(const std::vector<FileReport>& reports, const BatchTotals& totals,
                      bool* finished, BatchMode mode) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    if (!file)
        throw std::runtime_error("no temporary file");
    JsonReport json(file.get(), mode, EngineKind::Zlib, 3);
    for (const FileReport& report : reports)
        json.OnReport(report);
    const bool ok = json.Finish(totals, false);
    if (finished != nullptr)
        *finished = ok;
    return ReadAll(file.get());
}

TEST(JsonReport, WritesEachTotalUnderItsOwnName) {
    BatchTotals totals = DistinctTotals();
    totals.leftoversRemoved = 12;
    const std::string text = WriteJson({}, totals);
    EXPECT_NE(text.find("\"totals\": {\"files\": 66, \"compressed\": 1, \"alreadyCompressed\": 2, "
                        "\"nothingCompressed\": 3, \"readOnlySkipped\": 4, \"failed\": 5, "
                        "\"verified\": 6, \"notCompressed\": 7, \"decompressed\": 10, "
                        "\"otherLayout\": 11, \"notProcessed\": 8, "
                        "\"bytesIn\": 9000, \"bytesOut\": 1000, \"bytesSaved\": 8000, "
                        "\"leftoversRemoved\": 12}"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"mode\": \"compress\",\n  \"engine\": \"zlib\",\n  \"jobs\": 3"),
              std::string::npos)
        << text;
}

TEST(JsonReport, WritesTheFieldsOfEachKindOfOutcome) {
    FileReport compressed;
    compressed.path = "brick.ace";
    compressed.outcome = Outcome::Compressed;
    compressed.sizes.bytesIn = 1040;
    compressed.sizes.bytesOut = 310;
    FileReport failed;
    failed.path = "roof.ace";
    failed.outcome = Outcome::Failed;
    failed.step = Step::Write;
    failed.error = std::error_code(ENOSPC, std::system_category());
    FileReport walk;
    walk.path = "locked";
    walk.outcome = Outcome::WalkFailed;
    walk.step = Step::ListFolder;
    walk.error = std::error_code(EIO, std::system_category());
    FileReport damaged;
    damaged.path = "sky.ace";
    damaged.outcome = Outcome::VerifyFailed;
    damaged.problem = VerifyProblem::Truncated;
    FileReport skipped;
    skipped.path = "old.ace";
    skipped.outcome = Outcome::ReadOnlySkipped;

    const std::string text =
        WriteJson({compressed, failed, walk, damaged, skipped}, DistinctTotals());
    const std::string expected[] = {
        "{\"path\": \"brick.ace\", \"outcome\": \"compressed\", \"bytesIn\": 1040, "
        "\"bytesOut\": 310, \"bytesSaved\": 730}",
        "{\"path\": \"roof.ace\", \"outcome\": \"failed\", \"step\": \"write\", \"errorCode\": " +
            std::to_string(ENOSPC) + ", \"errorCategory\": \"system\", \"message\": \"" +
            DescribeReport(failed) + "\"}",
        "{\"path\": \"locked\", \"outcome\": \"walkFailed\", \"step\": \"listFolder\", "
        "\"errorCode\": " +
            std::to_string(EIO) + ", \"errorCategory\": \"system\", \"message\": \"" +
            DescribeReport(walk) + "\"}",
        "{\"path\": \"sky.ace\", \"outcome\": \"verifyFailed\", \"problem\": \"truncated\", "
        "\"message\": \"Verification failed for sky.ace: the zlib stream is cut short. The file "
        "was not changed.\"}",
        "{\"path\": \"old.ace\", \"outcome\": \"readOnlySkipped\"}",
    };
    for (const std::string& entry : expected)
        EXPECT_NE(text.find(entry), std::string::npos) << entry << "\nin\n" << text;
}

// Restoring makes files grow, so the sizes say how much, under their own name.
TEST(JsonReport, DecompressReportGivesBytesGrownAndTheDamageFound) {
    FileReport restored;
    restored.path = "brick.ace";
    restored.outcome = Outcome::Decompressed;
    restored.transform = TextureTransform::Restore;
    restored.sizes.bytesIn = 310;
    restored.sizes.bytesOut = 1040;
    FileReport damaged;
    damaged.path = "sky.ace";
    damaged.outcome = Outcome::Failed;
    damaged.transform = TextureTransform::Restore;
    damaged.step = Step::Decompress;
    damaged.problem = VerifyProblem::SizeMismatch;
    damaged.error = make_error_code(TextureErrc::DamagedStream);
    FileReport other;
    other.path = "old.ace";
    other.outcome = Outcome::OtherLayout;
    BatchTotals totals = DistinctTotals();
    totals.sizes.bytesIn = 1000;
    totals.sizes.bytesOut = 9000;

    const std::string text =
        WriteJson({restored, damaged, other}, totals, nullptr, BatchMode::Decompress);
    const std::string expected[] = {
        "\"mode\": \"decompress\"",
        "{\"path\": \"brick.ace\", \"outcome\": \"decompressed\", \"bytesIn\": 310, "
        "\"bytesOut\": 1040, \"bytesGrown\": 730}",
        "{\"path\": \"sky.ace\", \"outcome\": \"failed\", \"step\": \"decompress\", "
        "\"problem\": \"sizeMismatch\", \"errorCode\": " +
            std::to_string(static_cast<int>(TextureErrc::DamagedStream)) +
            ", \"errorCategory\": \"quorvel texture\", \"message\": \"Could not decompress "
            "sky.ace: the zlib stream does not inflate to the stored payload size. The file is "
            "unchanged.\"}",
        "{\"path\": \"old.ace\", \"outcome\": \"otherLayout\"}",
        "\"bytesIn\": 1000, \"bytesOut\": 9000, \"bytesGrown\": 8000, \"leftoversRemoved\": 0}",
    };
    for (const std::string& entry : expected)
        EXPECT_NE(text.find(entry), std::string::npos) << entry << "\nin\n" << text;
    EXPECT_EQ(text.find("bytesSaved"), std::string::npos) << text;
}

TEST(JsonReport, FinishSaysSoWhenTheReportCouldNotBeWritten) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> full(std::fopen("/dev/full", "w"),
                                                         &std::fclose);
    if (!full)
        GTEST_SKIP() << "no /dev/full";
    JsonReport json(full.get(), BatchMode::Compress, EngineKind::Zlib, 1);
    EXPECT_FALSE(json.Finish(DistinctTotals(), false));
    bool finished = false;
    WriteJson({}, DistinctTotals(), &finished);
    EXPECT_TRUE(finished);
}

TEST(ConsoleReport, SummaryCountsEachOutcomeInItsPlace) {
    const BatchTotals t = DistinctTotals();
    EXPECT_EQ(FormatSummary(t, BatchMode::Compress, false),
              "1 file compressed, 2 already compressed, 4 read-only skipped, 5 failed, 3 left as "
              "they were (nothing to compress).\n"
              "Bytes in: 9000 (8.79 KiB), bytes out: 1000 (1000 B).\n"
              "Saved 8000 bytes (7.81 KiB).\n");
    EXPECT_EQ(FormatSummary(t, BatchMode::DryRun, true),
              "Interrupted: finished files stay finished; 8 files were left as they were.\n"
              "1 file would be compressed, 2 already compressed, 4 read-only skipped, 5 failed, 3 "
              "left as they were (nothing to compress).\n"
              "Bytes in: 9000 (8.79 KiB), bytes out: 1000 (1000 B).\n"
              "Would save 8000 bytes (7.81 KiB).\n");
    EXPECT_EQ(FormatSummary(t, BatchMode::Verify, false),
              "6 compressed files are sound, 5 failed verification, 7 files are not compressed, 11 "
              "not checked (a compressed layout this program doesn't write).\n");
    BatchTotals withLeftovers;
    withLeftovers.leftoversRemoved = 3;
    EXPECT_TRUE(FormatSummary(withLeftovers, BatchMode::Compress, false)
                    .ends_with("Removed 3 temporary files left behind by an interrupted earlier "
                               "run.\n"));
}

#ifndef _WIN32 // Windows has no folder sync to fail
// A file replaced whose folder then failed to sync did shrink: its report keeps its sizes, and
// the totals of the summary and of the JSON report count what it saved.
TEST(FileReport, ReplacedFileWhoseFolderSyncFailedKeepsItsSizes) {
    test::TempDir dir;
    const test::Bytes payload = test::CompressibleBytes(6000);
    const test::Bytes input = test::MakeTexture(0x40, payload);
    test::WriteFileBytes(dir / "brick.ace", input);
    const auto in = static_cast<std::int64_t>(input.size());
    const auto out = static_cast<std::int64_t>(16 + test::ZlibCompress(payload).size());
    FileOps ops = SystemFileOps();
    ops.fsync = [realFsync = ops.fsync, realFstat = ops.fstat](int fd) {
        FileIdentity identity;
        if (realFstat(fd, identity) == 0 && identity.isFolder()) {
            errno = EIO;
            return -1;
        }
        return realFsync(fd);
    };
    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir.path()}, stop);
    class CollectingSink final : public BatchSink {
    public:
        void OnReport(const FileReport& report) override { reports.push_back(report); }
        std::vector<FileReport> reports;
    } sink;
    BatchTotals totals;
    {
        ScopedFileOps failing(std::move(ops));
        totals = RunBatch(work, BatchOptions{}, sink, stop);
    }

    EXPECT_EQ(test::ReadFileBytes(dir / "brick.ace"), test::ExpectedRewrite(input));
    ASSERT_EQ(sink.reports.size(), 1u);
    const FileReport& report = sink.reports[0];
    EXPECT_EQ(report.step, Step::SyncFolder);
    EXPECT_EQ(report.sizes.bytesIn, in);
    EXPECT_EQ(report.sizes.bytesOut, out);
    EXPECT_EQ(totals.failed, 1);
    const std::string saved = std::to_string(in - out);
    const std::string summary = FormatSummary(totals, BatchMode::Compress, false);
    EXPECT_NE(summary.find("Bytes in: " + std::to_string(in) + " "), std::string::npos) << summary;
    EXPECT_NE(summary.find("Saved " + saved + " bytes"), std::string::npos) << summary;
    const std::string sizes = "\"bytesIn\": " + std::to_string(in) +
                              ", \"bytesOut\": " + std::to_string(out) +
                              ", \"bytesSaved\": " + saved;
    const std::string json = WriteJson(sink.reports, totals);
    EXPECT_NE(json.find("\"outcome\": \"failed\", " + sizes + ", \"step\": \"syncFolder\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(sizes + ", \"leftoversRemoved\""), std::string::npos) << json;
}
#endif

TEST(ConsoleReport, DecompressSummaryAndProgressSayHowMuchTheFilesGrew) {
    BatchTotals t = DistinctTotals();
    t.sizes.bytesIn = 1000;
    t.sizes.bytesOut = 9000;
    EXPECT_EQ(FormatSummary(t, BatchMode::Decompress, false),
              "10 files decompressed, 7 not compressed, 4 read-only skipped, 5 failed, 11 left as "
              "they were (a compressed layout this program doesn't write).\n"
              "Bytes in: 1000 (1000 B), bytes out: 9000 (8.79 KiB).\n"
              "Grew by 8000 bytes (7.81 KiB).\n");
    t.otherLayout = 0;
    t.decompressed = 1;
    EXPECT_EQ(FormatSummary(t, BatchMode::DecompressDryRun, false),
              "1 file would be decompressed, 7 not compressed, 4 read-only skipped, 5 failed.\n"
              "Bytes in: 1000 (1000 B), bytes out: 9000 (8.79 KiB).\n"
              "Would grow by 8000 bytes (7.81 KiB).\n");
    const ProgressSnapshot s{3, 10, 1024 * 1024, 3 * 1024 * 1024, -4 * 1024 * 1024, 2.0};
    EXPECT_EQ(FormatProgress(s, BatchMode::Decompress),
              "3/10 files  1.0 MiB read  4.0 MiB grown  0.5 MiB/s  0:04 left");
}

} // namespace
} // namespace quorvel
