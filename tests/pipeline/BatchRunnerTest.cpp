// The batch command's pipeline end to end on generated trees: one worker and many give the same
// files and totals, the dry run writes nothing, an interrupt leaves every file either untouched
// or completely compressed, and the libdeflate engine writes streams any zlib inflates.

#include "BatchRunner.h"

#include "ChildProcess.h"
#include "FileContents.h"
#include "FileOps.h"
#include "SafeReplace.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureSamples.h"
#include "WorkList.h"

#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <zlib.h>

namespace quorvel {
namespace {

// stem + i + extension, built by appending: GCC 12 at -O3 warns falsely about
// `"t" + std::to_string(i)`.
std::string NumberedName(const char* stem, int i, const char* extension) {
    std::string name = stem;
    name += std::to_string(i);
    name += extension;
    return name;
}

using test::Bytes;
using test::MakeTexture;
using test::TempDir;

using Snapshot = std::map<std::string, Bytes>; // relative path -> content

Snapshot TakeSnapshot(const std::filesystem::path& root) {
    Snapshot snapshot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            snapshot[std::filesystem::relative(entry.path(), root).string()] =
                test::ReadFileBytes(entry.path());
    return snapshot;
}

// A small tree with every kind of entry the batch meets: compressible and incompressible
// payloads in several folders, a one-byte payload, an already compressed file, a read-only
// file, a file too short to hold a payload and decoys.
void MakeTree(const std::filesystem::path& root) {
    for (int i = 0; i < 24; ++i) {
        const auto folder = root / ("Folder" + std::to_string(i % 4)) / (i % 2 ? "Sub" : "");
        std::filesystem::create_directories(folder);
        const Bytes payload =
            i % 3 == 0 ? test::RandomBytes(3000 + static_cast<std::size_t>(i) * 997,
                                           static_cast<std::uint32_t>(i))
                       : test::CompressibleBytes(5000 + static_cast<std::size_t>(i) * 4099);
        test::WriteFileBytes(folder / NumberedName("tex", i, i % 2 ? ".ACE" : ".ace"),
                             MakeTexture(0x40, payload));
    }
    test::WriteFileBytes(root / "one.ace", MakeTexture(0x00, Bytes{7}));
    test::WriteFileBytes(root / "done.ace",
                         test::ExpectedRewrite(MakeTexture(0x40, test::CompressibleBytes(900))));
    test::WriteFileBytes(root / "short.ace", Bytes{1, 2, 3});
    test::WriteFileBytes(root / "notes.aces", MakeTexture(0x40, test::CompressibleBytes(900)));
    test::WriteFileBytes(root / "locked.Ace", MakeTexture(0x40, test::CompressibleBytes(900)));
    std::filesystem::permissions(root / "locked.Ace", std::filesystem::perms::owner_read);
}

class CollectingSink final : public BatchSink {
public:
    void OnReport(const FileReport& report) override { reports.push_back(report); }
    std::vector<FileReport> reports;
};

// Keeps the last progress snapshot.
class LastProgressSink final : public BatchSink {
public:
    void OnReport(const FileReport&) override {}
    void OnProgress(const ProgressSnapshot& snapshot) override { last = snapshot; }
    ProgressSnapshot last;
};

// Sets the stop flag after the first report, as Ctrl-C during a run does.
class StoppingSink final : public BatchSink {
public:
    explicit StoppingSink(std::atomic<bool>& stop) : m_stop(stop) {}
    void OnReport(const FileReport&) override { m_stop = true; }

private:
    std::atomic<bool>& m_stop;
};

BatchTotals RunOn(const std::filesystem::path& root, BatchMode mode, unsigned jobs,
                  std::vector<FileReport>* reports = nullptr,
                  EngineKind engine = EngineKind::Zlib) {
    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({root}, stop);
    BatchOptions options;
    options.mode = mode;
    options.jobs = jobs;
    options.engine = engine;
    options.batchFiles = 5;                         // several batches even in a small tree
    options.commitInterval = std::chrono::hours(1); // batches close by their count, or at the end
    CollectingSink sink;
    const BatchTotals totals = RunBatch(work, options, sink, stop);
    if (reports != nullptr)
        *reports = sink.reports;
    return totals;
}

bool SameTotals(const BatchTotals& a, const BatchTotals& b) {
    return a.files == b.files && a.compressed == b.compressed &&
           a.alreadyCompressed == b.alreadyCompressed &&
           a.nothingCompressed == b.nothingCompressed && a.readOnlySkipped == b.readOnlySkipped &&
           a.failed == b.failed && a.sizes.bytesIn == b.sizes.bytesIn &&
           a.sizes.bytesOut == b.sizes.bytesOut;
}

bool HasTemporaryFile(const Snapshot& snapshot) {
    for (const auto& [name, bytes] : snapshot)
        if (name.find(".quorvel-tmp") != std::string::npos)
            return true;
    return false;
}

TEST(BatchRunner, OneAndEightJobsWriteTheSameBytesAsTheWindowProgram) {
    TempDir one;
    TempDir eight;
    MakeTree(one.path());
    MakeTree(eight.path());
    const Snapshot before = TakeSnapshot(one.path());

    std::vector<FileReport> reportsOne;
    std::vector<FileReport> reportsEight;
    const BatchTotals totalsOne = RunOn(one.path(), BatchMode::Compress, 1, &reportsOne);
    const BatchTotals totalsEight = RunOn(eight.path(), BatchMode::Compress, 8, &reportsEight);

    EXPECT_TRUE(SameTotals(totalsOne, totalsEight));
    EXPECT_EQ(totalsOne.compressed, 24);
    EXPECT_EQ(totalsOne.alreadyCompressed, 1);
    EXPECT_EQ(totalsOne.nothingCompressed, 1);
    EXPECT_EQ(totalsOne.readOnlySkipped, 1);
    EXPECT_EQ(totalsOne.failed, 1); // short.ace: no payload to compress
    const Snapshot afterOne = TakeSnapshot(one.path());
    EXPECT_EQ(afterOne, TakeSnapshot(eight.path()));
    ASSERT_EQ(reportsOne.size(), reportsEight.size());
    for (std::size_t i = 0; i < reportsOne.size(); ++i) {
        EXPECT_EQ(std::filesystem::relative(reportsOne[i].path, one.path()),
                  std::filesystem::relative(reportsEight[i].path, eight.path()));
    }

    // Candidates hold exactly the designed layout with compress()'s stream; the rest is as it was.
    for (const auto& [name, bytes] : before) {
        const bool candidate = name.find("tex") != std::string::npos;
        EXPECT_EQ(afterOne.at(name), candidate ? test::ExpectedRewrite(bytes) : bytes) << name;
    }
}

// Staged files stay open until their batch commits; eight full batches of small files would
// need more descriptors and cleanup slots than a process has.
TEST(BatchRunner, ManyWorkersWithFullBatchesStayWithinTheOpenFileLimits) {
    TempDir dir;
    constexpr int kFiles = 1100;
    for (int i = 0; i < kFiles; ++i)
        test::WriteFileBytes(dir.path() / NumberedName("t", i, ".ace"),
                             MakeTexture(0x40, test::CompressibleBytes(64)));
    std::atomic<bool> stop{false};
    BatchOptions options;
    options.jobs = 8; // batchFiles stays at its default of 256
    CollectingSink sink;
    const BatchTotals totals = RunBatch(CollectWork({dir.path()}, stop), options, sink, stop);
    EXPECT_EQ(totals.failed, 0);
    EXPECT_EQ(totals.compressed, kFiles);
}

TEST(BatchRunner, DryRunWritesNothingAndReportsWhatARealRunSaves) {
    TempDir dry;
    TempDir real;
    MakeTree(dry.path());
    MakeTree(real.path());
    const Snapshot before = TakeSnapshot(dry.path());

    const BatchTotals wouldSave = RunOn(dry.path(), BatchMode::DryRun, 3);
    EXPECT_EQ(TakeSnapshot(dry.path()), before);
    EXPECT_TRUE(SameTotals(wouldSave, RunOn(real.path(), BatchMode::Compress, 3)));
}

TEST(BatchRunner, InterruptLeavesEachFileUntouchedOrFullyCompressedAndNoTemporaryFile) {
    TempDir dir;
    MakeTree(dir.path());
    const Snapshot before = TakeSnapshot(dir.path());

    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir.path()}, stop);
    BatchOptions options;
    options.jobs = 2;
    options.batchFiles = 3;
    StoppingSink sink(stop);
    const BatchTotals totals = RunBatch(work, options, sink, stop);

