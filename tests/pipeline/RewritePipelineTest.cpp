// The pipeline's own decisions: results in the order things were handed in, batches committed
// while more files are on their way (so an interrupted run keeps what it finished), small files
// sharing one flush, and no more read ahead or waiting to be written than the budgets allow.

#include "RewritePipeline.h"

#include "FileContents.h"
#include "FileOps.h"
#include "System.h"
#include "TempDir.h"
#include "TextureSamples.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;

// Everything the sink hears, one line each: "folder NAME" or "NAME outcome".
class RecordingSink final : public BatchSink {
public:
    void OnFolder(const fs::path& folder) override {
        events.push_back("folder " + folder.filename().string());
    }
    void OnReport(const FileReport& report) override {
        events.push_back(report.path.filename().string() + " " + OutcomeName(report.outcome));
        totals.Add(report);
    }
    std::vector<std::string> events;
    BatchTotals totals;
};

std::string Name(const char* stem, int i) {
    std::string name = stem;
    name += std::to_string(i);
    name += ".ace";
    return name;
}

// Hands in every file of `folders` (folder, then its files in the order given).
void HandIn(RewritePipeline& pipeline,
            const std::vector<std::pair<fs::path, std::vector<fs::path>>>& folders) {
    for (const auto& [folder, names] : folders) {
        pipeline.EnterFolder(folder);
        std::error_code error;
        const SharedFolder open = OpenFolderPath(folder, error);
        ASSERT_FALSE(error) << error.message();
        for (const fs::path& name : names) {
            WorkItem item;
            item.path = folder / name;
            item.file = {open, name, item.path};
            pipeline.Submit(std::move(item));
        }
    }
}

// A big file first in each folder, so that the small ones after it are done first on the other
// workers; the sink still hears everything in the order it was handed in.
TEST(RewritePipeline, DeliversInTheOrderThingsWereHandedIn) {
    TempDir dir;
    std::vector<std::pair<fs::path, std::vector<fs::path>>> folders;
    std::vector<std::string> expected;
    for (int f = 0; f < 3; ++f) {
        const fs::path folder = dir / ("f" + std::to_string(f));
        fs::create_directories(folder);
        folders.push_back({folder, {}});
        expected.push_back("folder " + folder.filename().string());
        for (int i = 0; i < 12; ++i) {
            const std::string name = Name("t", i);
            WriteFileBytes(folder / name,
                           MakeTexture(0x40, CompressibleBytes(i == 0 ? 3000000 : 3000 + 10 * i)));
            folders.back().second.push_back(name);
            expected.push_back(name + " compressed");
        }
    }
    RecordingSink sink;
    const std::atomic<bool> stop{false};
    BatchOptions options;
    options.jobs = 4;
    RewritePipeline pipeline(options, sink, stop);
    HandIn(pipeline, folders);
    pipeline.Finish();
    EXPECT_EQ(sink.events, expected);
}

// A batch is committed while files are still coming, whichever rule closes it: so a stop
// part-way keeps the files committed before it. Here the reader holds the sixth file until a
// rename has happened, then the run is stopped.
class CommitCadence : public ::testing::TestWithParam<bool> {};

TEST_P(CommitCadence, CommitsWhileFilesAreStillComingAndAStopKeepsThem) {
    const bool byTime = GetParam();
    TempDir dir;
    std::vector<fs::path> names;
    for (int i = 0; i < 12; ++i) {
        names.push_back(Name("t", i));
        WriteFileBytes(dir / names.back(), MakeTexture(0x40, CompressibleBytes(5000 + 10 * i)));
    }
    std::atomic<int> renames{0};
    std::atomic<bool> stop{false};
    bool renamedBeforeTheSixth = false;
    int payloadReads = 0; // the reader's own
    FileOps ops = SystemFileOps();
    ops.renameAt = [&, real = ops.renameAt](FolderHandle folder, const fs::path& from,
                                            const fs::path& to, int fd) {
        const int result = real(folder, from, to, fd);
        ++renames;
        return result;
    };
    ops.readAt = [&, real = ops.readAt](int fd, void* buffer, std::size_t count,
                                        std::int64_t offset) -> std::int64_t {
        if (offset >= 16 && ++payloadReads == 6) {
            const auto start = std::chrono::steady_clock::now();
            while (renames == 0 &&
                   std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            renamedBeforeTheSixth = renames > 0;
            stop = true;
        }
        return real(fd, buffer, count, offset);
    };
    ScopedFileOps hooked(std::move(ops));
    BatchOptions options;
    options.batchFiles = byTime ? 1000 : 2;
    options.commitInterval = byTime ? std::chrono::milliseconds(20) : std::chrono::hours(1);
    RecordingSink sink;
    {
        RewritePipeline pipeline(options, sink, stop);
        HandIn(pipeline, {{dir.path(), names}});
        pipeline.Finish();
    }
    EXPECT_TRUE(renamedBeforeTheSixth);
    EXPECT_GE(sink.totals.compressed, 1);
    EXPECT_GE(sink.totals.notProcessed, 6);
    std::int64_t compressed = 0;
    for (int i = 0; i < 12; ++i) {
        const Bytes now = ReadFileBytes(dir / names[static_cast<std::size_t>(i)]);
        const Bytes before =
            MakeTexture(0x40, CompressibleBytes(5000 + 10 * static_cast<std::size_t>(i)));
        if (now != before) {
            EXPECT_EQ(now, ExpectedRewrite(before)) << i;
            ++compressed;
        }
    }
    EXPECT_EQ(compressed, sink.totals.compressed);
    EXPECT_EQ(ListFolder(dir.path()).size(), 12u); // no temporary file left
}

INSTANTIATE_TEST_SUITE_P(ClosingRules, CommitCadence, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "ByTime" : "ByCount"; });

