// What the rewritten file carries over, and what stops a rewrite: extended attributes and the
// POSIX ACL, the group permission bits of a user who can't keep the group, the read lease
// against another program writing the file; on Windows the file attributes and the security
// descriptor, and a file another program holds open; on both, another run compressing the file
// meanwhile, a file in use retried for a while, and the temporary files a killed run leaves
// behind.

#include "Brevora.h"
#include "FailureText.h"
#include "FileContents.h"
#include "FileOps.h"
#include "LeftoverFiles.h"
#include "NamedTexture.h"
#include "SafeReplace.h"
#include "TempDir.h"
#include "TextureError.h"
#include "TextureFile.h"
#include "TextureSamples.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>
#else
#include "ChildProcess.h"

#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32 // modes, owners, extended attributes and leases are POSIX
Bytes Xattr(const fs::path& path, const char* name) {
    const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
    if (size < 0)
        return {};
    Bytes value(static_cast<std::size_t>(size));
    ::getxattr(path.c_str(), name, value.data(), value.size());
    return value;
}

void Put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The kernel's POSIX ACL xattr form: version 2, then (tag, permissions, id) entries.
Bytes AclEntries(std::initializer_list<std::array<std::uint32_t, 3>> entries) {
    Bytes out;
    Put32(out, 2);
    for (const auto& [tag, perm, id] : entries) {
        out.push_back(static_cast<std::uint8_t>(tag));
        out.push_back(static_cast<std::uint8_t>(tag >> 8));
        out.push_back(static_cast<std::uint8_t>(perm));
        out.push_back(static_cast<std::uint8_t>(perm >> 8));
        Put32(out, id);
    }
    return out;
}