    EXPECT_GT(totals.notProcessed, 0);
    EXPECT_EQ(totals.files, static_cast<std::int64_t>(work.items.size()));
    const Snapshot after = TakeSnapshot(dir.path());
    EXPECT_FALSE(HasTemporaryFile(after));
    std::int64_t changed = 0;
    for (const auto& [name, bytes] : before) {
        if (after.at(name) != bytes) {
            EXPECT_EQ(after.at(name), test::ExpectedRewrite(bytes)) << name;
            ++changed;
        }
    }
    EXPECT_EQ(changed, totals.compressed);
}

TEST(BatchRunner, LibdeflateEngineWritesTheLayoutWithAStreamZlibInflates) {
    TempDir dir;
    MakeTree(dir.path());
    const Snapshot before = TakeSnapshot(dir.path());
    const BatchTotals totals =
        RunOn(dir.path(), BatchMode::Compress, 2, nullptr, EngineKind::Libdeflate);
    EXPECT_EQ(totals.compressed, 24);

    for (const auto& [name, after] : TakeSnapshot(dir.path())) {
        if (name.find("tex") == std::string::npos)
            continue;
        const Bytes& original = before.at(name);
        const Bytes expectedHead = test::ExpectedRewrite(original);
        ASSERT_GE(after.size(), 16u);
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + 16, expectedHead.begin())) << name;
        const Bytes payload(original.begin() + 16, original.end());
        Bytes inflated(payload.size() + 1);
        uLongf size = static_cast<uLongf>(inflated.size());
        ASSERT_EQ(uncompress(inflated.data(), &size, after.data() + 16,
                             static_cast<uLong>(after.size() - 16)),
                  Z_OK)
            << name;
        inflated.resize(size);
        EXPECT_EQ(inflated, payload) << name;
    }
}

