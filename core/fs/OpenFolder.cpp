#include "OpenFolder.h"

#include "FileOps.h"
#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <winternl.h>
#endif

namespace quorvel {

OpenFolder::OpenFolder(FolderHandle handle, FolderIdentity identity, std::filesystem::path shown,
                       SharedFolder start, std::vector<RouteStep> route)
    : m_handle(handle), m_identity(identity), m_shown(std::move(shown)), m_start(std::move(start)),
      m_route(std::move(route)) {}

SharedFolder OpenFolder::Detached() const {
    if (!m_start)
        return nullptr;
    return std::make_shared<const OpenFolder>(kNoFolder, m_identity, m_shown, m_start, m_route);
}

#ifndef _WIN32
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC;

std::error_code SystemError(int code) {
    return {code, std::system_category()};
}

// Opens `name` relative to `parent` with `flags` and checks the handle is a folder; returns it
// with its identity, or kNoFolder with `error` set.
FolderHandle OpenAndIdentify(FolderHandle parent, const std::filesystem::path& name, int flags,
                             FolderIdentity& identity, std::error_code& error) {
    const FileOps& ops = CurrentFileOps();
    const int fd = ops.openAt(parent, name, flags, 0);
    if (fd < 0) {
        error = LastError();
        return kNoFolder;
    }
    FileIdentity info;
    if (ops.fstat(fd, info) != 0) {
        error = LastError();
        ops.close(fd);
        return kNoFolder;
    }
    if (!info.isFolder()) {
        error = SystemError(ENOTDIR);
        ops.close(fd);
        return kNoFolder;
    }
    identity = {info.device, info.inode};
    error.clear();
    return fd;
}

// Opens an absolute path that holds no links (canonical() made it) one component at a time,
// never following a link: a folder on the way swapped for a link since the path was resolved
// fails with ELOOP instead of leading somewhere else.
SharedFolder OpenResolvedFolder(const std::filesystem::path& real, std::error_code& error) {
    const FileOps& ops = CurrentFileOps();
#ifdef O_PATH
    // Passing through a folder needs only search permission, as resolving a path does.
    constexpr int kPassFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW;
#else
    constexpr int kPassFlags = kFolderFlags | O_NOFOLLOW;
#endif
    int current = ops.openAt(kNoFolder, real.root_path(), kPassFlags, 0);
    if (current < 0) {
        error = LastError();
        return nullptr;
    }
    std::vector<std::filesystem::path> parts(std::next(real.begin()), real.end());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const int next =
            ops.openAt(current, parts[i], last ? kFolderFlags | O_NOFOLLOW : kPassFlags, 0);
        const int code = errno;
        ops.close(current);
        if (next < 0) {
            error = SystemError(code);
            return nullptr;
        }
        current = next;
    }
    if (parts.empty()) { // the root folder itself: reopen it for reading
        const int next = ops.openAt(current, ".", kFolderFlags, 0);
        const int code = errno;
        ops.close(current);
        if (next < 0) {
            error = SystemError(code);
            return nullptr;
        }
        current = next;
    }
    FileIdentity info;
    if (ops.fstat(current, info) != 0 || !info.isFolder()) {
        error = info.mode == 0 ? LastError() : SystemError(ENOTDIR);
        ops.close(current);
        return nullptr;
    }
    error.clear();
    return std::make_shared<const OpenFolder>(current, FolderIdentity{info.device, info.inode},
                                              real);
}

// Opens `name` in the open folder `parent`, relative to its descriptor, never through a link.
FolderHandle OpenChildHandle(FolderHandle parent, const std::filesystem::path& name,
                             FolderIdentity& identity, std::error_code& error) {
    return OpenAndIdentify(parent, name, kFolderFlags | O_NOFOLLOW, identity, error);
}

} // namespace

SharedFolder ReopenFolder(const SharedFolder& folder, std::error_code& error) {
    error.clear();
    if (!folder || folder->handle() != kNoFolder)
        return folder;
    if (!folder->start() || folder->start()->handle() == kNoFolder) {
        error = SystemError(EBADF);
        return nullptr;
    }
    const FileOps& ops = CurrentFileOps();
    const auto& route = folder->route();
    int current = -1; // a handle of our own; the start folder's stays with it
    for (std::size_t i = 0; i < route.size(); ++i) {
        const int from = current < 0 ? folder->start()->handle() : current;
        FolderIdentity identity;
        const FolderHandle next = OpenChildHandle(from, route[i].name, identity, error);
        if (current >= 0)
            ops.close(current);
        if (next == kNoFolder)
            return nullptr;
        current = next;
        if (identity != route[i].identity) {
            ops.close(current);
            error = make_error_code(TextureErrc::FileChanged);
            return nullptr;
        }
    }
    if (current < 0) {
        error = SystemError(EBADF);
        return nullptr;
    }
    return std::make_shared<const OpenFolder>(current, folder->identity(), folder->shown(),
                                              folder->start(), route);
}

