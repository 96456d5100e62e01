// The walk on Windows: symbolic links to folders and files met inside the tree are never
// followed, whether they lead out of it or back up into it, and read-only means the read-only
// attribute. Links are made with CreateSymbolicLinkW; where the system refuses (no privilege
// and no developer mode) the link cases are skipped.
#include "FolderWalk.h"
#include "WalkTestFiles.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace quorvel::test {
namespace {

using Events = std::vector<std::string>;

class Recorder : public FolderVisitor {
public:
    explicit Recorder(fs::path root) : m_root(std::move(root)) {}
    void EnterFolder(const fs::path& folder) override { events.push_back("enter " + Rel(folder)); }
    void Candidate(const FileInFolder& file) override {
        events.push_back("file " + Rel(file.shown));
    }
    void Failure(const fs::path& path, Step, std::error_code error) override {
        events.push_back("fail " + Rel(path) + " " + std::to_string(error.value()));
    }
    bool StopRequested() override { return events.size() > 1000; } // a loop would get here
    Events events;

private:
    std::string Rel(const fs::path& p) const {
        return p.lexically_relative(m_root).generic_string();
    }
    fs::path m_root;
};

// Empty when the link was made; otherwise why not.
std::string MakeLink(const fs::path& link, const fs::path& target, bool folder) {
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (folder)
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), flags))
        return {};
    return "cannot create a symbolic link here (error " + std::to_string(GetLastError()) + ")";
}

Events SortedWalk(const fs::path& start, const fs::path& root) {
    Recorder recorder(root);
    WalkFolderTree(start, recorder);
    std::sort(recorder.events.begin(), recorder.events.end());
    return recorder.events;
}

TEST(WindowsWalk, NeverFollowsLinksOutOfTheTreeOrBackIntoIt) {
    TempDir r;
    TempDir outside;
    MakeFile(outside, "out.ace");
    MakeFile(r, "plain.ace");
    MakeFile(r, "sub/in.ace");
    for (const std::string& why :
         {MakeLink(r / "out", outside.path(), true), MakeLink(r / "sub/up", r.path(), true),
          MakeLink(r / "link.ace", r / "plain.ace", false)}) {
        if (!why.empty())
            GTEST_SKIP() << why;
    }

    EXPECT_EQ(SortedWalk(r.path(), r.path()),
              (Events{"enter .", "enter sub", "file plain.ace", "file sub/in.ace"}));
}

TEST(WindowsWalk, OpensAStartFolderThatIsALink) {
    TempDir r;
    MakeFile(r, "real/a.ace");
    if (const std::string why = MakeLink(r / "chosen", r / "real", true); !why.empty())
        GTEST_SKIP() << why;
    if (!fs::exists(r / "chosen/a.ace"))
        GTEST_SKIP() << "this system makes folder links it does not resolve (Wine)";
    EXPECT_EQ(SortedWalk(r / "chosen", r.path()), (Events{"enter chosen", "file chosen/a.ace"}));
}

TEST(WindowsWalk, PassesOverFilesWithTheReadOnlyAttribute) {
    TempDir r;
    MakeFile(r, "open.ace");
    const fs::path locked = MakeFile(r, "locked.ace");
    ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(SortedWalk(r.path(), r.path()), (Events{"enter .", "file open.ace"}));
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
} // namespace quorvel::test