TEST(BatchRunner, VerifyPassesWhatTheBatchWroteAndSkipsUncompressedFiles) {
    TempDir dir;
    MakeTree(dir.path());
    RunOn(dir.path(), BatchMode::Compress, 2);
    const Snapshot compressed = TakeSnapshot(dir.path());

    const BatchTotals totals = RunOn(dir.path(), BatchMode::Verify, 2);
    EXPECT_EQ(totals.failed, 0);        // short.ace is not marked, so verification passes it over
    EXPECT_EQ(totals.verified, 25);     // the 24 just written and done.ace
    EXPECT_EQ(totals.notCompressed, 3); // one.ace, short.ace, and the read-only locked.Ace
    EXPECT_EQ(TakeSnapshot(dir.path()), compressed);
}

// Checking moves the progress line as compressing does: when the run ends, every file checked
// (the read-only one too) and all its payload bytes are counted.
TEST(BatchRunner, VerifyProgressEndsWithEveryFileCounted) {
    TempDir dir;
    MakeTree(dir.path());
    RunOn(dir.path(), BatchMode::Compress, 2);
    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir.path()}, stop);
    BatchOptions options;
    options.mode = BatchMode::Verify;
    options.jobs = 2;
    LastProgressSink sink;
    const BatchTotals totals = RunBatch(work, options, sink, stop);
    EXPECT_EQ(sink.last.filesTotal, totals.files);
    EXPECT_EQ(sink.last.filesDone, sink.last.filesTotal);
    EXPECT_GT(sink.last.bytesRead, 0);
    EXPECT_EQ(sink.last.bytesRead, sink.last.bytesTotal);
}

TEST(BatchRunner, NamedFileIsCompressedWhateverItsNameAndHandledOnce) {
    TempDir dir;
    const Bytes input = MakeTexture(0x40, test::CompressibleBytes(4000));
    test::WriteFileBytes(dir / "texture.bin", input);
    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir / "texture.bin", dir / "texture.bin"}, stop);
    ASSERT_EQ(work.items.size(), 1u);
    CollectingSink sink;
    const BatchTotals totals = RunBatch(work, BatchOptions{}, sink, stop);
    EXPECT_EQ(totals.compressed, 1);
    EXPECT_EQ(test::ReadFileBytes(dir / "texture.bin"), test::ExpectedRewrite(input));
}

void MakeOldLeftover(const std::filesystem::path& path) {
    test::WriteFileBytes(path, Bytes{1, 2, 3});
    const auto old = std::filesystem::last_write_time(path) - std::chrono::hours(1);
    std::filesystem::last_write_time(path, old);
}

// A killed run leaves its temporary files; a later compressing run removes those old enough in
// the folders it walks, counts them, and reports a removal that fails. A dry run touches none.
TEST(BatchRunner, LeftoverTemporaryFilesAreRemovedCountedAndTheirFailuresReported) {
    TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    test::WriteFileBytes(dir / "sub/a.ace", MakeTexture(0, test::CompressibleBytes(3000)));
    MakeOldLeftover(dir / ".a.ace.quorvel-tmp-Xy12Zq");
    MakeOldLeftover(dir / "sub/.a.ace.quorvel-tmp-AbCdEf");
    test::WriteFileBytes(dir / "sub/.b.ace.quorvel-tmp-Fresh1", Bytes{1}); // a live run's
    std::atomic<bool> stop{false};

    EXPECT_EQ(CollectWork({dir.path()}, stop).leftoversRemoved, 0);
    EXPECT_EQ(test::ListFolder(dir.path()).size(), 2u);

    const WorkList work = CollectWork({dir.path()}, stop, true);
    EXPECT_EQ(work.leftoversRemoved, 2);
    EXPECT_EQ(test::ListFolder(dir / "sub"),
              (std::vector<std::string>{".b.ace.quorvel-tmp-Fresh1", "a.ace"}));
    CollectingSink sink;
    EXPECT_EQ(RunBatch(work, BatchOptions{}, sink, stop).leftoversRemoved, 2);

    MakeOldLeftover(dir / ".c.ace.quorvel-tmp-Stuck1");
    FileOps ops = SystemFileOps();
    ops.unlinkAt = [](FolderHandle, const std::filesystem::path&, int) {
        errno = EBUSY;
        return -1;
    };
    WorkList failing;
    {
        ScopedFileOps refuse(std::move(ops));
        failing = CollectWork({dir.path()}, stop, true);
    }
    EXPECT_EQ(failing.leftoversRemoved, 0);
    ASSERT_EQ(failing.items.size(), 2u);
    const FileReport& report = *failing.items[0].preset;
    EXPECT_EQ(report.outcome, Outcome::WalkFailed);
    EXPECT_EQ(report.step, Step::RemoveLeftover);
    EXPECT_NE(DescribeReport(report).find(".c.ace.quorvel-tmp-Stuck1"), std::string::npos);
}

