// Opening folders and named files on Windows: folder handles opened without following a reparse
// point below the folder the user named, names in them opened relative to the handle
// (NtCreateFile with the folder as root directory).
#include "FileOps.h"
#include "OpenFolder.h"
#include "System.h"
#include "TextureError.h"
#include "WindowsFiles.h"

#include <cerrno>
#include <string>
#include <vector>
#include <windows.h>
#include <winternl.h>

namespace quorvel {

namespace {

std::error_code Win32Error(DWORD code) {
    return {static_cast<int>(code), std::system_category()};
}

bool SameFile(const FileIdentity& identity, const BY_HANDLE_FILE_INFORMATION& info) {
    return identity.device == info.dwVolumeSerialNumber &&
           identity.inode == ((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
}

// Checks through `handle` that it is a folder, and unless `follow` not a reparse point (symbolic
// link, junction) opened as itself. Returns the handle with its identity (volume serial number,
// file ID), or closes it and returns kNoFolder with `error` set.
FolderHandle IdentifyFolder(HANDLE handle, bool follow, FolderIdentity& identity,
                            std::error_code& error) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        error = Win32Error(GetLastError());
        CloseHandle(handle);
        return kNoFolder;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !follow) {
        error = Win32Error(ERROR_CANT_RESOLVE_FILENAME);
        CloseHandle(handle);
        return kNoFolder;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = Win32Error(ERROR_DIRECTORY);
        CloseHandle(handle);
        return kNoFolder;
    }
    identity = {info.dwVolumeSerialNumber,
                (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    error.clear();
    return handle;
}

// Opens the folder `path` names, a reparse point itself rather than what it leads to unless
// `follow`, and identifies it (IdentifyFolder).
FolderHandle OpenAndIdentify(const std::filesystem::path& path, bool follow,
                             FolderIdentity& identity, std::error_code& error) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = Win32Error(GetLastError());
        return kNoFolder;
    }
    return IdentifyFolder(handle, follow, identity, error);
}

} // namespace

// Relative to the parent's handle, never through a reparse point.
FolderHandle OpenChildFolderHandle(FolderHandle parent, const std::filesystem::path& name,
                                   FolderIdentity& identity, std::error_code& error) {
    const HANDLE handle =
        OpenInFolder(parent, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                     FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        return kNoFolder;
    }
    return IdentifyFolder(handle, false, identity, error);
}

namespace {

// The handle's path from the object manager, as a path Win32 calls take: "\\??\\C:\\..." as
// "\\?\\C:\\...", a device path ("\\Device\\HarddiskVolume3\\...") through "\\?\\GLOBALROOT". For
// when GetFinalPathNameByHandleW fails, as Wine's does for a path longer than MAX_PATH.
std::filesystem::path ObjectNamePath(HANDLE handle) {
    // From ntstatus.h, which doesn't go with windows.h.
    constexpr auto kSuccess = static_cast<NTSTATUS>(0);
    constexpr auto kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    constexpr auto kBufferOverflow = static_cast<NTSTATUS>(0x80000005);
    constexpr auto kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
    std::vector<std::uint64_t> buffer(1024); // aligned for OBJECT_NAME_INFORMATION
    for (;;) {
        ULONG needed = 0;
        const auto size = static_cast<ULONG>(buffer.size() * sizeof buffer[0]);
        const NTSTATUS status =
            NtQueryObject(handle, ObjectNameInformation, buffer.data(), size, &needed);
        if (status == kSuccess)
            break;
        if ((status != kLengthMismatch && status != kBufferOverflow && status != kBufferTooSmall) ||
            needed <= size || buffer.size() > (1u << 20)) {
            errno = ErrnoFromWin32(RtlNtStatusToDosError(status));
            return {};
        }
        buffer.resize(needed / sizeof buffer[0] + 1);
    }
    const auto* info = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
    const std::wstring name(info->Name.Buffer, info->Name.Length / sizeof(wchar_t));
    if (name.starts_with(L"\\??\\"))
        return L"\\\\?\\" + name.substr(4);
    if (name.starts_with(L"\\"))
        return L"\\\\?\\GLOBALROOT" + name;
    errno = EIO;
    return {};
}

} // namespace

void* OpenInFolder(FolderHandle folder, const std::filesystem::path& name, unsigned long access,
                   unsigned long share, unsigned long disposition, unsigned long options) {
    const std::wstring& text = name.native();
    if (folder == kNoFolder || text.empty() || text.find_first_of(L"\\/") != std::wstring::npos ||
        text.size() * sizeof(wchar_t) > 0xfffe) {
        errno = folder == kNoFolder ? EBADF : EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING unicode;
    unicode.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    unicode.MaximumLength = unicode.Length;
    unicode.Buffer = const_cast<wchar_t*>(text.c_str());
    OBJECT_ATTRIBUTES attributes;
    // Names compare as Win32 calls compare them: without regard to case.
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    const NTSTATUS status =
        NtCreateFile(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io,
                     nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                     options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        errno = ErrnoFromWin32(RtlNtStatusToDosError(status));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

std::filesystem::path FolderPath(FolderHandle folder) {
    if (folder == kNoFolder) {
        errno = EBADF;
        return {};
    }
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(folder, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return ObjectNamePath(folder);
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(std::move(buffer));
        }
        buffer.resize(length); // too small: the length needed, terminating zero included
    }
}

void CloseFolderHandle(FolderHandle folder) noexcept {
    if (folder != kNoFolder)
        CloseHandle(folder);
}

// A folder is flushed only through a handle open for writing it; the journal keeps the renames.
int SyncFolderHandle(FolderHandle) {
    errno = ENOSYS;
    return -1;
}

int SyncFileSystemOf(FolderHandle) {
    errno = ENOSYS;
    return -1;
}

SharedFolder OpenFolderPath(const std::filesystem::path& path, std::error_code& error) {
    const std::filesystem::path full = LongPathForm(path);
    if (full.empty()) {
        error = LastError();
        return nullptr;
    }
    FolderIdentity identity;
    const FolderHandle handle = OpenAndIdentify(full, true, identity, error);
    if (handle == kNoFolder)
        return nullptr;
    return std::make_shared<const OpenFolder>(handle, identity, path);
}

// The file the user named is opened once, following every link on the way and the file's own
// (the user named it), and the system's path for that handle (no links left in it) says which
// folder and name to work on: a file symbolic link named on the command line has its target
// rewritten and stays a link. The folder is then opened without following a reparse point and
// must hold the very file that was resolved.
FileInFolder ResolveNamedFile(const std::filesystem::path& path, std::error_code& error) {
    FileInFolder file;
    file.shown = path;
    const std::filesystem::path full = LongPathForm(path);
    if (full.empty()) {
        error = LastError();
        return file;
    }
    const HANDLE handle = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = Win32Error(GetLastError());
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool identified = GetFileInformationByHandle(handle, &info) != 0;
    const DWORD code = GetLastError();
    const std::filesystem::path real = FolderPath(handle);
    const int realError = errno;
    CloseHandle(handle);
    if (!identified) {
        error = Win32Error(code);
        return file;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = make_error_code(TextureErrc::NotRegularFile);
        return file;
    }
    if (real.empty()) {
        error = ErrorFromErrno(realError);
        return file;
    }
    std::wstring folderText;
    std::wstring name;
    if (!SplitWindowsFilePath(real.native(), folderText, name)) {
        error = make_error_code(TextureErrc::NotRegularFile);
        return file;
    }
    FolderIdentity identity;
    const FolderHandle folder = OpenAndIdentify(folderText, false, identity, error);
    if (folder == kNoFolder)
        return file;
    file.folder = std::make_shared<const OpenFolder>(folder, identity, path.parent_path());
    file.name = std::move(name);
    FileIdentity now;
    if (CurrentFileOps().statAt(folder, file.name, false, now) != 0 || !SameFile(now, info)) {
        file.folder.reset();
        error = make_error_code(TextureErrc::FileChanged);
        return file;
    }
    error.clear();
    return file;
}

} // namespace quorvel
