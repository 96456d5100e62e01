// The original survives every failure of the rewrite: injected at each file call, a real full
// disk, a file changed behind our back, and an interrupt while writing. No temporary file may
// be left in the folder afterwards.

#include "Brevora.h"
#include "FailureText.h"
#include "FileContents.h"
#include "FileOps.h"
#include "InterruptCleanup.h"
#include "NamedTexture.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureFile.h"
#include "TextureSamples.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>

#ifndef _WIN32
#include "ChildProcess.h"

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace quorvel::test {
namespace {

#ifndef EDQUOT // Windows knows no disk quotas by errno
constexpr int EDQUOT = ENOSPC;
#endif

enum class Call { Open, Read, Fchown, Fchmod, CopySecurity, CopyAttributes, Write, Fsync, Rename };

// `real`, except that its `nth` call fails with `error`.
template <class Result, class... Args>
std::function<Result(Args...)> FailNth(std::function<Result(Args...)> real, int nth, int error) {
    auto calls = std::make_shared<int>(0);
    return [=](Args... args) -> Result {
        if (++*calls != nth)
            return real(args...);
        errno = error;
        return Result{-1};
    };
}

FileOps FailingOn(Call call, int nth, int error) {
    FileOps ops = SystemFileOps();
    switch (call) {
    case Call::Open: {
        // Files only: the folders opened on the way to the named file are not counted.
        auto files = FailNth(ops.openAt, nth, error);
        ops.openAt = [files, real = ops.openAt](FolderHandle folder,
                                                const std::filesystem::path& name, int flags,
                                                unsigned mode) {
#ifdef _WIN32
            // Folders are opened by their own calls there, never through openAt.
            (void)real;
            return files(folder, name, flags, mode);
#else
            return (flags & O_DIRECTORY) != 0 ? real(folder, name, flags, mode)
                                              : files(folder, name, flags, mode);
#endif
        };
        break;
    }
    case Call::Read:
        ops.readAt = FailNth(ops.readAt, nth, error);
        break;
    case Call::Fchown:
        ops.fchown = FailNth(ops.fchown, nth, error);
        break;
    case Call::Fchmod:
        ops.fchmod = FailNth(ops.fchmod, nth, error);
        break;
    case Call::CopySecurity:
        ops.copySecurity = FailNth(ops.copySecurity, nth, error);
        break;
    case Call::CopyAttributes:
        ops.copyFileAttributes = FailNth(ops.copyFileAttributes, nth, error);
        break;
    case Call::Write:
        ops.write = FailNth(ops.write, nth, error);
        break;
    case Call::Fsync:
        ops.fsync = FailNth(ops.fsync, nth, error);
        break;
    case Call::Rename:
        ops.renameAt = FailNth(ops.renameAt, nth, error);
        break;
    }
    return ops;
}

struct Fault {
    const char* name;
    Call call;
    int nth;
    int error;
    Step step;
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

class InjectedFault : public testing::TestWithParam<Fault> {};

TEST_P(InjectedFault, LeavesOriginalIdenticalAndNoTemporaryFile) {
    const Fault& fault = GetParam();
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);

    TextureResult result;
    {
        ScopedFileOps faulty(FailingOn(fault.call, fault.nth, fault.error));
        Brevora compressor;
        result = CompressNamedFile(compressor, path);
    }

    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.failedStep, fault.step);
    EXPECT_EQ(result.error, ErrorFromErrno(fault.error));
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
    if (fault.step == Step::SyncFolder) {
        // Too late to keep the original: the rename happened. The file is complete.
        EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
    } else {
        EXPECT_EQ(ReadFileBytes(path), input);
        EXPECT_TRUE(DescribeFailure(result).ends_with(" is unchanged.")) << DescribeFailure(result);
    }
}

// The calls in order: open the original, read header and payload, create the temporary
// file, write head and stream, fchown, (extended attributes,) fchmod (on Windows: the security
// descriptor, the file attributes), fsync it, rename, fsync the folder.
const Fault kFaults[] = {
    Fault{"ReadHeader", Call::Read, 1, EIO, Step::Read},
    Fault{"ReadPayload", Call::Read, 2, EIO, Step::Read},
    Fault{"CreateTemp", Call::Open, 2, EACCES, Step::CreateTemp},
#ifdef _WIN32
    Fault{"KeepSecurity", Call::CopySecurity, 1, EACCES, Step::CopyPermissions},
    Fault{"KeepAttributes", Call::CopyAttributes, 1, EIO, Step::CopyFileAttributes},
#else
    // The sample is 0644, the temporary file 0600; owners: MetadataOfARealFile below.
    Fault{"KeepMode", Call::Fchmod, 1, EIO, Step::CopyPermissions},
#endif
    Fault{"WriteHead", Call::Write, 1, ENOSPC, Step::Write},
    Fault{"WriteStream", Call::Write, 2, EDQUOT, Step::Write},
    Fault{"SyncFile", Call::Fsync, 1, EIO, Step::Sync},
    // EBUSY is a file in use, retried (RewriteAccessTest.cpp).
    Fault{"Rename", Call::Rename, 1, EACCES, Step::Replace},
#ifndef _WIN32 // Windows has no folder sync (SyncFolder)
    Fault{"SyncFolder", Call::Fsync, 2, EIO, Step::SyncFolder},
#endif
};

INSTANTIATE_TEST_SUITE_P(EachStep, InjectedFault, testing::ValuesIn(kFaults),
                         [](const auto& p) { return std::string(p.param.name); });

#ifndef _WIN32 // owners and mode bits are POSIX
// The owner and mode calls fail as a file system without them, or a mount refusing them, would
// answer. A file already like the original is compressed, as no call is made; one whose owner
// would change is refused at that step, unchanged.
struct MetadataCase {
    const char* name;
    std::uint32_t owner; // of the original; 0 is ours
    unsigned mode;       // of the original
    Call call;
    int error;
    Step step; // Step::None: compressed
};

class MetadataOfARealFile : public testing::TestWithParam<MetadataCase> {};

TEST_P(MetadataOfARealFile, IsCarriedOverOnlyWhereItDiffers) {
    const MetadataCase& c = GetParam();
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving the original another owner needs root";
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    ASSERT_EQ(::chown(path.c_str(), c.owner, 0), 0);
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);

    TextureResult result;
    {
        ScopedFileOps refusing(FailingOn(c.call, 1, c.error));
        Brevora compressor;
        result = CompressNamedFile(compressor, path);
    }
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    if (c.step == Step::None) {
        EXPECT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
        EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
        EXPECT_EQ(info.st_uid, c.owner);
        return;
    }
    EXPECT_EQ(result.failedStep, c.step);
    EXPECT_EQ(result.error, ErrorFromErrno(c.error));
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(info.st_uid, c.owner);
    const std::string text = DescribeFailure(result);
    EXPECT_TRUE(text.starts_with("Could not give the compressed copy of ")) << text;
    EXPECT_TRUE(text.ends_with(" The original file is unchanged.")) << text;
}