// More folders than may stay open: the rest are opened again, one name at a time from the start
// folder, when their files' turn comes, and a folder on that route swapped for a link meanwhile
// is not followed.
TEST(BatchRunner, FoldersBeyondTheOpenLimitAreReopenedAlongTheirRoute) {
    TempDir dir;
    const Bytes input = MakeTexture(0, test::CompressibleBytes(3000));
    std::vector<std::string> files;
    for (const char* folder : {"a", "a/b", "a/b/c", "d", "e", "e/f"}) {
        std::filesystem::create_directories(dir / "tree" / folder);
        files.push_back(std::string("tree/") + folder + "/t.ace");
        test::WriteFileBytes(dir / files.back(), input);
    }
    std::filesystem::create_directories(dir / "outside/c");
    const Bytes secret = MakeTexture(0, test::CompressibleBytes(4000));
    test::WriteFileBytes(dir / "outside/c/t.ace", secret);

    std::atomic<bool> stop{false};
    // One folder kept open: a, d or e, whichever the walk reaches first; never a/b or below.
    const WorkList work = CollectWork({dir / "tree"}, stop, false, 1);
    ASSERT_EQ(work.items.size(), files.size());
    std::size_t open = 0;
    for (const WorkItem& item : work.items)
        open += item.file.folder->handle() != kNoFolder ? 1 : 0;
    EXPECT_EQ(open, 1u);

    // a/b is swapped for a link to a folder outside that has a c/t.ace too.
    std::filesystem::rename(dir / "tree/a/b", dir / "tree/a/b.away");
    std::error_code linkError;
    std::filesystem::create_directory_symlink(dir / "outside", dir / "tree/a/b", linkError);
#ifdef _WIN32
    // Where no symbolic link can be made (Wine), the folders are still reopened along their
    // route, with nothing swapped.
    if (linkError)
        std::filesystem::rename(dir / "tree/a/b.away", dir / "tree/a/b");
#else
    ASSERT_FALSE(linkError) << linkError.message();
#endif
    const bool linked = !linkError;
    CollectingSink sink;
    const BatchTotals totals = RunBatch(work, BatchOptions{}, sink, stop);
    EXPECT_EQ(test::ReadFileBytes(dir / "outside/c/t.ace"), secret);
    EXPECT_EQ(test::ListFolder(dir / "outside/c"), std::vector<std::string>{"t.ace"});
    if (linked) {
        std::filesystem::remove(dir / "tree/a/b");
        std::filesystem::rename(dir / "tree/a/b.away", dir / "tree/a/b");
    }
    for (const FileReport& report : sink.reports) {
        const bool behindTheLink =
            linked && (report.path.parent_path().parent_path().filename() == "b" ||
                       report.path.parent_path().filename() == "b");
        if (behindTheLink) {
            EXPECT_EQ(report.outcome, Outcome::Failed) << report.path;
        } else {
            EXPECT_EQ(report.outcome, Outcome::Compressed) << report.path;
            EXPECT_EQ(test::ReadFileBytes(report.path), test::ExpectedRewrite(input));
        }
    }
    EXPECT_GE(totals.compressed, 4);
}

// The file number (inode) of the file `path` names, through the file calls on either system.
std::uint64_t FileNumber(const std::filesystem::path& path) {
    FileIdentity identity;
    if (CurrentFileOps().statAt(kNoFolder, path, false, identity) != 0)
        throw std::runtime_error("cannot stat " + path.string());
    return identity.inode;
}

// A real folder from outside the tree (no link, so opening without following links lets it
// through) is renamed in place of one folder on a reopened route between the walk and the
// rewrite. Only the check of each reopened folder against what the walk saw catches it: every
// file reached through it fails as changed, and the files brought in keep bytes and inode.
class ReopenedRoute : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ReopenedRoute, FolderRenamedInFromOutsideFailsAsChangedAndIsNotTouched) {
    const std::vector<std::filesystem::path> route = {"a", "a/b", "a/b/c"};
    const std::size_t swapped = GetParam(); // the place on the route the folder takes
    TempDir dir;
    const Bytes input = MakeTexture(0, test::CompressibleBytes(3000));
    for (const auto& folder : route) {
        std::filesystem::create_directories(dir / "tree" / folder);
        test::WriteFileBytes(dir / "tree" / folder / "t.ace", input);
    }
    test::WriteFileBytes(dir / "tree/t.ace", input);

    // The folder from outside has the shape of the one it replaces, with textures of its own.
    struct Outside {
        std::filesystem::path inTree; // where the rename puts it
        Bytes bytes;
        std::uint64_t number;
    };
    std::vector<Outside> outsideFiles;
    const std::filesystem::path target = dir / "tree" / route[swapped];
    const std::filesystem::path outside = dir / "outside" / route[swapped].filename();
    for (std::size_t i = swapped; i < route.size(); ++i) {
        const std::filesystem::path below = route[i].lexically_relative(route[swapped]);
        std::filesystem::create_directories(outside / below);
        const Bytes secret = MakeTexture(0, test::CompressibleBytes(4000 + i));
        test::WriteFileBytes(outside / below / "t.ace", secret);
        outsideFiles.push_back({(target / below / "t.ace").lexically_normal(), secret,
                                FileNumber(outside / below / "t.ace")});
    }

