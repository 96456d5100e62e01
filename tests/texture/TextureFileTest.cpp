// What a rewrite produces: the exact layout, the marker rule, short files, paths of every kind,
// links and attributes, and the staged API a batch builds on.

#include "TextureFile.h"

#include "Brevora.h"
#include "BrevoraErrors.h"
#include "FailureText.h"
#include "FileContents.h"
#include "NamedTexture.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureSamples.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quorvel::test {
namespace {

struct LayoutCase {
    const char* name;
    std::uint8_t marker;
    Bytes payload;
};

void PrintTo(const LayoutCase& layout, std::ostream* out) {
    *out << layout.name;
}

class CompressTextureLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(CompressTextureLayout, WritesHeaderSizeMarkerAndExactZlibStream) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(GetParam().marker, GetParam().payload);
    WriteFileBytes(path, input);

    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);

    ASSERT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    const Bytes expected = ExpectedRewrite(input);
    EXPECT_EQ(ReadFileBytes(path), expected);
    const auto n = static_cast<std::int32_t>(GetParam().payload.size());
    const auto c = static_cast<std::int32_t>(expected.size() - 16);
    EXPECT_EQ(result.originalSize, n);
    EXPECT_EQ(result.compressedSize, c);
    EXPECT_EQ(result.bytesSaved, n - c);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, CompressTextureLayout,
    testing::Values(LayoutCase{"MarkerAtExactly0x40", 0x40, CompressibleBytes(5000)},
                    LayoutCase{"MarkerZero", 0x00, CompressibleBytes(300)},
                    LayoutCase{"SmallestPayloadOfTwoBytes", 0x00, Bytes{'a', 'b'}},
                    // The file grows: a negative saving, still rewritten.
                    LayoutCase{"IncompressiblePayloadGrows", 0x3F, RandomBytes(4000)}),
    [](const auto& p) { return std::string(p.param.name); });

// Marker above 0x40 (any value, not only 0x46): left alone, nothing saved.
class AlreadyCompressedMarker
    : public testing::TestWithParam<std::pair<std::uint8_t, std::size_t>> {};

TEST_P(AlreadyCompressedMarker, LeavesFileUntouched) {
    const auto [marker, payloadBytes] = GetParam();
    TempDir dir;
    const auto path = dir / "done.ace";
    const Bytes input = MakeTexture(marker, CompressibleBytes(payloadBytes));
    WriteFileBytes(path, input);
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);
    EXPECT_EQ(result.outcome, Outcome::AlreadyCompressed);
    EXPECT_EQ(result.bytesSaved, 0);
    EXPECT_EQ(ReadFileBytes(path), input);
}

INSTANTIATE_TEST_SUITE_P(Markers, AlreadyCompressedMarker,
                         testing::Values(std::pair<std::uint8_t, std::size_t>{0x41, 500},
                                         std::pair<std::uint8_t, std::size_t>{0x46, 500},
                                         std::pair<std::uint8_t, std::size_t>{0x80, 500},
                                         std::pair<std::uint8_t, std::size_t>{0xFF, 500},
                                         std::pair<std::uint8_t, std::size_t>{0x41, 0}));

// Files of 0..16 bytes hold no payload: a failure, and the file stays as it was.
class TooShortFile : public testing::TestWithParam<std::size_t> {};

TEST_P(TooShortFile, FailsAndLeavesFileUntouched) {
    TempDir dir;
    const auto path = dir / "short.ace";
    const Bytes input = RandomBytes(GetParam(), 7);
    Bytes file = input;
    if (file.size() > 7)
        file[7] = 0x40;
    WriteFileBytes(path, file);
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.failedStep, Step::Check);
    EXPECT_EQ(result.error, TextureErrc::FileTooShort);
    EXPECT_EQ(result.bytesSaved, 0);
    EXPECT_EQ(ReadFileBytes(path), file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TooShortFile, testing::Values(0u, 1u, 7u, 8u, 15u, 16u));

