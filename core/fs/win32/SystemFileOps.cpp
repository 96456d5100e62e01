// The real file calls on Windows.
//
// A name in a folder is opened relative to the folder's open handle (OpenInFolder, NtCreateFile
// with the folder as root directory), without following a reparse point
// (FILE_OPEN_REPARSE_POINT), and refused when it is one; everything after that (identity,
// reading, writing, renaming, deleting) goes through the handle. No path is resolved again.
// Windows has no extended attributes of the POSIX kind and no read leases: those calls fail as
// on a file system without them. What a rewritten file keeps instead is the original's file
// attributes and security descriptor (copyFileAttributes, copySecurity).
//
// A path from the command line is made absolute and put in the long-path form ("\\?\C:\...")
// before it is handed to the system, so no path-length limit applies.

#include "FileOps.h"
#include "WindowsFiles.h"

#include <aclapi.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <windows.h>
#include <winternl.h>

namespace quorvel {

int ErrnoFromWin32(unsigned long code) noexcept {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    default:
        return EIO;
    }
}

std::filesystem::path LongPathForm(const std::filesystem::path& path) {
    const std::wstring& text = path.native();
    if (text.starts_with(L"\\\\?\\") || text.starts_with(L"\\\\.\\"))
        return path;
    if (text.empty()) {
        errno = ENOENT;
        return {};
    }
    // Makes the path absolute, turns '/' into '\' and takes out "." and "..", none of which
    // the long-path form does.
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(text.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            errno = ErrnoFromWin32(GetLastError());
            return {};
        }
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length); // too small: the length needed, terminating zero included
    }
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
        return full;
    if (full.starts_with(L"\\\\")) // \\server\share\...
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What a new file of ours is opened with besides reading and writing, so that it can be given
// the original's security descriptor (we are its owner, so this is always granted).
constexpr DWORD kSecurityAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER;
// A new file of ours is also opened for deleting, so that it is renamed over the original or
// removed through the very handle it was written through, whatever its security descriptor
// says by then (access is checked when a handle is opened, never afterwards).
constexpr DWORD kNewFileAccess = DELETE | SYNCHRONIZE;
// The file attributes a rewritten file keeps. Read-only is never among them (such files are
// refused), nor what describes the content rather than the file (compressed, encrypted, sparse,
// offline: the new content is written plainly and is all here).
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                     FILE_ATTRIBUTE_TEMPORARY;
// Seconds between 1601-01-01, where file times count from, and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11'644'473'600;

int Fail(DWORD code) {
    errno = ErrnoFromWin32(code);
    return -1;
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

std::int64_t Nanoseconds(std::int64_t ticks) {
    return (ticks - kEpochDifference * 10'000'000) * 100;
}

std::int64_t Nanoseconds(const FILETIME& time) {
    return Nanoseconds(
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime));
}

// The identity from the handle: volume serial number and file ID, size, the write time to the
// 100 ns the file system keeps, the change time (set by any change of content, attributes or
// security descriptor, so a new ACL on the original is noticed too), link count. Read-only is
// the read-only attribute; a reparse point is neither a regular file nor a folder, so nothing
// acts on it.
int Identify(HANDLE handle, FileIdentity& out) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return Fail(GetLastError());
    out = {};
    // 0 where the file system keeps no change time (FAT).
    if (basic.ChangeTime.QuadPart != 0)
        out.changedNs = Nanoseconds(basic.ChangeTime.QuadPart);
    out.device = info.dwVolumeSerialNumber;
    out.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    out.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    out.modifiedNs = Nanoseconds(info.ftLastWriteTime);
    const bool readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    const unsigned permissions = readOnly ? 0444u : 0666u;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        out.mode = permissions;
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        out.mode = S_IFDIR | permissions | 0111u;
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0)
        out.mode = permissions;
    else
        out.mode = S_IFREG | permissions;
    out.links = info.nNumberOfLinks;
    out.encrypted = (info.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    return 0;
}

ULONG NtDisposition(DWORD disposition) {
    switch (disposition) {
    case CREATE_NEW:
        return FILE_CREATE;
    case CREATE_ALWAYS:
        return FILE_OVERWRITE_IF;
    case OPEN_ALWAYS:
        return FILE_OPEN_IF;
    case TRUNCATE_EXISTING:
        return FILE_OVERWRITE;
    default:
        return FILE_OPEN;
    }
}