    std::atomic<bool> stop{false};
    // The one folder kept open is the start folder, whose file the walk meets first; every
    // folder on the route is reopened from it.
    const WorkList work = CollectWork({dir / "tree"}, stop, false, 1);
    ASSERT_EQ(work.items.size(), route.size() + 1);
    for (const WorkItem& item : work.items)
        ASSERT_EQ(item.file.folder->handle() == kNoFolder, item.path != dir / "tree/t.ace")
            << item.path;

    std::filesystem::path away = target;
    away += ".away";
    std::filesystem::rename(target, away);
    std::filesystem::rename(outside, target);
    CollectingSink sink;
    const BatchTotals totals = RunBatch(work, BatchOptions{}, sink, stop);

    for (const Outside& file : outsideFiles) {
        EXPECT_EQ(test::ReadFileBytes(file.inTree), file.bytes) << file.inTree;
        EXPECT_EQ(FileNumber(file.inTree), file.number) << file.inTree;
    }
    std::size_t throughSwapped = 0;
    for (const FileReport& report : sink.reports) {
        const bool through = std::any_of(route.begin() + static_cast<std::ptrdiff_t>(swapped),
                                         route.end(), [&](const std::filesystem::path& folder) {
                                             return report.path == dir / "tree" / folder / "t.ace";
                                         });
        throughSwapped += through ? 1 : 0;
        if (through) {
            EXPECT_EQ(report.outcome, Outcome::Failed) << report.path;
            EXPECT_EQ(report.error, TextureErrc::FileChanged) << report.path;
        } else {
            EXPECT_EQ(report.outcome, Outcome::Compressed) << report.path;
        }
    }
    EXPECT_EQ(throughSwapped, route.size() - swapped);
    EXPECT_EQ(totals.failed, static_cast<std::int64_t>(route.size() - swapped));
}

INSTANTIATE_TEST_SUITE_P(EachPlace, ReopenedRoute, ::testing::Values(0u, 1u, 2u),
                         [](const auto& test) {
                             return std::string(test.param == 0   ? "FirstFolder"
                                                : test.param == 1 ? "MiddleFolder"
                                                                  : "LastFolder");
                         });

TEST(BatchRunner, MissingPathIsOneFailureWithTheSystemReason) {
    TempDir dir;
    std::vector<FileReport> reports;
    std::atomic<bool> stop{false};
    CollectingSink sink;
    const BatchTotals totals =
        RunBatch(CollectWork({dir / "gone.ace"}, stop), BatchOptions{}, sink, stop);
    EXPECT_EQ(totals.failed, 1);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_TRUE(sink.reports[0].error == std::errc::no_such_file_or_directory);
    EXPECT_NE(DescribeReport(sink.reports[0]).find("unchanged"), std::string::npos);
}

// Where the file system can't be synced as a whole, each deferred file gets its own fsync before
// its rename; a file whose fsync fails is left as it was and the others still go ahead.
TEST(BatchRunner, FailedFileSystemSyncFallsBackToSyncingEachFile) {
    TempDir dir;
    for (int i = 0; i < 6; ++i)
        test::WriteFileBytes(dir / NumberedName("t", i, ".ace"),
                             MakeTexture(0x40, test::CompressibleBytes(4000 + 100 * i)));
    const Snapshot before = TakeSnapshot(dir.path());
    std::atomic<int> fileSystemSyncs{0};
    std::atomic<int> fileSyncs{0};
    FileOps ops = SystemFileOps();
    ops.syncfs = [&](int) {
        ++fileSystemSyncs;
        errno = EIO;
        return -1;
    };
    const auto realFsync = ops.fsync;
    const auto realFstat = ops.fstat;
    ops.fsync = [&, realFsync, realFstat](int fd) {
        // Temporary files are the only regular files synced; the third one fails.
        FileIdentity identity;
        if (realFstat(fd, identity) == 0 && identity.isRegular() && ++fileSyncs == 3) {
            errno = EIO;
            return -1;
        }
        return realFsync(fd);
    };
    std::vector<FileReport> reports;
    BatchTotals totals;
    {
        ScopedFileOps failing(std::move(ops));
        totals = RunOn(dir.path(), BatchMode::Compress, 1, &reports);
    }
#ifndef _WIN32 // Windows has no file-system sync: every file is synced on its own at once
    EXPECT_GE(fileSystemSyncs.load(), 1);
#endif
    EXPECT_EQ(fileSyncs.load(), 6);
    EXPECT_EQ(totals.compressed, 5);
    EXPECT_EQ(totals.failed, 1);
    const Snapshot after = TakeSnapshot(dir.path());
    EXPECT_FALSE(HasTemporaryFile(after));
    for (const FileReport& report : reports) {
        const std::string name = report.path.filename().string();
        if (report.outcome == Outcome::Failed) {
            EXPECT_EQ(report.step, Step::Sync);
            EXPECT_EQ(after.at(name), before.at(name));
        } else {
            EXPECT_EQ(after.at(name), test::ExpectedRewrite(before.at(name))) << name;
        }
    }
}