// Which calls are made and what their refusals mean is FileMetadataTest's; these check it on
// real files, through the rewrite, down to the step reported.
const MetadataCase kMetadataCases[] = {
    {"SameOwnerChownDenied", 0, 0644, Call::Fchown, EPERM, Step::None},
    {"SameModeNoChmod", 0, 0600, Call::Fchmod, EIO, Step::None},
    {"OtherOwnerDenied", 4321, 0644, Call::Fchown, EPERM, Step::CopyOwner},
};

INSTANTIATE_TEST_SUITE_P(OwnerAndMode, MetadataOfARealFile, testing::ValuesIn(kMetadataCases),
                         [](const auto& p) { return std::string(p.param.name); });
#endif

// Writes that stop short or get interrupted are resumed, not taken as complete.
TEST(SafeReplace, ResumesShortAndInterruptedWrites) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, RandomBytes(3000));
    WriteFileBytes(path, input);
    FileOps ops = SystemFileOps();
    auto calls = std::make_shared<int>(0);
    ops.write = [real = ops.write, calls](int fd, const void* b, std::size_t n) -> std::int64_t {
        if (++*calls % 2 == 0) {
            errno = EINTR;
            return -1;
        }
        return real(fd, b, std::min<std::size_t>(n, 700));
    };
    TextureResult result;
    {
        ScopedFileOps shortWrites(std::move(ops));
        Brevora compressor;
        result = CompressNamedFile(compressor, path);
    }
    EXPECT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
}

