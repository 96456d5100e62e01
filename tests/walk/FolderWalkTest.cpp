#include "FolderWalk.h"

#include "WalkTestFiles.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>

#ifndef _WIN32
#include "ChildProcess.h"

#include <unistd.h>
#endif

namespace quorvel {
void PrintTo(SystemDirectoryLister::KindSource source, std::ostream* out) {
    *out << (source == SystemDirectoryLister::KindSource::Stat ? "stat every entry" : "d_type");
}
} // namespace quorvel

namespace quorvel::test {
namespace {

using Events = std::vector<std::string>;
using Kind = EntryKind;

// Writes down every call as one line, with paths relative to `root`.
class RecordingVisitor : public FolderVisitor {
public:
    explicit RecordingVisitor(fs::path root) : m_root(std::move(root)) {}

    void EnterFolder(const fs::path& folder) override { events.push_back("enter " + Rel(folder)); }
    void Candidate(const FileInFolder& file) override {
        events.push_back("file " + Rel(file.shown));
        if (onCandidate)
            onCandidate(file.shown);
    }
    void Failure(const fs::path& path, Step step, std::error_code error) override {
        static const char* const steps[] = {"OpenFolder", "ListFolder", "ReadName", "ReadEntry",
                                            "ReadAttributes"};
        const int walkStep = static_cast<int>(step) - static_cast<int>(Step::OpenFolder);
        events.push_back("fail " + Rel(path) + " " + steps[walkStep] + " " +
                         std::to_string(error.value()));
    }
    void Skipped(const fs::path& file, Outcome reason) override {
        skips.insert((reason == Outcome::ReadOnlySkipped ? "readOnly " : "notRegular ") +
                     Rel(file));
    }
    bool StopRequested() override { return stopAfter != 0 && events.size() >= stopAfter; }