TEST(RewriteAccess, CarriesExtendedAttributesAndTheAclOver) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    ::chmod(path.c_str(), 0644);
    const std::string note = "kept";
    if (::setxattr(path.c_str(), "user.note", note.data(), note.size(), 0) != 0)
        GTEST_SKIP() << "no user attributes here: " << std::strerror(errno);
    // Everyone may read it, except nobody (65534), who may do nothing.
    const Bytes acl = AclEntries(
        {{0x01, 6, ~0u}, {0x02, 0, 65534}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 4, ~0u}});
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "no POSIX ACLs here: " << std::strerror(errno);

    Brevora compressor;
    ASSERT_EQ(CompressNamedFile(compressor, path).outcome, Outcome::Compressed);
    EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
    EXPECT_EQ(Xattr(path, "user.note"), Bytes(note.begin(), note.end()));
    EXPECT_EQ(Xattr(path, "system.posix_acl_access"), acl);
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST(RewriteAccess, AnAclThatCannotBeCopiedFailsTheRewrite) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    const Bytes acl = AclEntries(
        {{0x01, 6, ~0u}, {0x02, 0, 65534}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 4, ~0u}});
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "no POSIX ACLs here: " << std::strerror(errno);
    FileOps ops = SystemFileOps();
    ops.setXattr = [](int, const char*, const void*, std::size_t) {
        errno = ENOTSUP;
        return -1;
    };
    TextureResult result;
    {
        ScopedFileOps noAcl(std::move(ops));
        Brevora compressor;
        result = CompressNamedFile(compressor, path);
    }
    EXPECT_EQ(result.failedStep, Step::CopyAttributes);
    EXPECT_NE(DescribeFailure(result).find("its extended attributes"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

// A user who may not keep the file's group gets the file in their own group, which must not
// gain the access the original's group had.
TEST(RewriteAccess, ClearsGroupBitsWhenTheGroupCannotBeKept) {
    if (auto reason = WhyPrivilegesCannotBeDropped())
        GTEST_SKIP() << *reason;
    TempDir dir;
    const auto folder = dir / "theirs";
    fs::create_directory(folder);
    const auto path = folder / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    // nobody's file and folder; the file's group is root's, which nobody isn't in.
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(path.c_str(), 65534, 0), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);

    const ChildStatus status = RunAsNobody([&] {
        Brevora compressor;
        return CompressNamedFile(compressor, path).outcome == Outcome::Compressed ? 0 : 2;
    });
    ASSERT_TRUE(status.exitedWith(0)) << status.describe();
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
    EXPECT_NE(info.st_gid, 0u);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
}

bool LeasesWork(const fs::path& folder) {
    const auto probe = folder / "lease-probe";
    WriteFileBytes(probe, Bytes{1});
    const int fd = ::open(probe.c_str(), O_RDONLY);
    const bool granted = ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
    ::close(fd);
    fs::remove(probe);
    return granted;
}

TEST(RewriteAccess, AFileOpenForWritingIsInUseAndLeftAlone) {
    TempDir dir;
    if (!LeasesWork(dir.path()))
        GTEST_SKIP() << "no read leases here";
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);
    ::close(writer);
    EXPECT_EQ(result.failedStep, Step::Check);
    EXPECT_EQ(result.error, TextureErrc::InUse);
    EXPECT_NE(DescribeFailure(result).find("in use by another program"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(path), input);
}

// A program that starts writing while the file is being compressed breaks the lease: it gets
// the file at once, and the rewrite leaves its work alone.
TEST(RewriteAccess, AWriterArrivingMeanwhileBreaksTheLeaseAndKeepsItsData) {
    TempDir dir;
    if (!LeasesWork(dir.path()))
        GTEST_SKIP() << "no read leases here";
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    Brevora compressor;
    TextureRewrite rewrite = NamedRewrite(path);
    rewrite.Prepare(BrevoraCompressor(compressor));
    ASSERT_TRUE(rewrite.leased());
    rewrite.Stage();
    ASSERT_TRUE(rewrite.staged());

    // The writer asks without waiting: the first open starts the break, and the lease is given
    // up as soon as the signal is handled, so a retry gets through at once.
    const auto start = std::chrono::steady_clock::now();
    int writer = -1;
    while ((writer = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK)) < 0 &&
           errno == EWOULDBLOCK &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(writer, 0) << std::strerror(errno);
    const std::uint8_t more[] = {1, 2, 3};
    ASSERT_EQ(::write(writer, more, sizeof more), 3);
    ::close(writer);

    EXPECT_FALSE(rewrite.Commit());
    EXPECT_EQ(rewrite.result().error, TextureErrc::InUse);
    Bytes expected = input;
    expected.insert(expected.end(), std::begin(more), std::end(more));
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

#endif // _WIN32

TEST(RewriteAccess, SaysSoWhenAnotherRunCompressedTheFileMeanwhile) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    Brevora compressor;
    TextureRewrite rewrite = NamedRewrite(path);
    rewrite.Prepare(BrevoraCompressor(compressor));
    rewrite.Stage();
    ASSERT_TRUE(rewrite.staged());
    Brevora other;
    ASSERT_EQ(CompressNamedFile(other, path).outcome, Outcome::Compressed);

    EXPECT_FALSE(rewrite.Commit());
    EXPECT_EQ(rewrite.result().error, TextureErrc::CompressedMeanwhile);
    const std::string message = DescribeFailure(rewrite.result());
    EXPECT_EQ(message.find("unchanged"), std::string::npos) << message;
    EXPECT_NE(message.find("compressed it meanwhile"), std::string::npos) << message;
    EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
}

TEST(LeftoverTemporaryFiles, KnowsOurExactNameForm) {
    EXPECT_TRUE(IsTemporaryFileName(".brick.ace.quorvel-tmp-aZ09xY"));
    EXPECT_TRUE(IsTemporaryFileName(".x.quorvel-tmp-AAAAAA"));
    EXPECT_FALSE(IsTemporaryFileName(".quorvel-tmp-AAAAAA"));            // no name
    EXPECT_FALSE(IsTemporaryFileName("brick.ace.quorvel-tmp-aZ09xY"));   // not hidden
    EXPECT_FALSE(IsTemporaryFileName(".brick.ace.quorvel-tmp-aZ09x"));   // short suffix
    EXPECT_FALSE(IsTemporaryFileName(".brick.ace.quorvel-tmp-aZ09x_"));  // not a letter
    EXPECT_FALSE(IsTemporaryFileName(".brick.ace.quorvel-tmp-aZ09xYZ")); // long suffix
}

#ifndef _WIN32 // file times set through utimensat, symbolic links
void MakeOld(const fs::path& path, int ageSeconds) {
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= ageSeconds;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

TEST(LeftoverTemporaryFiles, OnlyOldRegularFilesOfOurExactNameFormGo) {
    TempDir dir;
    const auto old = dir / ".a.ace.quorvel-tmp-AbCdEf";
    const auto fresh = dir / ".b.ace.quorvel-tmp-AbCdEf";
    const auto link = dir / ".c.ace.quorvel-tmp-AbCdEf";
    const auto other = dir / ".d.ace.quorvel-tmp-AbCdE";
    for (const auto& file : {old, fresh, other})
        WriteFileBytes(file, Bytes{1});
    fs::create_symlink(dir / "elsewhere", link);
    MakeOld(old, kLeftoverAgeSeconds + 60);
    MakeOld(other, kLeftoverAgeSeconds + 60);
    MakeOld(link, kLeftoverAgeSeconds + 60);
    MakeOld(fresh, kLeftoverAgeSeconds - 60);

    std::error_code error;
    const SharedFolder folder = OpenFolderPath(dir.path(), error);
    ASSERT_FALSE(error);
    auto remove = [&](const fs::path& file) {
        return RemoveLeftoverTemporaryFile(*folder, file.filename(), error);
    };
    EXPECT_EQ(remove(old), Outcome::LeftoverRemoved);
    EXPECT_EQ(remove(fresh), Outcome::LeftoverKept);
    EXPECT_EQ(remove(link), Outcome::NotLeftover);
    EXPECT_EQ(remove(other), Outcome::NotLeftover);
    EXPECT_EQ(ListFolder(dir.path()),
              (std::vector<std::string>{".b.ace.quorvel-tmp-AbCdEf", ".c.ace.quorvel-tmp-AbCdEf",
                                        ".d.ace.quorvel-tmp-AbCdE"}));

    const auto stuck = dir / ".e.ace.quorvel-tmp-AbCdEf";
    WriteFileBytes(stuck, Bytes{1});
    MakeOld(stuck, kLeftoverAgeSeconds + 60);
    FileOps ops = SystemFileOps();
    ops.unlinkAt = [](FolderHandle, const fs::path&, int) {
        errno = EROFS;
        return -1;
    };
    ScopedFileOps failing(std::move(ops));
    EXPECT_EQ(remove(stuck), Outcome::WalkFailed);
    EXPECT_EQ(error, std::error_code(EROFS, std::system_category()));
}
#endif // _WIN32

// A waitWhileInUse that never sleeps: counts its calls and allows `retries` retries.
FileOps QuickRetries(FileOps ops, std::shared_ptr<int> waits, int retries = 3) {
    ops.waitWhileInUse = [waits, retries](int attempt) {
        ++*waits;
        return attempt <= retries;
    };
    return ops;
}

FileOps WithoutLeases(FileOps ops) {
    ops.setLease = [](int, bool) {
        errno = EINVAL;
        return -1;
    };
    return ops;
}

struct InUseCase {
    int refusals; // how many calls are refused as in use before one goes through
    Outcome outcome;
    int waits;
};

// A file held open by another program (an indexer, a virus scanner) is tried again for a while;
// once the retries are used up it is reported in use and left as it is.
TEST(InUse, AReplaceRefusedAsInUseIsRetriedThenReported) {
    for (const InUseCase& in :
         {InUseCase{2, Outcome::Compressed, 2}, InUseCase{100, Outcome::Failed, 4}}) {
        SCOPED_TRACE(in.refusals);
        TempDir dir;
        const auto path = dir / "brick.ace";
        const Bytes input = MakeTexture(0, CompressibleBytes(5000));
        WriteFileBytes(path, input);
        auto waits = std::make_shared<int>(0);
        FileOps ops = QuickRetries(SystemFileOps(), waits);
        auto refusals = std::make_shared<int>(in.refusals);
        ops.renameAt = [real = ops.renameAt, refusals](FolderHandle folder, const fs::path& from,
                                                       const fs::path& to, int fd) {
            if ((*refusals)-- > 0) {
                errno = EBUSY;
                return -1;
            }
            return real(folder, from, to, fd);
        };
        TextureResult result;
        {
            ScopedFileOps held(std::move(ops));
            Brevora compressor;
            result = CompressNamedFile(compressor, path);
        }
        EXPECT_EQ(result.outcome, in.outcome) << DescribeFailure(result);
        EXPECT_EQ(*waits, in.waits);
        EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
        if (in.outcome == Outcome::Compressed) {
            EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
            continue;
        }
        EXPECT_EQ(result.failedStep, Step::Replace);
        EXPECT_EQ(result.error, TextureErrc::InUse);
        EXPECT_NE(DescribeFailure(result).find("in use by another program"), std::string::npos)
            << DescribeFailure(result);
        EXPECT_EQ(ReadFileBytes(path), input);
    }
}

TEST(InUse, AnOriginalThatCannotBeOpenedIsRetriedThenReported) {
    for (const InUseCase& in :
         {InUseCase{1, Outcome::Compressed, 1}, InUseCase{100, Outcome::Failed, 4}}) {
        SCOPED_TRACE(in.refusals);
        TempDir dir;
        const auto path = dir / "brick.ace";
        const Bytes input = MakeTexture(0, CompressibleBytes(5000));
        WriteFileBytes(path, input);
        auto waits = std::make_shared<int>(0);
        FileOps ops = QuickRetries(SystemFileOps(), waits);
        auto refusals = std::make_shared<int>(in.refusals);
        ops.openAt = [real = ops.openAt, refusals](FolderHandle folder, const fs::path& name,
                                                   int flags, unsigned mode) {
            if (name == "brick.ace" && (*refusals)-- > 0) {
                errno = EBUSY;
                return -1;
            }
            return real(folder, name, flags, mode);
        };
        TextureResult result;
        {
            ScopedFileOps held(std::move(ops));
            Brevora compressor;
            result = CompressNamedFile(compressor, path);
        }
        EXPECT_EQ(result.outcome, in.outcome) << DescribeFailure(result);
        EXPECT_EQ(*waits, in.waits);
        if (in.outcome == Outcome::Compressed)
            continue;
        EXPECT_EQ(result.failedStep, Step::Open);
        EXPECT_EQ(result.error, TextureErrc::InUse);
        EXPECT_EQ(DescribeFailure(result, "brick.ace"),
                  "Could not open brick.ace: File is in use by another program. The file is "
                  "unchanged.");
        EXPECT_EQ(ReadFileBytes(path), input);
    }
}

// The program that held the file may have written it before letting go: every retry checks
// the file anew, and its work wins.
TEST(InUse, TheFileIsCheckedAgainBeforeEachRetry) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    WriteFileBytes(path, MakeTexture(0, CompressibleBytes(5000)));
    const Bytes edited = MakeTexture(0, CompressibleBytes(5001));
    auto waits = std::make_shared<int>(0);
    FileOps ops = WithoutLeases(QuickRetries(SystemFileOps(), waits));
    auto first = std::make_shared<bool>(true);
    ops.renameAt = [real = ops.renameAt, first, path,
                    edited](FolderHandle folder, const fs::path& from, const fs::path& to, int fd) {
        if (std::exchange(*first, false)) {
            WriteFileBytes(path, edited);
            errno = EBUSY;
            return -1;
        }
        return real(folder, from, to, fd);
    };
    TextureResult result;
    {
        ScopedFileOps held(std::move(ops));
        Brevora compressor;
        result = CompressNamedFile(compressor, path);
    }
    EXPECT_EQ(result.failedStep, Step::Replace);
    EXPECT_EQ(result.error, TextureErrc::FileChanged);
    EXPECT_EQ(ReadFileBytes(path), edited);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

#ifdef _WIN32
std::wstring DaclText(const fs::path& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"(none)";
    LPWSTR text = nullptr;
    std::wstring out = L"(none)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        out = text;
    LocalFree(text);
    LocalFree(descriptor);
    return out;
}

bool SetProtectedDacl(const fs::path& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::wstring name = path.native();
    const DWORD code =
        SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return code == ERROR_SUCCESS;
}

TEST(WindowsRewrite, KeepsTheSecurityDescriptor) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    const std::wstring before = DaclText(path);
    // Everyone may do anything, guests only read: nothing a new file would get by itself.
    if (!SetProtectedDacl(path, L"D:P(A;;FA;;;WD)(A;;FR;;;BG)") || DaclText(path) == before)
        GTEST_SKIP() << "security descriptors are not kept on this file system";
    const std::wstring set = DaclText(path);

    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);
    ASSERT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
    EXPECT_EQ(DaclText(path), set);
}