// A temporary file that fails to sync and then can't be removed stays, and its file's report
// names it with the reason.
TEST(BatchRunner, ATemporaryFileThatCouldNotBeRemovedIsNamedInItsReport) {
    TempDir dir;
    for (int i = 0; i < 3; ++i)
        test::WriteFileBytes(dir / NumberedName("t", i, ".ace"),
                             MakeTexture(0x40, test::CompressibleBytes(4000)));
    FileOps ops = SystemFileOps();
    ops.syncfs = [](int) {
        errno = EIO;
        return -1;
    };
    std::atomic<int> fileSyncs{0};
    ops.fsync = [&, realFsync = ops.fsync, realFstat = ops.fstat](int fd) {
        FileIdentity identity;
        if (realFstat(fd, identity) == 0 && identity.isRegular() && ++fileSyncs == 2) {
            errno = EIO;
            return -1;
        }
        return realFsync(fd);
    };
    ops.unlinkAt = [](FolderHandle, const std::filesystem::path&, int) {
        errno = EACCES;
        return -1;
    };
    std::vector<FileReport> reports;
    {
        ScopedFileOps failing(std::move(ops));
        EXPECT_EQ(RunOn(dir.path(), BatchMode::Compress, 1, &reports).failed, 1);
    }
    std::vector<std::string> leftovers;
    for (const std::string& name : test::ListFolder(dir.path()))
        if (IsTemporaryFileName(name))
            leftovers.push_back(name);
    ASSERT_EQ(leftovers.size(), 1u);
    for (const FileReport& report : reports) {
        if (report.outcome != Outcome::Failed) {
            EXPECT_TRUE(report.leftover.empty());
            continue;
        }
        EXPECT_EQ(report.leftover, report.path.parent_path() / leftovers[0]);
        EXPECT_EQ(report.leftoverError, ErrorFromErrno(EACCES));
    }
}

// The progress line moves as files are compressed, before their batch is renamed into place; the
// totals count only what was renamed.
TEST(BatchRunner, ProgressCountsFilesAsTheyAreCompressedAndTotalsWhatWasRenamed) {
    TempDir dir;
    constexpr int kFiles = 6;
    std::int64_t payloadBytes = 0;
    std::int64_t payloadSaved = 0;
    for (int i = 0; i < kFiles; ++i) {
        const Bytes payload = test::CompressibleBytes(5000 + 1000 * static_cast<std::size_t>(i));
        test::WriteFileBytes(dir / NumberedName("t", i, ".ace"), MakeTexture(0x40, payload));
        payloadBytes += static_cast<std::int64_t>(payload.size());
        payloadSaved +=
            static_cast<std::int64_t>(payload.size() - test::ZlibCompress(payload).size());
    }

    // Records the progress; the first rename waits until a snapshot came (or 20 s passed).
    class ProgressSink final : public BatchSink {
    public:
        void OnReport(const FileReport&) override {}
        void OnProgress(const ProgressSnapshot& snapshot) override {
            std::lock_guard lock(mutex);
            snapshots.push_back(snapshot);
            seen.notify_all();
        }
        ProgressSnapshot LatestAfterWait() {
            std::unique_lock lock(mutex);
            seen.wait_for(lock, std::chrono::seconds(20), [&] {
                return !snapshots.empty() && snapshots.back().filesDone == kFiles;
            });
            return snapshots.empty() ? ProgressSnapshot{} : snapshots.back();
        }
        std::mutex mutex;
        std::condition_variable seen;
        std::vector<ProgressSnapshot> snapshots;
    } sink;

    std::optional<ProgressSnapshot> beforeRename;
    FileOps ops = SystemFileOps();
    ops.renameAt = [&, realRename = ops.renameAt](FolderHandle folder,
                                                  const std::filesystem::path& from,
                                                  const std::filesystem::path& to, int fd) {
        if (!beforeRename)
            beforeRename = sink.LatestAfterWait();
        if (to.filename() == "t2.ace") {
            errno = EIO;
            return -1;
        }
        return realRename(folder, from, to, fd);
    };
    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir.path()}, stop);
    BatchOptions options; // one worker, one batch: every file is compressed before any rename
    BatchTotals totals;
    {
        ScopedFileOps renames(std::move(ops));
        totals = RunBatch(work, options, sink, stop);
    }

    ASSERT_TRUE(beforeRename.has_value());
    EXPECT_EQ(beforeRename->filesDone, kFiles);
    EXPECT_EQ(beforeRename->filesTotal, kFiles);
    EXPECT_EQ(beforeRename->bytesRead, payloadBytes);
    EXPECT_EQ(beforeRename->bytesTotal, payloadBytes);
    EXPECT_EQ(beforeRename->bytesSaved, payloadSaved);
    EXPECT_EQ(totals.compressed, kFiles - 1);
    EXPECT_EQ(totals.failed, 1);
    const Bytes failedPayload = test::CompressibleBytes(7000);
    EXPECT_EQ(totals.sizes.bytesSaved(),
              payloadSaved - static_cast<std::int64_t>(failedPayload.size() -
                                                       test::ZlibCompress(failedPayload).size()));
}