OpenFolder::~OpenFolder() {
    if (m_handle != kNoFolder)
        CurrentFileOps().close(m_handle);
}

SharedFolder OpenFolderPath(const std::filesystem::path& path, std::error_code& error) {
    FolderIdentity identity;
    const FolderHandle handle = OpenAndIdentify(kNoFolder, path, kFolderFlags, identity, error);
    if (handle == kNoFolder)
        return nullptr;
    return std::make_shared<const OpenFolder>(handle, identity, path);
}

FileInFolder ResolveNamedFile(const std::filesystem::path& path, std::error_code& error) {
    FileInFolder file;
    file.shown = path;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (error)
        return file;
    if (!real.has_filename() || real == real.root_path()) {
        error = make_error_code(TextureErrc::NotRegularFile);
        return file;
    }
    file.folder = OpenResolvedFolder(real.parent_path(), error);
    if (error) {
        file.folder.reset();
        return file;
    }
    file.name = real.filename();
    return file;
}
#else
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

// Opens `name` in the open folder `parent`, relative to its handle, never through a reparse
// point.
FolderHandle OpenChildHandle(FolderHandle parent, const std::filesystem::path& name,
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

} // namespace

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

OpenFolder::~OpenFolder() {
    if (m_handle != kNoFolder)
        CloseHandle(m_handle);
}

SharedFolder ReopenFolder(const SharedFolder& folder, std::error_code& error) {
    error.clear();
    if (!folder || folder->handle() != kNoFolder)
        return folder;
    if (!folder->start() || folder->start()->handle() == kNoFolder) {
        error = ErrorFromErrno(EBADF);
        return nullptr;
    }
    const auto& route = folder->route();
    FolderHandle current = kNoFolder; // a handle of our own; the start folder's stays with it
    for (std::size_t i = 0; i < route.size(); ++i) {
        const FolderHandle from = current == kNoFolder ? folder->start()->handle() : current;
        FolderIdentity identity;
        const FolderHandle next = OpenChildHandle(from, route[i].name, identity, error);
        if (current != kNoFolder)
            CloseHandle(current);
        if (next == kNoFolder)
            return nullptr;
        current = next;
        if (identity != route[i].identity) {
            CloseHandle(current);
            error = make_error_code(TextureErrc::FileChanged);
            return nullptr;
        }
    }
    if (current == kNoFolder) {
        error = ErrorFromErrno(EBADF);
        return nullptr;
    }
    return std::make_shared<const OpenFolder>(current, folder->identity(), folder->shown(),
                                              folder->start(), route);
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
#endif

SharedFolder OpenChildFolder(const SharedFolder& parent, const std::filesystem::path& name,
                             const FolderIdentity& expected, std::filesystem::path shown,
                             std::error_code& error) {
    FolderIdentity identity;
    const FolderHandle handle = OpenChildHandle(parent->handle(), name, identity, error);
    if (handle == kNoFolder)
        return nullptr;
    // Remembers the way here from the walk's start folder, for ReopenFolder.
    std::vector<RouteStep> route = parent->route();
    route.push_back({name, identity});
    SharedFolder start = parent->start() ? parent->start() : parent;
    auto folder = std::make_shared<const OpenFolder>(handle, identity, std::move(shown),
                                                     std::move(start), std::move(route));
    if (identity != expected) {
        error = make_error_code(TextureErrc::FileChanged);
        return nullptr;
    }
    return folder;
}

bool SplitWindowsFilePath(const std::wstring& path, std::wstring& folder, std::wstring& name) {
    const std::size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut + 1 == path.size())
        return false;
    folder = path.substr(0, cut);
    name = path.substr(cut + 1);
    // A volume's root folder keeps its separator: without it "\\?\C:", a device path
    // ("\\?\GLOBALROOT\Device\HarddiskVolume3"), a volume name ("\\?\Volume{...}") or a
    // share ("\\?\UNC\server\share") names the volume or share, not its root folder.
    const auto rest = [&folder](std::wstring_view prefix) {
        return std::wstring_view(folder).substr(prefix.size());
    };
    static constexpr std::wstring_view kDevice = L"\\\\?\\GLOBALROOT\\Device\\";
    static constexpr std::wstring_view kVolume = L"\\\\?\\Volume{";
    static constexpr std::wstring_view kShare = L"\\\\?\\UNC\\";
    bool root = folder.ends_with(L':');
    if (folder.starts_with(kDevice))
        root = rest(kDevice).find(L'\\') == std::wstring_view::npos;
    else if (folder.starts_with(kVolume))
        root = rest(kVolume).find(L'\\') == std::wstring_view::npos;
    else if (folder.starts_with(kShare))
        root = std::count(folder.begin() + static_cast<std::ptrdiff_t>(kShare.size()), folder.end(),
                          L'\\') == 1;
    if (root)
        folder.push_back(L'\\');
    return true;
}

} // namespace quorvel
