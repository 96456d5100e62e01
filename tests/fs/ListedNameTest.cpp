// The name a folder lists for a file named in another case, found through the open folder: the
// file calls stand for a file system that ignores case (and one that numbers every spelling of
// a name anew), over a real folder.

#include "ListedName.h"

#include "FileContents.h"
#include "FileOps.h"
#include "FolderEntries.h"
#include "OpenFolder.h"
#include "TempDir.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;

std::filesystem::path::string_type Lower(const fs::path& name) {
    auto text = name.native();
    std::transform(text.begin(), text.end(), text.begin(), [](auto c) {
        return c >= 'A' && c <= 'Z' ? static_cast<decltype(c)>(c - 'A' + 'a') : c;
    });
    return text;
}

// statAt as a file system that ignores ASCII case would answer, over the files of `folder`;
// with `inodePerSpelling`, as a driver that numbers each spelling of a name on its own.
// "ALIAS.ACE" in any case is "brick.ace", as a file system that folds beyond ASCII case sees it.
FileOps CaseBlind(const fs::path& folder, bool inodePerSpelling) {
    FileOps ops = SystemFileOps();
    ops.statAt = [real = ops.statAt, folder, inodePerSpelling](
                     FolderHandle handle, const fs::path& name, bool follow, FileIdentity& out) {
        fs::path found = name;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const fs::path listed = entry.path().filename();
            if (Lower(listed) == Lower(name) ||
                (Lower(name) == Lower("alias.ace") && listed == "brick.ace"))
                found = listed;
        }
        if (real(handle, found, follow, out) != 0)
            return -1;
        if (inodePerSpelling)
            out.inode += std::hash<fs::path::string_type>{}(name.native()) % 1000 + 1;
        return 0;
    };
    return ops;
}

struct Named {
    std::string typed;
    std::string listed;
};

TEST(ListedName, IsTheFoldersSpellingOfANameTypedInAnotherCase) {
    TempDir dir;
    for (const char* name : {"brick.ace", "Roof.ACE", "wall.ace"})
        WriteFileBytes(dir / name, Bytes{1, 2, 3});
    std::error_code error;
    const SharedFolder folder = OpenFolderPath(dir.path(), error);
    ASSERT_TRUE(folder) << error.message();
    const Named cases[] = {
        {"BRICK.ACE", "brick.ace"}, {"brick.ace", "brick.ace"}, {"roof.ace", "Roof.ACE"},
        {"Wall.Ace", "wall.ace"},   {"ALIAS.ACE", "brick.ace"},
    };
    for (const bool inodePerSpelling : {false, true}) {
        ScopedFileOps blind(CaseBlind(dir.path(), inodePerSpelling));
        for (const Named& c : cases) {
            FileIdentity named;
            ASSERT_EQ(CurrentFileOps().statAt(folder->handle(), c.typed, false, named), 0);
            const fs::path listed = ListedName(*folder, c.typed, named);
            // A spelling beyond case can't be matched where every spelling has its own number.
            const bool matchable = !inodePerSpelling || c.typed != "ALIAS.ACE";
            EXPECT_EQ(listed, matchable ? c.listed : c.typed)
                << c.typed << (inodePerSpelling ? ", inode per spelling" : "");
        }
    }
}

// Finding a listed name reads the folder through the handle the file was found in, which may
// have been read before.
TEST(FolderEntries, AFolderReadTwiceThroughOneHandleListsItsEntriesBothTimes) {
    TempDir dir;
    WriteFileBytes(dir / "brick.ace", Bytes{1});
    std::error_code error;
    const SharedFolder folder = OpenFolderPath(dir.path(), error);
    ASSERT_TRUE(folder);
    for (int time = 0; time < 2; ++time) {
        const FolderEntries listing = ReadFolderEntries(*folder, EntryKindSource::EntryType);
        ASSERT_EQ(listing.entries.size(), 1u) << "reading " << time + 1;
        EXPECT_EQ(listing.entries[0].name, "brick.ace");
    }
}

#ifndef _WIN32 // Windows' names ignore case
// Where case tells files apart, each name is its own file and stays as typed.
TEST(ListedName, ANameThatTellsCaseApartStaysAsTyped) {
    TempDir dir;
    WriteFileBytes(dir / "brick.ace", Bytes{1});
    WriteFileBytes(dir / "BRICK.ACE", Bytes{2});
    WriteFileBytes(dir / "Roof.ace", Bytes{3});
    std::error_code error;
    const SharedFolder folder = OpenFolderPath(dir.path(), error);
    ASSERT_TRUE(folder);
    for (const char* name : {"brick.ace", "BRICK.ACE", "Roof.ace"}) {
        FileIdentity named;
        ASSERT_EQ(CurrentFileOps().statAt(folder->handle(), name, false, named), 0);
        EXPECT_EQ(ListedName(*folder, name, named), name);
    }
}
#endif

} // namespace
} // namespace quorvel::test
