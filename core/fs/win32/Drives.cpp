// The places a walk can start from on Windows: the logical drives.
#include "System.h"

#include <algorithm>
#include <string>
#include <utility>
#include <windows.h>

namespace quorvel {

std::vector<std::filesystem::path> SystemDrives(const std::filesystem::path&) {
    std::vector<std::filesystem::path> drives;
    std::wstring buffer(128, L'\0');
    for (;;) {
        const DWORD length =
            GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0)
            return drives;
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.assign(length + 1, L'\0');
    }
    // "C:\", "D:\", ... each ended by a NUL; listed as "C:", "D:".
    for (std::size_t start = 0; start < buffer.size();) {
        std::size_t end = buffer.find(L'\0', start);
        if (end == std::wstring::npos)
            end = buffer.size();
        std::wstring root = buffer.substr(start, end - start);
        while (!root.empty() && root.back() == L'\\')
            root.pop_back();
        if (!root.empty())
            drives.emplace_back(std::move(root));
        start = end + 1;
    }
    return drives;
}

std::filesystem::path RootOfDrive(const std::filesystem::path& drive) {
    std::wstring root = drive.native();
    if (root.empty() || (root.back() != L'\\' && root.back() != L'/'))
        root += L'\\';
    return root;
}

std::filesystem::path TopFolder() {
    return L"C:\\";
}

// Without regard to ASCII case, as Win32 calls compare names; either separator matches the other.
bool SameFileName(const std::filesystem::path& a, const std::filesystem::path& b) {
    const std::wstring& x = a.native();
    const std::wstring& y = b.native();
    return x.size() == y.size() &&
           std::equal(x.begin(), x.end(), y.begin(), [](wchar_t c, wchar_t d) {
               const auto lower = [](wchar_t w) {
                   return w >= L'A' && w <= L'Z' ? static_cast<wchar_t>(w - L'A' + L'a') : w;
               };
               return lower(c) == lower(d) ||
                      ((c == L'\\' || c == L'/') && (d == L'\\' || d == L'/'));
           });
}

} // namespace quorvel