TEST(WindowsRewrite, KeepsTheFileAttributes) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), kKept));
    if ((GetFileAttributesW(path.c_str()) & kKept) != kKept)
        GTEST_SKIP() << "file attributes are not kept on this file system";

    Brevora compressor;
    const TextureResult result = CompressNamedFile(compressor, path);
    ASSERT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
    const DWORD attributes = GetFileAttributesW(path.c_str());
    EXPECT_EQ(attributes & kKept, kKept);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Windows won't replace a file that is open, even by us: the original is closed before the
// rename, and its name checked for the very file that was read after that, just before it.
TEST(WindowsRewrite, ClosesTheOriginalAndChecksItAgainBeforeTheRename) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    auto events = std::make_shared<std::vector<std::string>>();
    auto original = std::make_shared<int>(-1);
    FileOps ops = SystemFileOps();
    ops.openAt = [real = ops.openAt, original](FolderHandle folder, const fs::path& name, int flags,
                                               unsigned mode) {
        const int fd = real(folder, name, flags, mode);
        if (name == "brick.ace" && *original == -1)
            *original = fd;
        return fd;
    };
    ops.close = [real = ops.close, original, events](int fd) {
        if (fd == *original) {
            events->push_back("close original");
            *original = -2;
        }
        return real(fd);
    };
    ops.statAt = [real = ops.statAt, events](FolderHandle folder, const fs::path& name, bool follow,
                                             FileIdentity& out) {
        if (name == "brick.ace")
            events->push_back("check original");
        return real(folder, name, follow, out);
    };
    ops.renameAt = [real = ops.renameAt, events](FolderHandle folder, const fs::path& from,
                                                 const fs::path& to, int fd) {
        events->push_back("rename");
        return real(folder, from, to, fd);
    };
    TextureResult result;
    {
        ScopedFileOps recorded(std::move(ops));
        Brevora compressor;
        result = CompressNamedFile(compressor, path);
    }
    ASSERT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
    const auto closed = std::find(events->begin(), events->end(), "close original");
    ASSERT_NE(closed, events->end());
    EXPECT_EQ(std::vector<std::string>(closed + 1, events->end()),
              (std::vector<std::string>{"check original", "rename"}));
}