TEST(CompressTextureFile, OneBytePayloadIsLeftUnmarked) {
    TempDir dir;
    const auto path = dir / "tiny.ace";
    const Bytes input = MakeTexture(0x40, Bytes{0x55});
    WriteFileBytes(path, input);
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);
    EXPECT_EQ(result.outcome, Outcome::NothingCompressed);
    EXPECT_EQ(result.bytesSaved, 0);
    EXPECT_EQ(ReadFileBytes(path), input);
}

TEST(CompressTextureFile, SecondRunChangesNothing) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    WriteFileBytes(path, MakeTexture(0, CompressibleBytes(2000)));
    Brevora compressor;
    ASSERT_EQ(CompressNamedFile(compressor, path).outcome, Outcome::Compressed);
    const Bytes once = ReadFileBytes(path);
    const TextureResult again = CompressNamedFile(compressor, path);
    EXPECT_EQ(again.outcome, Outcome::AlreadyCompressed);
    EXPECT_EQ(again.bytesSaved, 0);
    EXPECT_EQ(ReadFileBytes(path), once);
}

// Paths are used as given: blanks, non-ASCII, bytes that aren't UTF-8, relative to the current
// folder.
struct PathCase {
    const char* name;
    std::string relative;
};

void PrintTo(const PathCase& path, std::ostream* out) {
    *out << path.name;
}

class TexturePath : public testing::TestWithParam<PathCase> {};

TEST_P(TexturePath, IsRewrittenInPlace) {
    TempDir dir;
    const std::filesystem::path relative(GetParam().relative);
    std::filesystem::create_directories(dir / relative.parent_path());
    const Bytes input = MakeTexture(0, CompressibleBytes(700));
    WriteFileBytes(dir / relative, input);

    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, relative);
    std::filesystem::current_path(previous);

    EXPECT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_EQ(result.path, relative);
    EXPECT_EQ(ReadFileBytes(dir / relative), ExpectedRewrite(input));
    EXPECT_EQ(ListFolder(dir / relative.parent_path()).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TexturePath,
    testing::Values(PathCase{"BareName", std::string("brick.ace")},
                    PathCase{"Blanks", std::string("old walls/red brick  1.ACE")},
                    PathCase{"NonAscii",
                             std::string("Texturen/Ziegel \xC3\xA4\xC3\xB6 \xE7\x85\x89.ace")},
                    PathCase{"NotUtf8", std::string("sub/\xFF\xFE bad \x80.ace")},
                    PathCase{"LongName", std::string(250, 'n') + ".ace"}),
    [](const auto& p) { return std::string(p.param.name); });

#ifdef _WIN32
// Windows names ignore case: a file named in another case is renamed onto the name the folder
// lists (the handle's final path), not onto the name as typed.
TEST(CompressTextureFile, ANamedFileKeepsTheCaseItsFolderListsItIn) {
    TempDir dir;
    const Bytes input = MakeTexture(0, CompressibleBytes(700));
    WriteFileBytes(dir / "Mixed.ace", input);
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, dir / "MIXED.ACE");
    EXPECT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"Mixed.ace"});
    EXPECT_EQ(ReadFileBytes(dir / "Mixed.ace"), ExpectedRewrite(input));
}

