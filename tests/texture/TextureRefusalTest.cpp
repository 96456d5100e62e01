// Files the routine must refuse before writing anything: read-only, not writable by this user,
// hard-linked, not regular, missing; and the words a front end gets for a failure.

#include "Brevora.h"
#include "FailureText.h"
#include "FileContents.h"
#include "FileOps.h"
#include "NamedTexture.h"
#include "ReadOnly.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureFile.h"
#include "TextureSamples.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include "ChildProcess.h"

#include <unistd.h>
#endif

namespace quorvel::test {
namespace {

#ifndef _WIN32 // POSIX only: see the Windows section of the README
// Owner-write bit clear: refused with "Permission denied" whoever runs, root included, because
// renaming over it would need only the folder's permission.
class ReadOnlyTexture : public testing::TestWithParam<unsigned> {};

TEST_P(ReadOnlyTexture, IsRefusedEvenForRootAndLeftUntouched) {
    TempDir dir;
    const auto path = dir / "locked.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(800));
    WriteFileBytes(path, input);
    ASSERT_EQ(::chmod(path.c_str(), GetParam()), 0);

    std::error_code error;
    EXPECT_TRUE(IsReadOnly(path, error));
    EXPECT_FALSE(error);
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);

    EXPECT_EQ(result.failedStep, Step::Check);
    EXPECT_EQ(result.error, ErrorFromErrno(EACCES));
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"locked.ace"});
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, ReadOnlyTexture, testing::Values(0444u, 0400u, 0466u));
#endif

#ifndef _WIN32 // POSIX only: see the Windows section of the README
TEST(IsReadOnly, LooksAtTheOwnerWriteBitOnly) {
    TempDir dir;
    const auto path = dir / "a.ace";
    WriteFileBytes(path, Bytes{1});
    std::filesystem::create_symlink("a.ace", dir / "link.ace");
    std::error_code error;
    ASSERT_EQ(::chmod(path.c_str(), 0244), 0);
    EXPECT_FALSE(IsReadOnly(path, error));
    ASSERT_EQ(::chmod(path.c_str(), 0577), 0);
    EXPECT_TRUE(IsReadOnly(path, error));
    EXPECT_TRUE(IsReadOnly(dir / "link.ace", error));
    EXPECT_FALSE(IsReadOnly(dir / "missing.ace", error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}
#endif

#ifndef _WIN32 // POSIX only: see the Windows section of the README
// The file is writable by its owner, but not by this user, in a folder everyone may write to:
// without its own check the routine could rename over it.
TEST(CompressTextureFile, RefusesFileTheUserMayNotWrite) {
    if (const auto reason = WhyPrivilegesCannotBeDropped())
        GTEST_SKIP() << *reason;
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const auto theirs = dir / "theirs.ace";
    const auto mine = dir / "mine.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(800));
    WriteFileBytes(theirs, input);
    WriteFileBytes(mine, input);
    ASSERT_EQ(::chmod(theirs.c_str(), 0644), 0);
    ASSERT_EQ(::chown(mine.c_str(), 65534, 65534), 0);

    const ChildStatus status = RunAsNobody([&] {
        Brevora compressor;
        const TextureResult refused = CompressNamedFile(compressor, theirs);
        if (refused.failedStep != Step::Check || refused.error.value() != EACCES)
            return 1;
        // The child can rewrite a file of its own, so the refusal is about the file.
        return CompressNamedFile(compressor, mine).outcome == Outcome::Compressed ? 0 : 2;
    });

    EXPECT_TRUE(status.exitedWith(0)) << status.describe();
    EXPECT_EQ(ReadFileBytes(theirs), input);
    EXPECT_EQ(ReadFileBytes(mine), ExpectedRewrite(input));
    EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"mine.ace", "theirs.ace"}));
}
#endif

TEST(CompressTextureFile, RefusesHardLinkedFile) {
    TempDir dir;
    const Bytes input = MakeTexture(0, CompressibleBytes(800));
    WriteFileBytes(dir / "a.ace", input);
    std::filesystem::create_hard_link(dir / "a.ace", dir / "b.ace");
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, dir / "a.ace");
    EXPECT_EQ(result.error, TextureErrc::HardLinked);
    EXPECT_EQ(ReadFileBytes(dir / "a.ace"), input);
#ifndef _WIN32 // libstdc++ on mingw reports 1 link for every file
    EXPECT_EQ(std::filesystem::hard_link_count(dir / "b.ace"), 2u);
#endif
}