// Opens `name` in `folder`, relative to the folder's handle, never through a reparse point: the
// point itself is opened and refused with ELOOP. Without a folder, `name` is a path and links
// are followed (the user named it).
HANDLE OpenHandle(FolderHandle folder, const std::filesystem::path& name, DWORD access,
                  DWORD disposition, DWORD share = kShareAll) {
    if (folder == kNoFolder) {
        const std::filesystem::path path = LongPathForm(name);
        if (path.empty())
            return INVALID_HANDLE_VALUE;
        const HANDLE handle = CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            Fail(GetLastError());
        return handle;
    }
    const HANDLE handle = OpenInFolder(folder, name, access, share, NtDisposition(disposition),
                                       FILE_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    BY_HANDLE_FILE_INFORMATION info;
    int code = 0;
    if (!GetFileInformationByHandle(handle, &info))
        code = ErrnoFromWin32(GetLastError());
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        code = ELOOP;
    if (code == 0)
        return handle;
    // A file this call made is not left behind for a failure the caller never sees the file of.
    // Should that fail too, the file left behind is what the caller hears of.
    if (disposition == CREATE_NEW) {
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        if (!SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose))
            code = ErrnoFromWin32(GetLastError());
    }
    CloseHandle(handle);
    errno = code;
    return INVALID_HANDLE_VALUE;
}

int RealOpenAt(FolderHandle folder, const std::filesystem::path& name, int flags, unsigned) {
    const int accessMode = flags & (_O_RDONLY | _O_WRONLY | _O_RDWR);
    DWORD access = GENERIC_READ;
    if (accessMode == _O_WRONLY)
        access = GENERIC_WRITE;
    else if (accessMode == _O_RDWR)
        access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & _O_CREAT) != 0) {
        if ((flags & _O_EXCL) != 0)
            disposition = CREATE_NEW;
        else if ((flags & _O_TRUNC) != 0)
            disposition = CREATE_ALWAYS;
        else
            disposition = OPEN_ALWAYS;
    } else if ((flags & _O_TRUNC) != 0) {
        disposition = TRUNCATE_EXISTING;
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (disposition == CREATE_NEW) {
        handle = OpenHandle(folder, name, access | kNewFileAccess | kSecurityAccess, disposition);
        // Where a file system or share grants no such rights, the file goes without them and
        // copySecurity then fails unless there is nothing to copy.
        if (handle == INVALID_HANDLE_VALUE && errno == EACCES)
            handle = OpenHandle(folder, name, access | kNewFileAccess, disposition);
    } else {
        handle = OpenHandle(folder, name, access, disposition);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), accessMode | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
        return -1;
    }
    return fd;
}

// Like pread: at `offset`, without depending on a shared file position.
std::int64_t RealReadAt(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xffffffffu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD read = 0;
    if (!ReadFile(HandleOf(fd), buffer, chunk, &read, &at)) {
        const DWORD code = GetLastError();
        return code == ERROR_HANDLE_EOF ? 0 : Fail(code);
    }
    return read;
}

std::int64_t RealWrite(int fd, const void* buffer, std::size_t count) {
    const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(HandleOf(fd), buffer, chunk, &written, nullptr))
        return Fail(GetLastError());
    return written;
}

// Whether some program holds `path` open: an open asking to share nothing fails with a sharing
// violation then. Only asked after a refused replace, whose Access Denied says the same of a
// file open with FILE_SHARE_DELETE as of a file we may not replace.
bool HeldOpen(FolderHandle folder, const std::filesystem::path& name) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (folder == kNoFolder) {
        const std::filesystem::path path = LongPathForm(name);
        handle = CreateFileW(path.c_str(), FILE_READ_DATA, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            errno = ErrnoFromWin32(GetLastError());
    } else {
        handle = OpenInFolder(folder, name, FILE_READ_DATA, 0, FILE_OPEN, FILE_OPEN_REPARSE_POINT);
    }
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    return errno == EBUSY; // a sharing or lock violation
}

