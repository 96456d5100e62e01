// Someone who may write the tree swaps a file or a folder for a link to a file outside it, at
// each step between the check and the replacement, through the file-call seam. Whatever the
// moment, the file outside stays byte for byte as it was, with its mode and owner, no temporary
// file appears outside the tree, and a swapped file is reported as changed.

// POSIX only: links swapped in through POSIX calls.
#ifndef _WIN32
#include "Brevora.h"
#include "FileContents.h"
#include "FileOps.h"
#include "NamedTexture.h"
#include "RewritePipeline.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureFile.h"
#include "TextureSamples.h"
#include "WalkFeed.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;

// The moments a swap can happen at, in the order the rewrite reaches them.
enum class Moment {
    OpenFolder,  // just before the file's folder is opened
    OpenFile,    // just before the file is opened
    Inspect,     // after it is open, before fstat
    ReadPayload, // before the payload is read
    CreateTemp,  // before the temporary file is created
    Write,       // before its data is written
    KeepOwner,   // before it gets the original's owner
    Sync,        // before it is flushed
    CheckBefore, // before the last identity check
    Rename,      // between that check and the rename
};

enum class Swap {
    FileToTexture, // the file becomes a link to a root-only .ace file outside the tree
    FileToOther,   // the same, to a file not named .ace
    Folder,        // the file's folder becomes a link to the outside folder
};

struct Case {
    Moment moment;
    Swap swap;
};

const char* MomentName(Moment m) {
    static const char* const names[] = {"OpenFolder",  "OpenFile", "Inspect",   "ReadPayload",
                                        "CreateTemp",  "Write",    "KeepOwner", "Sync",
                                        "CheckBefore", "Rename"};
    return names[static_cast<int>(m)];
}

const char* SwapName(Swap s) {
    static const char* const names[] = {"FileToTexture", "FileToOther", "Folder"};
    return names[static_cast<int>(s)];
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << MomentName(c.moment) << "_" << SwapName(c.swap);
}

// The failures a run reports, as sentences.
class FailureSink final : public BatchSink {
public:
    void OnReport(const FileReport& report) override {
        if (report.isFailure())
            failures.push_back(DescribeReport(report));
    }
    std::vector<std::string> failures;
};

struct Snapshot {
    Bytes bytes;
    struct stat info {};
};

Snapshot Take(const fs::path& path) {
    Snapshot s;
    s.bytes = ReadFileBytes(path);
    ::lstat(path.c_str(), &s.info);
    return s;
}

bool Same(const Snapshot& a, const Snapshot& b) {
    return a.bytes == b.bytes && a.info.st_ino == b.info.st_ino &&
           a.info.st_mode == b.info.st_mode && a.info.st_uid == b.info.st_uid &&
           a.info.st_gid == b.info.st_gid && a.info.st_mtim.tv_nsec == b.info.st_mtim.tv_nsec &&
           a.info.st_mtim.tv_sec == b.info.st_mtim.tv_sec;
}