// Another program changes the file between reading and replacing: its change wins. Without a
// read lease (none to be had here) the identity check before the rename tells.
TEST(SafeReplace, DetectsFileChangedBetweenReadAndReplace) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    WriteFileBytes(path, MakeTexture(0, CompressibleBytes(900)));
    FileOps ops = SystemFileOps();
    ops.setLease = [](int, bool) {
        errno = EINVAL;
        return -1;
    };
    ScopedFileOps noLeases(std::move(ops));
    Brevora compressor;
    TextureRewrite rewrite = NamedRewrite(path);
    rewrite.Prepare(BrevoraCompressor(compressor));
    ASSERT_EQ(rewrite.result().outcome, Outcome::Compressed);
    rewrite.Stage();
    ASSERT_TRUE(rewrite.staged());

    const Bytes edited = MakeTexture(0, CompressibleBytes(901));
    WriteFileBytes(path, edited);
    EXPECT_FALSE(rewrite.Commit());

    EXPECT_EQ(rewrite.result().failedStep, Step::Replace);
    EXPECT_EQ(rewrite.result().error, TextureErrc::FileChanged);
    EXPECT_EQ(ReadFileBytes(path), edited);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

TEST(SafeReplace, DiscardsUncommittedTemporaryFileOnDestruction) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    WriteFileBytes(path, MakeTexture(0, CompressibleBytes(900)));
    {
        std::error_code error;
        const FileInFolder target = ResolveNamedFile(path, error);
        ASSERT_FALSE(error);
        PendingReplacement pending = PendingReplacement::Create(target, error);
        ASSERT_FALSE(error);
        const std::string tempName = pending.temporaryName().string();
        EXPECT_TRUE(tempName.starts_with(".brick.ace.quorvel-tmp-")) << tempName;
        EXPECT_EQ(ListFolder(dir.path()).size(), 2u);
    }
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

#ifndef _WIN32 // POSIX only: see the Windows section of the README
// A real full disk: a 64 KiB tmpfs holding a 40 KiB texture has no room for its copy.
TEST(SafeReplace, FullDiskLeavesOriginalAndNoTemporaryFile) {
    TempDir dir;
    const auto mountPoint = dir / "small";
    std::filesystem::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const std::unique_ptr<const char, void (*)(const char*)> unmount(
        mountPoint.c_str(), [](const char* p) { ::umount2(p, MNT_DETACH); });

    const auto path = mountPoint / "noise.ace";
    const Bytes input = MakeTexture(0, RandomBytes(40 * 1024));
    WriteFileBytes(path, input);
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);

    EXPECT_EQ(result.failedStep, Step::Write);
    EXPECT_EQ(result.error, std::error_code(ENOSPC, std::system_category()));
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(mountPoint), std::vector<std::string>{"noise.ace"});
}
#endif

#ifndef _WIN32 // POSIX only: see the Windows section of the README
// SIGTERM while the temporary file is being written: the process ends by the signal, the
// original is intact and the temporary file is gone.
TEST(InterruptCleanup, SignalDuringWriteRemovesTemporaryFile) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    ReadyPipe writing;

    ChildProcess child([&] {
        InstallInterruptCleanup();
        FileOps ops = SystemFileOps();
        ops.write = [&writing](int, const void*, std::size_t) -> std::int64_t {
            writing.notify();
            for (;;)
                ::pause();
        };
        ScopedFileOps stuck(std::move(ops));
        Brevora compressor;
        CompressNamedFile(compressor, path);
        return 1;
    });
    ASSERT_TRUE(writing.await()) << "the child never reached its first write";
    EXPECT_EQ(ListFolder(dir.path()).size(), 2u);
    ::kill(child.pid(), SIGTERM);
    const ChildStatus status = child.wait();

    EXPECT_TRUE(status.killedBy(SIGTERM)) << status.describe();
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