// Another program's handle: opened sharing nothing, it keeps us from reading the file at all;
// opened sharing reading but not deleting (a scanner), it lets us read but not replace.
struct Holder {
    HANDLE handle;
    Holder(const fs::path& path, DWORD share)
        : handle(
              CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~Holder() { close(); }
    void close() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(std::exchange(handle, INVALID_HANDLE_VALUE));
    }
};

TEST(WindowsRewrite, AFileOpenUnsharedIsInUseAndLeftAlone) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    Holder holder(path, 0);
    ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
    auto waits = std::make_shared<int>(0);
    TextureResult result;
    {
        ScopedFileOps quick(QuickRetries(SystemFileOps(), waits));
        Brevora compressor;
        result = CompressNamedFile(compressor, path);
    }
    holder.close();
    EXPECT_EQ(result.failedStep, Step::Open);
    EXPECT_EQ(result.error, TextureErrc::InUse);
    EXPECT_EQ(*waits, 4);
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}

TEST(WindowsRewrite, AReaderNotSharingDeleteHoldsTheReplaceBack) {
    for (const bool letsGo : {true, false}) {
        SCOPED_TRACE(letsGo);
        TempDir dir;
        const auto path = dir / "brick.ace";
        const Bytes input = MakeTexture(0, CompressibleBytes(5000));
        WriteFileBytes(path, input);
        auto holder = std::make_shared<Holder>(path, FILE_SHARE_READ);
        ASSERT_NE(holder->handle, INVALID_HANDLE_VALUE);
        auto waits = std::make_shared<int>(0);
        FileOps ops = QuickRetries(SystemFileOps(), waits);
        if (letsGo) {
            ops.waitWhileInUse = [waits, holder](int attempt) {
                ++*waits;
                if (attempt == 2)
                    holder->close();
                return attempt <= 3;
            };
        }
        TextureResult result;
        {
            ScopedFileOps quick(std::move(ops));
            Brevora compressor;
            result = CompressNamedFile(compressor, path);
        }
        holder->close();
        EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
        if (letsGo) {
            EXPECT_EQ(result.outcome, Outcome::Compressed) << DescribeFailure(result);
            EXPECT_EQ(*waits, 2);
            EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
            continue;
        }
        EXPECT_EQ(result.failedStep, Step::Replace);
        EXPECT_EQ(result.error, TextureErrc::InUse) << DescribeFailure(result);
        EXPECT_EQ(*waits, 4);
        EXPECT_EQ(ReadFileBytes(path), input);
    }
}
// Whether a rename through a handle moves the file the handle is open on even after that file
// was renamed by another handle. Wine renames the name the handle was opened under instead.
bool RenamesThroughTheHandle(const fs::path& dir) {
    const fs::path first = dir / "probe-1";
    WriteFileBytes(first, Bytes{1});
    const HANDLE handle = CreateFileW(first.c_str(), DELETE | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    std::error_code error;
    fs::rename(first, dir / "probe-2", error);
    const std::wstring target = (dir / "probe-3").native();
    std::vector<std::uint64_t> buffer(
        (sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t)) / 8 + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.data(), info->FileNameLength);
    const bool renamed =
        !error && SetFileInformationByHandle(handle, FileRenameInfo, info,
                                             static_cast<DWORD>(buffer.size() * 8));
    CloseHandle(handle);
    const bool moved = renamed && fs::exists(dir / "probe-3") && !fs::exists(dir / "probe-2");
    for (const char* name : {"probe-1", "probe-2", "probe-3"})
        fs::remove(dir / name, error);
    return moved;
}