// A tree with one texture in tree/sub, and beside the tree a folder no walk reaches, holding a
// root-only texture and a root-only file of another name.
class LinkSwapTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "tree/sub");
        fs::create_directories(m_dir / "outside");
        m_input = MakeTexture(0, CompressibleBytes(6000));
        WriteFileBytes(m_dir / "tree/sub/brick.ace", m_input);
        for (const char* name : {"brick.ace", "secret.bin"}) {
            WriteFileBytes(m_dir / "outside" / name, MakeTexture(0, CompressibleBytes(7000)));
            ::chmod((m_dir / "outside" / name).c_str(), 0600);
        }
        ::chmod((m_dir / "outside/brick.ace").c_str(), 0640);
        m_before[0] = Take(m_dir / "outside/brick.ace");
        m_before[1] = Take(m_dir / "outside/secret.bin");
    }

    // Swaps as the case says; the file or folder moved aside stays inside the tree.
    void DoSwap(Swap swap) {
        const fs::path sub = m_dir / "tree/sub";
        if (swap == Swap::Folder) {
            fs::rename(sub, m_dir / "tree/sub.old");
            fs::create_directory_symlink(m_dir / "outside", sub);
            return;
        }
        fs::rename(sub / "brick.ace", sub / "brick.old");
        fs::create_symlink(m_dir / "outside" /
                               (swap == Swap::FileToTexture ? "brick.ace" : "secret.bin"),
                           sub / "brick.ace");
    }

    // The real calls, with the swap made once, at the case's moment.
    FileOps SwappingOps(const Case& c) {
        FileOps ops = SystemFileOps();
        auto state = std::make_shared<State>();
        auto fire = [this, state, c](Moment now) {
            if (state->fired || now != c.moment)
                return;
            state->fired = true;
            DoSwap(c.swap);
        };
        ops.openAt = [real = ops.openAt, fire, state](FolderHandle folder, const fs::path& name,
                                                      int flags, unsigned mode) {
            if ((flags & O_DIRECTORY) != 0 && name.filename() == "sub")
                fire(Moment::OpenFolder);
            if ((flags & O_CREAT) != 0) {
                state->created = true;
                fire(Moment::CreateTemp);
            } else if (name == "brick.ace") {
                fire(Moment::OpenFile);
                state->opened = true;
            }
            return real(folder, name, flags, mode);
        };
        ops.fstat = [real = ops.fstat, fire, state](int fd, FileIdentity& out) {
            if (state->opened && !state->created)
                fire(Moment::Inspect);
            // The new file is looked at before it is given the original's owner and access.
            if (state->created)
                fire(Moment::KeepOwner);
            return real(fd, out);
        };
        ops.readAt = [real = ops.readAt, fire](int fd, void* buffer, std::size_t count,
                                               std::int64_t offset) {
            if (offset >= 16)
                fire(Moment::ReadPayload);
            return real(fd, buffer, count, offset);
        };
        ops.write = [real = ops.write, fire](int fd, const void* buffer, std::size_t count) {
            fire(Moment::Write);
            return real(fd, buffer, count);
        };
        ops.fsync = [real = ops.fsync, fire](int fd) {
            fire(Moment::Sync);
            return real(fd);
        };
        // A batch flushes its small files with one sync of their file system.
        ops.syncfs = [real = ops.syncfs, fire](int fd) {
            fire(Moment::Sync);
            return real(fd);
        };
        ops.statAt = [real = ops.statAt, fire, state](FolderHandle folder, const fs::path& name,
                                                      bool follow, FileIdentity& out) {
            if (state->created && name == "brick.ace")
                fire(Moment::CheckBefore);
            return real(folder, name, follow, out);
        };
        ops.renameAt = [real = ops.renameAt, fire](FolderHandle folder, const fs::path& from,
                                                   const fs::path& to, int fd) {
            fire(Moment::Rename);
            return real(folder, from, to, fd);
        };
        m_state = state;
        return ops;
    }

    void ExpectOutsideUntouched() {
        EXPECT_TRUE(Same(Take(m_dir / "outside/brick.ace"), m_before[0]));
        EXPECT_TRUE(Same(Take(m_dir / "outside/secret.bin"), m_before[1]));
        EXPECT_EQ(ListFolder(m_dir / "outside"),
                  (std::vector<std::string>{"brick.ace", "secret.bin"}));
    }

    // The original wherever the swap moved it: unchanged, or compressed as a whole.
    void ExpectOriginalWholeInTree(Swap swap) {
        const fs::path moved =
            swap == Swap::Folder ? m_dir / "tree/sub.old/brick.ace" : m_dir / "tree/sub/brick.old";
        const fs::path where = fs::exists(moved) ? moved : m_dir / "tree/sub/brick.ace";
        const Bytes now = ReadFileBytes(where);
        EXPECT_TRUE(now == m_input || now == ExpectedRewrite(m_input)) << where;
    }

    struct State {
        bool fired = false;
        bool opened = false;
        bool created = false;
    };

    TempDir m_dir;
    Bytes m_input;
    Snapshot m_before[2];
    std::shared_ptr<State> m_state;
};

// The folder walk feeding the pipeline, as the window program's folder mode runs them (and the
// benchmark's walk), the stages on their own threads.
TEST_P(LinkSwapTest, FolderWalkNeverActsOutsideTheTree) {
    const Case c = GetParam();
    FailureSink sink;
    {
        ScopedFileOps swapping(SwappingOps(c));
        const std::atomic<bool> stop{false};
        RewritePipeline pipeline(BatchOptions{}, sink, stop);
        WalkFeed feed(pipeline);
        WalkFolderTree(m_dir / "tree", feed);
        pipeline.Finish();
    }
    ASSERT_TRUE(m_state->fired) << "the swap never happened";
    ExpectOutsideUntouched();
    ExpectOriginalWholeInTree(c.swap);
    if (c.swap != Swap::Folder && c.moment != Moment::OpenFolder && c.moment != Moment::Rename) {
        // Swapped between check and rename: left alone and reported as changed.
        ASSERT_EQ(sink.failures.size(), 1u);
        EXPECT_NE(sink.failures[0].find(make_error_code(TextureErrc::FileChanged).message()),
                  std::string::npos)
            << sink.failures[0];
    }
    if (c.swap == Swap::Folder && c.moment == Moment::OpenFolder) {
        ASSERT_EQ(sink.failures.size(), 1u); // the link is not entered
        EXPECT_NE(sink.failures[0].find("open the folder"), std::string::npos);
    }
}

// A file named on a command line: its path is resolved once; a folder on the way swapped for a
// link afterwards is not followed.
TEST_P(LinkSwapTest, NamedFileNeverActsOutsideTheTree) {
    const Case c = GetParam();
    Brevora compressor;
    TextureResult result;
    {
        ScopedFileOps swapping(SwappingOps(c));
        result = CompressNamedFile(compressor, m_dir / "tree/sub/brick.ace");
    }
    ASSERT_TRUE(m_state->fired) << "the swap never happened";
    ExpectOutsideUntouched();
    ExpectOriginalWholeInTree(c.swap);
    const bool folderAlreadyOpen = c.swap == Swap::Folder && c.moment != Moment::OpenFolder;
    if (c.moment != Moment::Rename && !folderAlreadyOpen) {
        EXPECT_TRUE(result.failed()) << MomentName(c.moment);
    }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (int m = 0; m <= static_cast<int>(Moment::Rename); ++m) {
        for (Swap s : {Swap::FileToTexture, Swap::FileToOther, Swap::Folder})
            cases.push_back({static_cast<Moment>(m), s});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EachStep, LinkSwapTest, ::testing::ValuesIn(AllCases()),
                         [](const auto& test) {
                             return std::string(MomentName(test.param.moment)) + "_" +
                                    SwapName(test.param.swap);
                         });

} // namespace
} // namespace quorvel::test

#endif // _WIN32