bool IsReparsePoint(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A file link the user names is followed once: its target is rewritten, the link stays a link
// (it must not become a plain file holding the compressed copy).
TEST(CompressTextureFile, FollowsANamedFileLinkAndKeepsTheLink) {
    TempDir dir;
    const auto target = dir / "real" / "brick.ace";
    std::filesystem::create_directories(target.parent_path());
    const Bytes input = MakeTexture(0, CompressibleBytes(900));
    WriteFileBytes(target, input);
    const auto link = dir / "link.ace";
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "cannot create a symbolic link here (error " << GetLastError() << ")";
    // Wine says it made the link and makes none (cli_windows_paths.py shows the same with a
    // link of Wine's host system).
    if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "this system reports a link made but makes none";
    if (ReadFileBytes(link) != input)
        GTEST_SKIP() << "this system makes file links it does not resolve";
    // Wine makes a link of its host system, which Windows calls see through: no reparse point,
    // but still a link, and only its target may change.
    const bool reparsePoint = IsReparsePoint(link);

    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, link);
    ASSERT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_EQ(result.path, link);
    EXPECT_EQ(ReadFileBytes(target), ExpectedRewrite(input));
    EXPECT_EQ(ReadFileBytes(link), ExpectedRewrite(input));
    EXPECT_EQ(IsReparsePoint(link), reparsePoint);
    EXPECT_EQ(ListFolder(target.parent_path()), std::vector<std::string>{"brick.ace"});
}

// The folder is held by its handle: moved meanwhile, it is still the one worked in, and a new
// folder under the old name is left alone. (Wine creates the temporary file in the moved folder
// but hands back a handle that fails every call, so the file is left as it was, and the
// temporary file stays behind for a later run to remove; still nothing else is touched.)
TEST(CompressTextureFile, WorksInTheFolderItOpenedAfterThatFolderMoved) {
    TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    const Bytes input = MakeTexture(0, CompressibleBytes(900));
    WriteFileBytes(dir / "sub" / "brick.ace", input);
    std::error_code error;
    const FileInFolder file = ResolveNamedFile(dir / "sub" / "brick.ace", error);
    ASSERT_FALSE(error) << error.message();
    if (!MoveFileExW((dir / "sub").c_str(), (dir / "moved").c_str(), 0))
        GTEST_SKIP() << "an open folder can't be moved here (error " << GetLastError() << ")";
    std::filesystem::create_directories(dir / "sub");
    const Bytes decoy = MakeTexture(0, CompressibleBytes(901));
    WriteFileBytes(dir / "sub" / "brick.ace", decoy);

    Brevora compressor;
    const TextureResult result = CompressTextureFile(compressor, file);
    if (result.outcome == Outcome::Compressed) {
        EXPECT_EQ(ReadFileBytes(dir / "moved" / "brick.ace"), ExpectedRewrite(input));
        EXPECT_EQ(ListFolder(dir / "moved"), std::vector<std::string>{"brick.ace"});
    } else {
        EXPECT_EQ(result.failedStep, Step::CreateTemp) << DescribeFailure(result);
        EXPECT_EQ(ReadFileBytes(dir / "moved" / "brick.ace"), input);
    }
    EXPECT_EQ(ReadFileBytes(dir / "sub" / "brick.ace"), decoy);
    EXPECT_EQ(ListFolder(dir / "sub"), std::vector<std::string>{"brick.ace"});
}

// Deeper than the 260 characters of the old path limit, named by a path in the ordinary form.
TEST(CompressTextureFile, RewritesAFileDeeperThanTheOldPathLimit) {
    TempDir dir;
    std::wstring deep = L"\\\\?\\" + dir.path().native();
    std::filesystem::path relative;
    for (int i = 0; i < 12; ++i) {
        const std::wstring part = L"folder-of-twenty-" + std::to_wstring(100 + i);
        deep += L"\\" + part;
        relative /= part;
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << GetLastError();
    }
    const std::filesystem::path file = dir.path() / relative / "brick.ace";
    ASSERT_GT(file.native().size(), 300u);
    const Bytes input = MakeTexture(0, CompressibleBytes(900));
    WriteFileBytes(deep + L"\\brick.ace", input);

    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, file);
    ASSERT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_EQ(ReadFileBytes(deep + L"\\brick.ace"), ExpectedRewrite(input));
    // Nothing else left beside it; the tree is removed here, as not every library call takes
    // its length.
    WIN32_FIND_DATAW found;
    const HANDLE listing = FindFirstFileW((deep + L"\\*").c_str(), &found);
    ASSERT_NE(listing, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"brick.ace"}));
    DeleteFileW((deep + L"\\brick.ace").c_str());
    for (int i = 0; i < 12; ++i) {
        RemoveDirectoryW(deep.c_str());
        deep.resize(deep.find_last_of(L'\\'));
    }
}
#endif