// Counts the flushes of files (not folders) and of whole file systems, and the write-backs
// started early.
struct FlushCounts {
    std::atomic<int> fileSyncs{0};
    std::atomic<int> fileSystemSyncs{0};
    std::atomic<int> writeBacks{0};
};

FileOps CountingFlushes(FlushCounts& counts) {
    FileOps ops = SystemFileOps();
    ops.fsync = [&counts, real = ops.fsync, fstat = ops.fstat](int fd) {
        FileIdentity identity;
        if (fstat(fd, identity) == 0 && identity.isRegular())
            ++counts.fileSyncs;
        return real(fd);
    };
    ops.syncfs = [&counts, real = ops.syncfs](int fd) {
        ++counts.fileSystemSyncs;
        return real(fd);
    };
    ops.startWriteBack = [&counts, real = ops.startWriteBack](int fd) {
        ++counts.writeBacks;
        return real(fd);
    };
    return ops;
}

// Many small files are made durable by one flush of their file system before their renames,
// which also writes them out: none has its write-back started on its own. One file alone gets
// its own fsync, cheaper than flushing everything else waiting there. A big file (over 1 MiB
// compressed) has its write-back started as soon as it is written.
TEST(RewritePipeline, SmallFilesShareOneFlush) {
    for (const int files : {40, 1, 0}) {
        SCOPED_TRACE(files);
        TempDir dir;
        std::vector<fs::path> names;
        for (int i = 0; i < files; ++i) {
            names.push_back(Name("t", i));
            WriteFileBytes(dir / names.back(), MakeTexture(0x40, CompressibleBytes(4000)));
        }
        if (files == 0) {
            Bytes payload = RandomBytes(1200 * 1024);
            payload.resize(2 * payload.size()); // half of it zeros: saves, stays over 1 MiB
            names.push_back("big.ace");
            WriteFileBytes(dir / names.back(), MakeTexture(0x40, payload));
        }
        FlushCounts counts;
        ScopedFileOps counting(CountingFlushes(counts));
        BatchOptions options;
        options.commitInterval = std::chrono::hours(1); // one batch, committed at the end
        RecordingSink sink;
        const std::atomic<bool> stop{false};
        RewritePipeline pipeline(options, sink, stop);
        HandIn(pipeline, {{dir.path(), names}});
        pipeline.Finish();
        EXPECT_EQ(sink.totals.compressed, std::ssize(names));
        EXPECT_EQ(counts.writeBacks, files == 0 ? 1 : 0);
        if (SystemCapabilities().syncsFileSystems && files > 1) {
            EXPECT_EQ(counts.fileSystemSyncs, 1);
            EXPECT_EQ(counts.fileSyncs, 0);
        } else {
            EXPECT_EQ(counts.fileSystemSyncs, 0);
            EXPECT_EQ(counts.fileSyncs, std::ssize(names));
        }
    }
}

// With a slow disk the reader and the workers wait for the writer instead of piling files up in
// memory: between a file's read and its temporary file's write there are never more files than
// one read ahead, one per worker, one waiting for the writer and the one being written.
TEST(RewritePipeline, ReadsAheadNoFurtherThanItsBudget) {
    TempDir dir;
    std::vector<fs::path> names;
    constexpr std::size_t kPayload = 64 * 1024;
    for (int i = 0; i < 30; ++i) {
        names.push_back(Name("t", i));
        WriteFileBytes(dir / names.back(), MakeTexture(0x40, CompressibleBytes(kPayload + 7 * i)));
    }
    std::atomic<int> read{0};
    std::atomic<int> written{0};
    std::atomic<int> mostInBetween{0};
    FileOps ops = SystemFileOps();
    ops.readAt = [&, real = ops.readAt](int fd, void* buffer, std::size_t count,
                                        std::int64_t offset) -> std::int64_t {
        if (offset >= 16) {
            const int between = ++read - written;
            for (int most = mostInBetween; between > most;)
                mostInBetween.compare_exchange_weak(most, between);
        }
        return real(fd, buffer, count, offset);
    };
    ops.write = [&, real = ops.write](int fd, const void* buffer, std::size_t count) {
        if (count > 16) { // the payload, after the head
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            ++written;
        }
        return real(fd, buffer, count);
    };
    ScopedFileOps slowDisk(std::move(ops));
    BatchOptions options;
    options.jobs = 1;
    options.readAheadBytes = 1; // one file read ahead at a time
    options.writeBehindBytes = 1;
    RecordingSink sink;
    const std::atomic<bool> stop{false};
    {
        RewritePipeline pipeline(options, sink, stop);
        HandIn(pipeline, {{dir.path(), names}});
        pipeline.Finish();
    }
    EXPECT_EQ(sink.totals.compressed, 30);
    EXPECT_LE(mostInBetween, 5);
}

} // namespace
} // namespace quorvel::test