// Windows won't replace a file that any program holds open: that fails with EBUSY (the caller
// retries for a while, FileOps::waitWhileInUse), anything else with its own code. Only the
// target being open stops the rename: the handle it is made through is open on the source.
//
// In a folder, the file is renamed through `fromFd`, a handle of ours opened with DELETE on the
// very file that was written (without one, the name is opened as itself, never through a
// reparse point), to the new name relative to the folder's handle: the new name can't end up
// anywhere but in the open folder, whatever its path names by then.
int RealRenameAt(FolderHandle folder, const std::filesystem::path& from,
                 const std::filesystem::path& to, int fromFd) {
    if (folder == kNoFolder) {
        const std::filesystem::path source = LongPathForm(from);
        const std::filesystem::path target = LongPathForm(to);
        if (source.empty() || target.empty())
            return -1;
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        const DWORD code = GetLastError();
        if (code == ERROR_ACCESS_DENIED && HeldOpen(folder, to)) {
            errno = EBUSY;
            return -1;
        }
        return Fail(code);
    }
    const bool opened = fromFd < 0;
    const HANDLE source =
        opened ? OpenHandle(folder, from, DELETE | SYNCHRONIZE, OPEN_EXISTING) : HandleOf(fromFd);
    if (source == INVALID_HANDLE_VALUE) {
        if (!opened)
            errno = EBADF;
        return -1;
    }
    const std::wstring& name = to.native();
    const std::size_t nameBytes = name.size() * sizeof(wchar_t);
    // Straight to the system call: the Win32 wrapper (SetFileInformationByHandle) of some
    // systems takes the name for a path of its own and drops the folder.
    std::vector<std::uint64_t> buffer((sizeof(FILE_RENAME_INFORMATION) + nameBytes) / 8 + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = folder;
    info->FileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(info->FileName, name.data(), nameBytes);
    IO_STATUS_BLOCK status{};
    const NTSTATUS result =
        NtSetInformationFile(source, &status, info, static_cast<ULONG>(buffer.size() * 8),
                             static_cast<FILE_INFORMATION_CLASS>(FileRenameInformation));
    if (opened)
        CloseHandle(source);
    if (result >= 0)
        return 0;
    const DWORD code = RtlNtStatusToDosError(result);
    if (code == ERROR_ACCESS_DENIED && HeldOpen(folder, to)) {
        errno = EBUSY;
        return -1;
    }
    return Fail(code);
}

// Marks the file open as `handle` for deletion: it goes when its last handle is closed.
int DeleteThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose)
               ? 0
               : Fail(GetLastError());
}