#ifndef _WIN32 // POSIX only: see the Windows section of the README
TEST(CompressTextureFile, FollowsSymbolicLinkAndKeepsTheLink) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    std::filesystem::create_directory(dir / "links");
    const auto target = dir / "real" / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(900));
    WriteFileBytes(target, input);
    const auto link = dir / "links" / "brick.ace";
    std::filesystem::create_symlink("../real/brick.ace", link);

    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, link);

    EXPECT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link), "../real/brick.ace");
    EXPECT_EQ(ReadFileBytes(target), ExpectedRewrite(input));
    EXPECT_EQ(ListFolder(dir / "real"), std::vector<std::string>{"brick.ace"});
    EXPECT_EQ(ListFolder(dir / "links"), std::vector<std::string>{"brick.ace"});
}
#endif

#ifndef _WIN32 // POSIX only: see the Windows section of the README
TEST(CompressTextureFile, KeepsPermissionBitsAndOwnerButNotTimestamps) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    WriteFileBytes(path, MakeTexture(0, CompressibleBytes(900)));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 4321, 8765), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0614), 0);
    const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);

    Brevora compressor;
    ASSERT_EQ(CompressNamedFile(compressor, path).outcome, Outcome::Compressed);

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0614u);
    if (root) {
        EXPECT_EQ(after.st_uid, 4321u);
        EXPECT_EQ(after.st_gid, 8765u);
    }
    EXPECT_NE(after.st_mtim.tv_sec, old[1].tv_sec);
}
#endif

TEST(CompressTextureFile, RefusesPayloadBeyond32BitsBeforeReadingIt) {
    TempDir dir;
    const auto path = dir / "huge.ace";
    WriteFileBytes(path, MakeTexture(0, {}));
    // Sparse: no disk space or memory needed, unless the routine tried to read it.
    std::filesystem::resize_file(path, 16 + (std::uintmax_t{1} << 31));
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);
    EXPECT_EQ(result.error, TextureErrc::PayloadTooLarge);
    EXPECT_EQ(result.failedStep, Step::Check);
    EXPECT_EQ(std::filesystem::file_size(path), 16 + (std::uintmax_t{1} << 31));
    EXPECT_EQ(ListFolder(dir.path()).size(), 1u);
}

// The system's path for a named file's handle is split at its last name; a file at a volume's
// or share's root keeps the separator, or its folder would name the volume itself.
TEST(NamedFile, SplitsTheSystemsPathIntoFolderAndName) {
    struct Case {
        const wchar_t* path;
        const wchar_t* folder;
        const wchar_t* name;
    };
    for (const Case& c : {
             Case{L"\\\\?\\C:\\walls\\brick.ace", L"\\\\?\\C:\\walls", L"brick.ace"},
             Case{L"\\\\?\\C:\\brick.ace", L"\\\\?\\C:\\", L"brick.ace"},
             Case{L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\brick.ace",
                  L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\", L"brick.ace"},
             Case{L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\walls\\brick.ace",
                  L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\walls", L"brick.ace"},
             Case{L"\\\\?\\Volume{0a1b}\\brick.ace", L"\\\\?\\Volume{0a1b}\\", L"brick.ace"},
             Case{L"\\\\?\\UNC\\server\\share\\brick.ace", L"\\\\?\\UNC\\server\\share\\",
                  L"brick.ace"},
             Case{L"\\\\?\\UNC\\server\\share\\walls\\brick.ace",
                  L"\\\\?\\UNC\\server\\share\\walls", L"brick.ace"},
         }) {
        std::wstring folder;
        std::wstring name;
        ASSERT_TRUE(SplitWindowsFilePath(c.path, folder, name));
        EXPECT_EQ(folder, c.folder);
        EXPECT_EQ(name, c.name);
    }
    std::wstring folder;
    std::wstring name;
    EXPECT_FALSE(SplitWindowsFilePath(L"\\\\?\\C:\\walls\\", folder, name));
    EXPECT_FALSE(SplitWindowsFilePath(L"brick.ace", folder, name));
}

TEST(TextureRewrite, PrepareCompressesInMemoryAndWritesNothing) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(3000));
    WriteFileBytes(path, input);
    Brevora compressor;
    TextureRewrite rewrite = NamedRewrite(path);
    rewrite.Prepare(BrevoraCompressor(compressor));
    EXPECT_EQ(rewrite.result().outcome, Outcome::Compressed);
    const Bytes expected = ExpectedRewrite(input);
    EXPECT_EQ(rewrite.result().bytesSaved,
              static_cast<std::int32_t>(input.size() - expected.size()));
    EXPECT_EQ(Concat({rewrite.newHead(), rewrite.newPayload()}), expected);
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()).size(), 1u);
}