// Someone who may delete in the folder moves the temporary file aside between the write and
// the rename and puts a file of their own under its name: the rename, or the removal on a
// failure, acts on the file that was written, through its own handle, never on the name.
TEST(WindowsRewrite, RenamesAndRemovesTheTemporaryFileThroughItsOwnHandle) {
    {
        TempDir probe;
        if (!RenamesThroughTheHandle(probe.path()))
            GTEST_SKIP() << "this system renames a file by the name its handle was opened under";
    }
    for (const bool commit : {true, false}) {
        SCOPED_TRACE(commit);
        TempDir dir;
        const auto path = dir / "brick.ace";
        const Bytes input = MakeTexture(0, CompressibleBytes(5000));
        WriteFileBytes(path, input);
        Brevora compressor;
        TextureRewrite rewrite = NamedRewrite(path);
        rewrite.Prepare(BrevoraCompressor(compressor));
        ASSERT_EQ(rewrite.result().outcome, Outcome::Compressed);
        rewrite.Stage();
        ASSERT_TRUE(rewrite.staged()) << DescribeFailure(rewrite.result());
        const fs::path temporary = dir / rewrite.temporaryName();
        std::error_code error;
        fs::rename(temporary, dir / "aside.bin", error);
        ASSERT_FALSE(error) << error.message();
        const Bytes impostor{'n', 'o', 't', ' ', 'o', 'u', 'r', 's'};
        WriteFileBytes(temporary, impostor);

        if (commit) {
            EXPECT_TRUE(rewrite.Commit()) << DescribeFailure(rewrite.result());
            EXPECT_EQ(ReadFileBytes(path), ExpectedRewrite(input));
        } else {
            rewrite.Abandon();
            EXPECT_EQ(ReadFileBytes(path), input);
        }
        EXPECT_FALSE(fs::exists(dir / "aside.bin"));
        EXPECT_EQ(ReadFileBytes(temporary), impostor);
    }
}

// A change of the original's attributes alone (no write, same size) between the read and the
// rename is a change: the change time tells.
TEST(WindowsRewrite, AnAttributeChangeBeforeTheRenameIsNoticed) {
    TempDir dir;
    const auto path = dir / "brick.ace";
    const Bytes input = MakeTexture(0, CompressibleBytes(5000));
    WriteFileBytes(path, input);
    Brevora compressor;
    TextureRewrite rewrite = NamedRewrite(path);
    rewrite.Prepare(BrevoraCompressor(compressor));
    ASSERT_EQ(rewrite.result().outcome, Outcome::Compressed);
    EXPECT_NE(rewrite.original().changedNs, 0);
    rewrite.Stage();
    ASSERT_TRUE(rewrite.staged()) << DescribeFailure(rewrite.result());

    // Past the file system's clock step, so the change time moves.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(rewrite.Commit());
    EXPECT_EQ(rewrite.result().error, TextureErrc::FileChanged)
        << DescribeFailure(rewrite.result());
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    rewrite.Abandon();
    EXPECT_EQ(ReadFileBytes(path), input);
    EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"brick.ace"});
}
#endif // _WIN32

} // namespace
} // namespace quorvel::test