int RealUnlinkAt(FolderHandle folder, const std::filesystem::path& name, int fd) {
    // A file of ours, through the handle it was written through; the caller closes it.
    if (fd >= 0) {
        const HANDLE handle = HandleOf(fd);
        if (handle == INVALID_HANDLE_VALUE) {
            errno = EBADF;
            return -1;
        }
        return DeleteThrough(handle);
    }
    if (folder == kNoFolder) {
        const std::filesystem::path path = LongPathForm(name);
        if (path.empty())
            return -1;
        return DeleteFileW(path.c_str()) ? 0 : Fail(GetLastError());
    }
    // The name itself (a link as a link), marked for deletion through its handle.
    const HANDLE handle = OpenInFolder(folder, name, DELETE, kShareAll, FILE_OPEN,
                                       FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int status = DeleteThrough(handle);
    const int code = errno;
    CloseHandle(handle);
    errno = code;
    return status;
}

// The name's own attributes handle, a link as itself unless `followLinks`.
HANDLE AttributesHandle(FolderHandle folder, const std::filesystem::path& name, bool followLinks) {
    if (folder == kNoFolder) {
        const std::filesystem::path path = LongPathForm(name);
        if (path.empty())
            return INVALID_HANDLE_VALUE;
        const DWORD flags =
            FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
        const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                          OPEN_EXISTING, flags, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            Fail(GetLastError());
        return handle;
    }
    return OpenInFolder(folder, name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                        FILE_OPEN_FOR_BACKUP_INTENT | (followLinks ? 0 : FILE_OPEN_REPARSE_POINT));
}

int RealStatAt(FolderHandle folder, const std::filesystem::path& name, bool followLinks,
               FileIdentity& out) {
    const HANDLE handle = AttributesHandle(folder, name, followLinks);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int status = Identify(handle, out);
    CloseHandle(handle);
    return status;
}

int RealCheckWritable(FolderHandle folder, const std::filesystem::path& name) {
    const HANDLE handle = AttributesHandle(folder, name, false);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL known = GetFileInformationByHandle(handle, &info);
    const DWORD code = GetLastError();
    CloseHandle(handle);
    if (!known)
        return Fail(code);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int NotSupported() {
    errno = ENOTSUP;
    return -1;
}

int RealCopyFileAttributes(int source, int target) {
    FILE_BASIC_INFO from{};
    if (!GetFileInformationByHandleEx(HandleOf(source), FileBasicInfo, &from, sizeof from))
        return Fail(GetLastError());
    // Times of 0 are left as they are; attributes of 0 too, so "none" is said as NORMAL.
    FILE_BASIC_INFO to{};
    to.CreationTime = from.CreationTime;
    to.FileAttributes = from.FileAttributes & kCarriedAttributes;
    if (to.FileAttributes == 0)
        to.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(HandleOf(target), FileBasicInfo, &to, sizeof to))
        return Fail(GetLastError());
    return 0;
}

struct LocalFreer {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// A handle to the same file with ACCESS_SYSTEM_SECURITY, or null: only a process holding the
// security privilege (enabled) may read or set a SACL.
struct HandleCloser {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

OwnedHandle AuditHandle(HANDLE file) {
    const HANDLE handle = ReOpenFile(file, ACCESS_SYSTEM_SECURITY, kShareAll, 0);
    return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

bool IsOwnerRefusal(DWORD code) {
    return code == ERROR_INVALID_OWNER || code == ERROR_INVALID_PRIMARY_GROUP ||
           code == ERROR_ACCESS_DENIED || code == ERROR_PRIVILEGE_NOT_HELD;
}

// The SACL, where both files can be reached with ACCESS_SYSTEM_SECURITY and the original has
// one: a privileged process keeps the original's auditing; nobody else can read it.
int CopyAuditing(HANDLE from, HANDLE to) {
    const OwnedHandle auditFrom = AuditHandle(from);
    if (!auditFrom)
        return 0;
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(auditFrom.get(), SE_FILE_OBJECT, SACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, &sacl, &raw) != ERROR_SUCCESS)
        return 0;
    const LocalMemory descriptor(raw);
    if (sacl == nullptr || sacl->AceCount == 0)
        return 0;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor.get(), &control, &revision);
    const OwnedHandle auditTo = AuditHandle(to);
    if (!auditTo)
        return Fail(GetLastError());
    const SECURITY_INFORMATION what =
        SACL_SECURITY_INFORMATION |
        ((control & SE_SACL_PROTECTED) != 0 ? PROTECTED_SACL_SECURITY_INFORMATION
                                            : UNPROTECTED_SACL_SECURITY_INFORMATION);
    const DWORD code =
        SetSecurityInfo(auditTo.get(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, sacl);
    return code == ERROR_SUCCESS ? 0 : Fail(code);
}

int RealCopySecurity(int source, int target) {
    const HANDLE from = HandleOf(source);
    const HANDLE to = HandleOf(target);
    PSID owner = nullptr;
    PSID group = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    DWORD code = GetSecurityInfo(from, SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION,
                                 &owner, &group, &dacl, nullptr, &raw);
    if (code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED)
        return 0; // a file system without security descriptors (FAT)
    if (code != ERROR_SUCCESS)
        return Fail(code);
    const LocalMemory descriptor(raw);

    // Only a privileged process may give a file away: the file is then ours, with
    // the original's group where we may set that.
    code =
        SetSecurityInfo(to, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                        owner, group, nullptr, nullptr);
    if (code != ERROR_SUCCESS && !IsOwnerRefusal(code))
        return Fail(code);
    if (code != ERROR_SUCCESS) {
        code = SetSecurityInfo(to, SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION, nullptr, group,
                               nullptr, nullptr);
        if (code != ERROR_SUCCESS && !IsOwnerRefusal(code))
            return Fail(code);
    }

    // The DACL as the original has it; an unprotected one keeps inheriting from the folder, as
    // the original's did.
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor.get(), &control, &revision))
        return Fail(GetLastError());
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    code = SetSecurityInfo(to, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
    if (code != ERROR_SUCCESS)
        return Fail(code);
    return CopyAuditing(from, to);
}

} // namespace

FileOps MakeSystemFileOps() {
    FileOps ops;
    ops.openAt = RealOpenAt;
    ops.close = [](int fd) { return _close(fd); };
    ops.readAt = RealReadAt;
    ops.write = RealWrite;
    ops.fsync = [](int fd) { return FlushFileBuffers(HandleOf(fd)) ? 0 : Fail(GetLastError()); };
    ops.syncfs = [](int) {
        errno = ENOSYS;
        return -1;
    };
    // FlushFileBuffers waits; there is no call that only starts the writing.
    ops.startWriteBack = ops.syncfs;
    // Mode bits and owners of the POSIX kind: copySecurity carries what they carry.
    ops.fchmod = [](int, unsigned) { return 0; };
    ops.fchown = [](int, std::uint32_t, std::uint32_t) { return 0; };
    ops.renameAt = RealRenameAt;
    ops.unlinkAt = RealUnlinkAt;
    ops.fstat = [](int fd, FileIdentity& out) { return Identify(HandleOf(fd), out); };
    ops.statAt = RealStatAt;
    ops.checkWritable = RealCheckWritable;
    ops.listXattr = [](int, char*, std::size_t) -> std::int64_t { return NotSupported(); };
    ops.getXattr = [](int, const char*, void*, std::size_t) -> std::int64_t {
        return NotSupported();
    };
    ops.setXattr = [](int, const char*, const void*, std::size_t) { return NotSupported(); };
    ops.removeXattr = [](int, const char*) { return NotSupported(); };
    ops.setLease = [](int, bool) {
        errno = ENOSYS;
        return -1;
    };
    ops.leaseHeld = [](int) { return 0; };
    ops.copyFileAttributes = RealCopyFileAttributes;
    ops.copySecurity = RealCopySecurity;
    return ops;
}

} // namespace quorvel