// What restoring the compressed file `file` must give: bytes 0..6, nine 0x40 bytes, the payload
// inflated by the zlib the test is linked with.
Bytes RestoredForm(const Bytes& file) {
    uLongf size = 0;
    for (int i = 0; i < 4; ++i)
        size |= static_cast<uLongf>(file[static_cast<std::size_t>(8 + i)]) << (8 * i);
    Bytes out(file.begin(), file.begin() + 7);
    out.insert(out.end(), 9, 0x40);
    const std::size_t at = out.size();
    out.resize(at + size);
    if (uncompress(out.data() + at, &size, file.data() + 16,
                   static_cast<uLong>(file.size() - 16)) != Z_OK)
        throw std::runtime_error("not a sound compressed file");
    return out;
}

// Restoring what the batch compressed, with one worker and with many, gives every payload back
// under the restored head; compressing again gives the bytes of the first compression.
TEST(BatchRunner, DecompressRestoresWhatCompressionWroteWithAnyNumberOfJobs) {
    TempDir one;
    TempDir eight;
    MakeTree(one.path());
    MakeTree(eight.path());
    const Snapshot original = TakeSnapshot(one.path());
    RunOn(one.path(), BatchMode::Compress, 2);
    RunOn(eight.path(), BatchMode::Compress, 2);
    const Snapshot compressed = TakeSnapshot(one.path());

    const BatchTotals dry = RunOn(one.path(), BatchMode::DecompressDryRun, 3);
    EXPECT_EQ(TakeSnapshot(one.path()), compressed);
    const BatchTotals totals = RunOn(one.path(), BatchMode::Decompress, 1);
    EXPECT_TRUE(SameTotals(totals, RunOn(eight.path(), BatchMode::Decompress, 8)));
    EXPECT_TRUE(SameTotals(totals, dry));
    EXPECT_EQ(totals.decompressed, 25); // the 24 compressed and done.ace
    EXPECT_EQ(totals.notCompressed, 2); // one.ace and short.ace, not marked
    EXPECT_EQ(totals.readOnlySkipped, 1);
    const Snapshot restored = TakeSnapshot(one.path());
    EXPECT_EQ(restored, TakeSnapshot(eight.path()));
    for (const auto& [name, bytes] : original) {
        if (name.find("tex") == std::string::npos)
            continue;
        Bytes expected(bytes.begin(), bytes.begin() + 7);
        expected.insert(expected.end(), 9, 0x40);
        expected.insert(expected.end(), bytes.begin() + 16, bytes.end());
        EXPECT_EQ(restored.at(name), expected) << name;
    }

    RunOn(one.path(), BatchMode::Compress, 4);
    EXPECT_EQ(TakeSnapshot(one.path()), compressed);
}

// Ctrl-C while restoring: every file is either still compressed or completely restored.
TEST(BatchRunner, InterruptedDecompressLeavesEachFileCompressedOrFullyRestored) {
    TempDir dir;
    MakeTree(dir.path());
    RunOn(dir.path(), BatchMode::Compress, 2);
    const Snapshot compressed = TakeSnapshot(dir.path());

    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir.path()}, stop);
    BatchOptions options;
    options.mode = BatchMode::Decompress;
    options.jobs = 2;
    options.batchFiles = 3;
    StoppingSink sink(stop);
    const BatchTotals totals = RunBatch(work, options, sink, stop);

    EXPECT_GT(totals.notProcessed, 0);
    const Snapshot after = TakeSnapshot(dir.path());
    EXPECT_FALSE(HasTemporaryFile(after));
    std::int64_t restored = 0;
    for (const auto& [name, bytes] : compressed) {
        if (after.at(name) == bytes)
            continue;
        EXPECT_EQ(after.at(name), RestoredForm(bytes)) << name;
        ++restored;
    }
    EXPECT_EQ(restored, totals.decompressed);
}

// "." and "./" are one tree: its read-only file and its unreadable folder are reported once.
TEST(WorkList, TreeNamedTwiceReportsEachSkipAndWalkFailureOnce) {
    TempDir dir;
    test::WriteFileBytes(dir / "locked.ace", MakeTexture(0x40, test::CompressibleBytes(900)));
    std::filesystem::permissions(dir / "locked.ace", std::filesystem::perms::owner_read);
    test::WriteFileBytes(dir / "open.ace", MakeTexture(0x40, test::CompressibleBytes(900)));
    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir.path(), dir.path() / "."}, stop);
    ASSERT_EQ(work.items.size(), 2u);
    BatchTotals totals;
    for (const WorkItem& item : work.items)
        if (item.preset)
            totals.Add(*item.preset);
    EXPECT_EQ(totals.readOnlySkipped, 1);

#ifndef _WIN32 // no other user to become
    // Root reads any folder, so the unreadable one is walked as nobody.
    if (const auto reason = test::WhyPrivilegesCannotBeDropped())
        GTEST_SKIP() << *reason;
    std::filesystem::create_directory(dir / "closed");
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::none);
    const test::ChildStatus status = test::RunAsNobody([&] {
        std::atomic<bool> childStop{false};
        int failures = 0;
        for (const WorkItem& item : CollectWork({dir.path(), dir.path() / "."}, childStop).items)
            failures += item.preset && item.preset->outcome == Outcome::WalkFailed ? 1 : 0;
        return failures;
    });
    EXPECT_TRUE(status.exitedWith(1)) << status.describe();