// The batch command's handling: the first SIGINT only sets the flag and the process carries on
// with its temporary file in place; the second ends it by the signal, removing the file.
TEST(InterruptCleanup, GracefulFirstSignalThenImmediateSecond) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    ReadyPipe writing;
    ReadyPipe flagged;

    ChildProcess child([&] {
        const std::atomic<bool>& stop = InstallGracefulInterrupt();
        FileOps ops = SystemFileOps();
        ops.write = [&](int, const void*, std::size_t) -> std::int64_t {
            writing.notify();
            while (!stop.load())
                ::usleep(1000);
            flagged.notify();
            for (;;)
                ::pause();
        };
        ScopedFileOps stuck(std::move(ops));
        Brevora compressor;
        CompressNamedFile(compressor, path);
        return 1;
    });
    ASSERT_TRUE(writing.await()) << "the child never reached its first write";
    ::kill(child.pid(), SIGINT);
    ASSERT_TRUE(flagged.await()) << "the first signal did not set the flag";
    EXPECT_EQ(ListFolder(dir.path()).size(), 2u);
    ::kill(child.pid(), SIGINT);
    const ChildStatus status = child.wait();

    EXPECT_TRUE(status.killedBy(SIGINT)) << status.describe();
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}
#endif

#ifndef _WIN32 // Windows has no file size limit signal
// Beyond the file size limit (ulimit -f) the write fails with "File too large" and the file
// stays as it was, for both programs' handlers, instead of the process dying by SIGXFSZ.
TEST(InterruptCleanup, WriteBeyondTheFileSizeLimitFailsInsteadOfEndingTheProcess) {
    for (const bool graceful : {false, true}) {
        TempDir dir;
        const auto path = dir / "big.ace";
        const Bytes input = MakeTexture(0, RandomBytes(64 * 1024));
        WriteFileBytes(path, input);
        const ChildStatus status = RunInChild([&] {
            if (graceful)
                InstallGracefulInterrupt();
            else
                InstallInterruptCleanup();
            const rlimit limit{16 * 1024, 16 * 1024};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 2;
            Brevora compressor;
            const TextureResult result = CompressNamedFile(compressor, path);
            return result.failedStep == Step::Write && result.error.value() == EFBIG ? 0 : 1;
        });
        EXPECT_TRUE(status.exitedWith(0)) << (graceful ? "graceful: " : "") << status.describe();
        EXPECT_EQ(ReadFileBytes(path), input);
        EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"big.ace"});
    }
}
#endif

// Worker threads rewriting files side by side share the temporary-file table.
TEST(SafeReplace, ThreadsRewriteFilesConcurrently) {
    TempDir dir;
    constexpr int kThreads = 4;
    constexpr int kFilesEach = 25;
    std::vector<Bytes> inputs;
    for (int i = 0; i < kThreads * kFilesEach; ++i) {
        inputs.push_back(MakeTexture(0, CompressibleBytes(500 + static_cast<std::size_t>(i))));
        WriteFileBytes(dir / (std::to_string(i) + ".ace"), inputs.back());
    }
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            Brevora compressor;
            for (int i = t * kFilesEach; i < (t + 1) * kFilesEach; ++i) {
                const auto result =
                    CompressNamedFile(compressor, dir / (std::to_string(i) + ".ace"));
                failures[static_cast<std::size_t>(t)] += result.failed();
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    for (int i = 0; i < kThreads * kFilesEach; ++i)
        EXPECT_EQ(ReadFileBytes(dir / (std::to_string(i) + ".ace")),
                  ExpectedRewrite(inputs[static_cast<std::size_t>(i)]));
    EXPECT_EQ(ListFolder(dir.path()).size(), static_cast<std::size_t>(kThreads * kFilesEach));
}

} // namespace
} // namespace quorvel::test
