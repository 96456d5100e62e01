#include "OpenFolder.h"

#include "System.h"
#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

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

OpenFolder::~OpenFolder() {
    CloseFolderHandle(m_handle);
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
        const FolderHandle next = OpenChildFolderHandle(from, route[i].name, identity, error);
        CloseFolderHandle(current);
        if (next == kNoFolder)
            return nullptr;
        current = next;
        if (identity != route[i].identity) {
            CloseFolderHandle(current);
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

SharedFolder OpenChildFolder(const SharedFolder& parent, const std::filesystem::path& name,
                             const FolderIdentity& expected, std::filesystem::path shown,
                             std::error_code& error) {
    FolderIdentity identity;
    const FolderHandle handle = OpenChildFolderHandle(parent->handle(), name, identity, error);
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