#endif
}

// A sink that throws ends RunBatch with its exception, not std::terminate: the workers stop,
// their staged files are removed, and every file is either as it was or fully compressed.
TEST(BatchRunner, ThrowingSinkStopsTheWorkersAndLeavesNoTemporaryFile) {
    TempDir dir;
    MakeTree(dir.path());
    const Snapshot before = TakeSnapshot(dir.path());
    class ThrowingSink final : public BatchSink {
    public:
        void OnReport(const FileReport&) override { throw std::runtime_error("sink broke"); }
    };
    std::atomic<bool> stop{false};
    BatchOptions options;
    options.jobs = 3;
    options.batchFiles = 4;
    ThrowingSink sink;
    EXPECT_THROW(RunBatch(CollectWork({dir.path()}, stop), options, sink, stop),
                 std::runtime_error);
    const Snapshot after = TakeSnapshot(dir.path());
    EXPECT_FALSE(HasTemporaryFile(after));
    for (const auto& [name, bytes] : before) {
        if (after.at(name) != bytes) {
            EXPECT_EQ(after.at(name), test::ExpectedRewrite(bytes)) << name;
        }
    }
}

// An exception thrown while one file is handled (here out of memory while reading it) fails
// that file, with the reason, and the worker goes on with the rest.
TEST(BatchRunner, ExceptionInAWorkerFailsThatFileAndTheRunGoesOn) {
    TempDir dir;
    constexpr std::size_t kPoisonPayload = 7777;
    const Bytes poison = MakeTexture(0x40, test::CompressibleBytes(kPoisonPayload));
    test::WriteFileBytes(dir / "poison.ace", poison);
    for (int i = 0; i < 5; ++i)
        test::WriteFileBytes(dir / ("t" + std::to_string(i) + ".ace"),
                             MakeTexture(0x40, test::CompressibleBytes(3000)));
    FileOps ops = SystemFileOps();
    ops.readAt = [real = ops.readAt](int fd, void* buffer, std::size_t count,
                                     std::int64_t offset) -> std::int64_t {
        if (count == kPoisonPayload)
            throw std::bad_alloc();
        return real(fd, buffer, count, offset);
    };
    ScopedFileOps faulty(std::move(ops));
    std::atomic<bool> stop{false};
    BatchOptions options;
    options.jobs = 2;
    CollectingSink sink;
    const BatchTotals totals = RunBatch(CollectWork({dir.path()}, stop), options, sink, stop);
    EXPECT_EQ(totals.compressed, 5);
    EXPECT_EQ(totals.failed, 1);
    for (const FileReport& report : sink.reports) {
        if (report.outcome == Outcome::Failed) {
            EXPECT_EQ(report.path.filename(), "poison.ace");
            EXPECT_EQ(report.error, std::errc::not_enough_memory);
        }
    }
    EXPECT_EQ(test::ReadFileBytes(dir / "poison.ace"), poison);
    EXPECT_FALSE(HasTemporaryFile(TakeSnapshot(dir.path())));
}

// Files staged when the interrupt comes were counted by the progress line but are not renamed;
// the totals leave them out and say how many there were. The interrupt comes while the fourth
// file is read, once three are staged in a batch that waits for more.
TEST(BatchRunner, InterruptedBatchSaysHowManyStagedFilesWereNotRenamed) {
    TempDir dir;
    for (int i = 0; i < 6; ++i)
        test::WriteFileBytes(dir / NumberedName("t", i, ".ace"),
                             MakeTexture(0x40, test::CompressibleBytes(3000 + 10 * i)));
    std::atomic<bool> stop{false};
    const WorkList work = CollectWork({dir.path()}, stop);
    std::atomic<int> created{0};
    int payloadReads = 0; // the reader's own
    FileOps ops = SystemFileOps();
    ops.openAt = [&, real = ops.openAt](FolderHandle folder, const std::filesystem::path& name,
                                        int flags, unsigned mode) {
        const int fd = real(folder, name, flags, mode);
        if (fd >= 0 && (flags & O_CREAT) != 0)
            ++created;
        return fd;
    };
    ops.readAt = [&, real = ops.readAt](int fd, void* buffer, std::size_t count,
                                        std::int64_t offset) -> std::int64_t {
        if (count >= 3000 && ++payloadReads == 4) {
            const auto start = std::chrono::steady_clock::now();
            while (created < 3 &&
                   std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stop = true;
        }
        return real(fd, buffer, count, offset);
    };
    ScopedFileOps stopping(std::move(ops));
    BatchOptions options;
    options.jobs = 1;
    options.commitInterval = std::chrono::hours(1); // the batch waits for more files
    LastProgressSink sink;
    const BatchTotals totals = RunBatch(work, options, sink, stop);

    EXPECT_EQ(totals.compressed, 0);
    EXPECT_EQ(totals.notProcessed, 6);
    EXPECT_EQ(totals.abandoned, 3);
    EXPECT_EQ(sink.last.filesDone, 3);
    EXPECT_EQ(TakeSnapshot(dir.path()).size(), 6u);
}

} // namespace
} // namespace quorvel