    Events events;
    std::set<std::string> skips; // apart from the events: the order among them is the listing's
    std::function<void(const fs::path&)> onCandidate;
    std::size_t stopAfter = 0;

private:
    std::string Rel(const fs::path& p) const {
        return p.lexically_relative(m_root).generic_string();
    }
    fs::path m_root;
};

// Serves scripted listings; a folder it has no listing for can't be opened (ENOENT).
class ScriptedLister : public DirectoryLister {
public:
    DirectoryListing List(const FolderRequest& request) override {
        if (auto found = listings.find(request.shown); found != listings.end())
            return found->second;
        DirectoryListing missing;
        missing.openError = Errno(ENOENT);
        return missing;
    }
    static std::error_code Errno(int value) { return {value, std::system_category()}; }
    std::map<fs::path, DirectoryListing> listings;
};

struct NameCase {
    const char* name;
    bool candidate;
};
void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.name;
}

class TextureFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(TextureFileName, MatchesLastFourCharactersInAnyCase) {
    EXPECT_EQ(IsTextureFileName(GetParam().name), GetParam().candidate);
}

INSTANTIATE_TEST_SUITE_P(Names, TextureFileName,
                         ::testing::Values(NameCase{"x.ace", true}, NameCase{"x.Ace", true},
                                           NameCase{"x.ACE", true}, NameCase{"x.aCe", true},
                                           NameCase{".ace", true}, NameCase{"x.aces", false},
                                           NameCase{"ace", false}, NameCase{"ACE", false},
                                           NameCase{"a.ace.bak", false}, NameCase{"x_ace", false},
                                           NameCase{"", false}));

TEST(FolderWalk, HandsOutFilesBeforeSubfoldersDepthFirstInListingOrder) {
    TempDir r;
    for (const char* file : {"a.ace", "b.ace", "one/c.ace", "one/deep/d.ace", "two/e.ace"})
        MakeFile(r, file);
    ScriptedLister lister;
    lister.listings[r.path()].entries = {{"b.ace", Kind::File, {}},
                                         {"one", Kind::Folder, {}},
                                         {"a.ace", Kind::File, {}},
                                         {"two", Kind::Folder, {}},
                                         {"note.txt", Kind::File, {}}};
    lister.listings[r / "one"].entries = {{"deep", Kind::Folder, {}}, {"c.ace", Kind::File, {}}};
    lister.listings[r / "one/deep"].entries = {{"d.ace", Kind::File, {}}};
    lister.listings[r / "two"].entries = {{"e.ace", Kind::File, {}}};

    RecordingVisitor visitor(r.path());
    const WalkSummary summary = WalkFolderTree(r.path(), visitor, lister);
    EXPECT_EQ(visitor.events,
              (Events{"enter .", "file b.ace", "file a.ace", "enter one", "file one/c.ace",
                      "enter one/deep", "file one/deep/d.ace", "enter two", "file two/e.ace"}));
    EXPECT_EQ(summary.folders, 4u);
    EXPECT_EQ(summary.candidates, 5u);
}

TEST(FolderWalk, ReportsEveryFailureAndCarriesOn) {
    TempDir r;
    for (const char* file : {"a.ace", "z.ace", "partial/p.ace"})
        MakeFile(r, file);
    const auto err = ScriptedLister::Errno;
    ScriptedLister lister;
    lister.listings[r.path()].entries = {
        {"a.ace", Kind::File, {}},           {"gone", Kind::Folder, {}},
        {"locked", Kind::Folder, {}},        {"partial", Kind::Folder, {}},
        {"vanished.ace", Kind::File, {}},    {"", Kind::Other, err(EILSEQ)},
        {"ghost", Kind::Other, err(ENOENT)}, {"z.ace", Kind::File, {}}};
    lister.listings[r / "locked"].openError = err(EACCES);
    lister.listings[r / "partial"].entries = {{"p.ace", Kind::File, {}}};
    lister.listings[r / "partial"].readError = err(EIO);

    RecordingVisitor visitor(r.path());
    const WalkSummary summary = WalkFolderTree(r.path(), visitor, lister);
    EXPECT_EQ(
        visitor.events,
        (Events{"enter .", "file a.ace", "fail vanished.ace ReadAttributes 2",
                "fail . ReadName " + std::to_string(EILSEQ), "fail ghost ReadEntry 2", "file z.ace",
                "enter gone", "fail gone OpenFolder 2", "enter locked", "fail locked OpenFolder 13",
                "enter partial", "fail partial ListFolder 5", "file partial/p.ace"}));
    EXPECT_EQ(summary.failures, 6u);

    RecordingVisitor start(r.path()); // the real lister, on a start folder that isn't one
    WalkFolderTree(r / "missing", start);
    WalkFolderTree(r / "a.ace", start);
#ifdef _WIN32
    const std::string notAFolder = "267"; // ERROR_DIRECTORY
#else
    const std::string notAFolder = std::to_string(ENOTDIR);
#endif
    EXPECT_EQ(start.events, (Events{"enter missing", "fail missing OpenFolder 2", "enter a.ace",
                                    "fail a.ace OpenFolder " + notAFolder}));
}

TEST(FolderWalk, WalksAFolderReachedTwiceOnlyOnce) {
    // As through a bind mount of the start folder inside its own tree.
    TempDir r;
    ScriptedLister lister;
    lister.listings[r.path()].identity = FolderIdentity{1, 10};
    lister.listings[r.path()].entries = {{"mount", Kind::Folder, {}}, {"x", Kind::Folder, {}}};
    lister.listings[r / "mount"] = lister.listings[r.path()];
    lister.listings[r / "x"].identity = FolderIdentity{1, 11};
    RecordingVisitor visitor(r.path());
    WalkFolderTree(r.path(), visitor, lister);
    EXPECT_EQ(visitor.events, (Events{"enter .", "enter x"}));
}

TEST(FolderWalk, FilesCreatedWhileAFolderIsWalkedNeverEnterTheWalkAndAStopIsHonoured) {
    TempDir r;
    for (const char* file : {"a.ace", "b.ace", "c.ace", "sub/d.ace"})
        MakeFile(r, file);
    RecordingVisitor visitor(r.path());
    visitor.onCandidate = [&](const fs::path& file) {
        MakeFile(r, file.filename().string() + ".new.ace");
    };
    EXPECT_EQ(WalkFolderTree(r.path(), visitor).candidates, 4u);

    RecordingVisitor stopping(r.path());
    stopping.stopAfter = 2; // the start folder and one file
    EXPECT_TRUE(WalkFolderTree(r.path(), stopping).stopped);
    EXPECT_EQ(stopping.events.size(), 2u);
}

#ifndef _WIN32 // POSIX only: see the Windows section of the README
class SystemWalk : public ::testing::TestWithParam<SystemDirectoryLister::KindSource> {
protected:
    Events Walk(const fs::path& start, const fs::path& root,
                std::set<std::string>* skips = nullptr) {
        RecordingVisitor visitor(root);
        SystemDirectoryLister lister(GetParam());
        WalkFolderTree(start, visitor, lister);
        if (skips != nullptr)
            *skips = visitor.skips;
        return visitor.events;
    }
};

TEST_P(SystemWalk, OffersOnlyWritableRegularFilesAndNeverFollowsLinks) {
    TempDir r;
    TempDir outside;
    MakeFile(outside, "out.ace");
    MakeFile(r, "plain.ace");
    MakeFile(r, ".ace"); // hidden files are candidates like any other
    fs::permissions(MakeFile(r, "ro.ACE"), fs::perms(0444));
    fs::create_symlink("plain.ace", r / "link.ace");
    fs::create_symlink("nowhere.ace", r / "dangling.ace");
    ASSERT_EQ(::mkfifo((r / "fifo.ace").c_str(), 0644), 0);
    MakeFile(r, "dir.ace/in.ace");
    fs::create_directory_symlink(r.path(), r / "dir.ace/up");
    fs::create_directory_symlink(outside.path(), r / "out");

    std::set<std::string> skips;
    const Events events = Walk(r.path(), r.path(), &skips);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0], "enter .");
    EXPECT_EQ(std::set<std::string>(events.begin() + 1, events.begin() + 3),
              (std::set<std::string>{"file plain.ace", "file .ace"}));
    EXPECT_EQ(Events(events.begin() + 3, events.end()),
              (Events{"enter dir.ace", "file dir.ace/in.ace"}));
    // What it passed over by name, it says why.
    EXPECT_EQ(skips, (std::set<std::string>{"readOnly ro.ACE", "notRegular link.ace",
                                            "notRegular dangling.ace", "notRegular fifo.ace"}));
}