FileOps RefusingRemoval(FileOps ops) {
    ops.unlinkAt = [](FolderHandle, const std::filesystem::path&, int) {
        errno = EACCES;
        return -1;
    };
    return ops;
}

// A temporary file that can't be removed after a failure, while it is written or once the
// replace is refused, stays and is named in the result with the reason.
TEST(CompressTextureFile, NamesATemporaryFileItCouldNotRemove) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(3000));
    const auto expectLeftover = [&](const TextureResult& result, Step step) {
        EXPECT_EQ(result.failedStep, step);
        EXPECT_EQ(ReadFileBytes(path), input);
        const std::vector<std::string> names = ListFolder(dir.path());
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(result.leftover, path.parent_path() / names[0]);
        EXPECT_TRUE(IsTemporaryFileName(names[0])) << names[0];
        EXPECT_EQ(result.leftoverError, ErrorFromErrno(EACCES));
        std::filesystem::remove(dir / names[0]);
    };
    WriteFileBytes(path, input);
    Brevora compressor;
    {
        FileOps ops = RefusingRemoval(SystemFileOps());
        ops.write = [](int, const void*, std::size_t) -> std::int64_t {
            errno = ENOSPC;
            return -1;
        };
        ScopedFileOps failing(std::move(ops));
        expectLeftover(CompressNamedFile(compressor, path), Step::Write);
    }

    TextureRewrite rewrite = NamedRewrite(path);
    ASSERT_TRUE(rewrite.Prepare(BrevoraCompressor(compressor)));
    ASSERT_TRUE(rewrite.Stage());
    std::filesystem::remove(path);
    WriteFileBytes(path, input); // another file under the name now
    {
        ScopedFileOps failing(RefusingRemoval(SystemFileOps()));
        EXPECT_FALSE(rewrite.Replace());
    }
    expectLeftover(rewrite.result(), Step::Replace);
}

// A plugged-in compressor's failures: a zlib status leaves the file unmarked, an exception is a
// failure; neither touches the file.
TEST(TextureRewrite, ReportsWhatAPluggedCompressorGivesUp) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    WriteFileBytes(path, MakeTexture(0, CompressibleBytes(100)));

    TextureRewrite lowMemory = NamedRewrite(path);
    lowMemory.Prepare([](ByteArray& payload) { return CompressionReport{-4, payload.count(), 0}; });
    EXPECT_EQ(lowMemory.result().outcome, Outcome::NothingCompressed);
    EXPECT_EQ(lowMemory.result().zlibStatus, -4);

    TextureRewrite overflow = NamedRewrite(path);
    overflow.Prepare([](ByteArray&) -> CompressionReport { throw OverflowError("too big"); });
    EXPECT_EQ(overflow.result().failedStep, Step::Compress);
    EXPECT_EQ(overflow.result().error, TextureErrc::PayloadTooLarge);
}

} // namespace
} // namespace quorvel::test