// A file the file system encrypts (EFS on Windows) would be replaced by one it doesn't: refused
// before anything is written. No file system here encrypts, so fstat says so for it.
TEST(CompressTextureFile, RefusesAnEncryptedFileBeforeWritingAnything) {
    TempDir dir;
    const Bytes input = MakeTexture(0, CompressibleBytes(800));
    WriteFileBytes(dir / "a.ace", input);
    auto created = std::make_shared<int>(0);
    FileOps ops = SystemFileOps();
    ops.fstat = [real = ops.fstat](int fd, FileIdentity& out) {
        const int status = real(fd, out);
        out.encrypted = true;
        return status;
    };
    ops.openAt = [real = ops.openAt, created](FolderHandle folder,
                                              const std::filesystem::path& name, int flags,
                                              unsigned mode) {
        if ((flags & O_CREAT) != 0)
            ++*created;
        return real(folder, name, flags, mode);
    };
    TextureResult result;
    {
        ScopedFileOps encrypted(std::move(ops));
        Brevora compressor;
        result = CompressNamedFile(compressor, dir / "a.ace");
    }
    EXPECT_EQ(result.error, TextureErrc::Encrypted);
    EXPECT_EQ(DescribeFailure(result, "a.ace"),
              "Could not compress a.ace: File is encrypted by the file system. The file is "
              "unchanged.");
    EXPECT_EQ(*created, 0);
    EXPECT_EQ(ReadFileBytes(dir / "a.ace"), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"a.ace"});
}

#ifndef _WIN32 // POSIX only: see the Windows section of the README
// Folders, pipes and devices fail at once; a pipe must not block the read.
TEST(CompressTextureFile, FailsCleanlyOnWhatIsNotARegularFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.ace");
    ASSERT_EQ(::mkfifo((dir / "pipe.ace").c_str(), 0644), 0);
    Brevora compressor;
    for (const std::filesystem::path& path :
         {dir / "folder.ace", dir / "pipe.ace", std::filesystem::path("/dev/zero")}) {
        const TextureResult result = CompressNamedFile(compressor, path);
        EXPECT_EQ(result.failedStep, Step::Open) << path;
        EXPECT_EQ(result.error, TextureErrc::NotRegularFile) << path;
    }
    const TextureResult missing = CompressNamedFile(compressor, dir / "missing.ace");
    EXPECT_EQ(missing.failedStep, Step::Open);
    EXPECT_EQ(missing.error, std::errc::no_such_file_or_directory);
}
#endif

#ifdef _WIN32
// Read-only is the file's read-only attribute; the refusal carries the Win32 code and the
// system's own text, not an errno number read as a Win32 code.
TEST(CompressTextureFile, RefusesReadOnlyAttributeWithTheSystemsText) {
    TempDir dir;
    const auto path = dir / "locked.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(800));
    WriteFileBytes(path, input);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::error_code error;
    ASSERT_TRUE(IsReadOnly(path, error)) << error.message();

    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);

    EXPECT_EQ(result.failedStep, Step::Check);
    EXPECT_EQ(result.error.value(), 5); // ERROR_ACCESS_DENIED
    // Windows says "Access is denied", Wine "Access denied".
    const std::string message = DescribeFailure(result, "locked.ace");
    EXPECT_TRUE(message.starts_with("Could not compress locked.ace: Error 5: Access ")) << message;
    EXPECT_TRUE(message.ends_with(" denied. The file is unchanged.")) << message;
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"locked.ace"});
}
#endif

TEST(DescribeFailure, SaysWhatWhereWhyAndTheFileState) {
    TextureResult result;
    result.path = "walls/brick.ace";
#ifndef _WIN32 // system codes there are Win32 codes with the system's own texts
    result.SetFailure(Step::Write, std::error_code(ENOSPC, std::system_category()));
    EXPECT_EQ(DescribeFailure(result),
              "Could not write the compressed copy of walls/brick.ace: Error 28: No space left "
              "on device. The original file is unchanged.");
#endif
    result.SetFailure(Step::Check, make_error_code(TextureErrc::HardLinked));
    EXPECT_EQ(DescribeFailure(result, "brick.ace"),
              "Could not compress brick.ace: File has other hard links. The file is unchanged.");
#ifdef _WIN32
    EXPECT_TRUE(DescribeError(ErrorFromErrno(ENOSPC)).starts_with("Error 112: "));
    EXPECT_TRUE(DescribeError(ErrorFromErrno(EACCES)).starts_with("Error 5: Access "));
#else
    EXPECT_EQ(DescribeError(std::error_code(EACCES, std::system_category())),
              "Error 13: Permission denied");
#endif
    result.outcome = Outcome::AlreadyCompressed;
    EXPECT_EQ(DescribeFailure(result), "");
}

#ifdef _WIN32
// The system's texts come in the user's language, accents and all, and the windows take every
// text as UTF-8, whatever the ANSI code page.
TEST(FailureText, SystemTextsAreUtf8) {
    const LANGID before = GetThreadUILanguage();
    SetThreadUILanguage(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    wchar_t wide[256] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, ERROR_ACCESS_DENIED, 0, wide, 256, nullptr);
    const std::string text = DescribeError(ErrorFromErrno(EACCES));
    SetThreadUILanguage(before);
    const std::wstring message(wide, length);
    if (std::all_of(message.begin(), message.end(), [](wchar_t c) { return c < 0x80; }))
        GTEST_SKIP() << "no system texts beyond ASCII here";
    // "Accès refusé."
    EXPECT_EQ(text, "Error 5: Acc\xc3\xa8s refus\xc3\xa9");
}
#endif

} // namespace
} // namespace quorvel::test