TEST_P(SystemWalk, OpensAStartFolderThatIsALinkAndKeepsNamesThatAreNotUtf8) {
    TempDir r;
    MakeFile(r, "real/caf\xE9.ace");
    MakeFile(r, "real/d\xFF/x.ace");
    fs::create_directory_symlink(r / "real", r / "chosen");
    EXPECT_EQ(Walk(r / "chosen", r.path()),
              (Events{"enter chosen", "file chosen/caf\xE9.ace", "enter chosen/d\xFF",
                      "file chosen/d\xFF/x.ace"}));
}

INSTANTIATE_TEST_SUITE_P(KindSources, SystemWalk,
                         ::testing::Values(SystemDirectoryLister::KindSource::EntryType,
                                           SystemDirectoryLister::KindSource::Stat));

TEST(FolderWalk, ReportsAFolderItMayNotOpenAndWalksTheRest) {
    // Root ignores permission bits: as root the walk runs as nobody, otherwise as we are.
    const bool root = ::geteuid() == 0;
    if (auto reason = WhyPrivilegesCannotBeDropped(); root && reason)
        GTEST_SKIP() << *reason;
    TempDir r;
    for (const char* file : {"a.ace", "z/c.ace", "locked/b.ace"})
        MakeFile(r, file);
    fs::permissions(r / "locked", fs::perms::none);
    const auto body = [&] {
        RecordingVisitor visitor(r.path());
        WalkFolderTree(r.path(), visitor);
        std::sort(visitor.events.begin(), visitor.events.end());
        const Events expected{"enter .",    "enter locked", "enter z", "fail locked OpenFolder 13",
                              "file a.ace", "file z/c.ace"};
        return visitor.events == expected ? 0 : 1;
    };
    const ChildStatus status = root ? RunAsNobody(body) : RunInChild(body);
    EXPECT_TRUE(status.exitedWith(0)) << status.describe();
}
#endif

} // namespace
} // namespace quorvel::test
