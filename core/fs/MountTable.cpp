// Parsing and filtering of the kernel's mount table; see MountTable.h.
#include "MountTable.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <sstream>

namespace quorvel {
namespace {

// File system types that only expose kernel state or plumbing, never user files.
constexpr std::array<std::string_view, 23> kPseudoTypes = {
    "proc",       "sysfs",      "devpts",    "devtmpfs", "cgroup",      "cgroup2",
    "securityfs", "debugfs",    "tracefs",   "pstore",   "bpf",         "configfs",
    "fusectl",    "mqueue",     "hugetlbfs", "autofs",   "binfmt_misc", "efivarfs",
    "selinuxfs",  "rpc_pipefs", "nsfs",      "nfsd",     "fuse.portal",
};

// Memory file systems: real files, but under /run or /dev they hold the system's own state.
constexpr std::array<std::string_view, 2> kMemoryTypes = {"tmpfs", "ramfs"};

bool isAtOrBelow(std::string_view path, std::string_view folder) {
    if (folder == "/")
        return !path.empty() && path.front() == '/';
    return path.substr(0, folder.size()) == folder &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

// Undoes the octal escapes the kernel writes for blanks and backslashes in a field.
std::string unescapeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            const int code =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(code));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<std::string_view> splitBlanks(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

} // namespace

std::vector<MountEntry> ParseMountTable(std::string_view text) {
    std::vector<MountEntry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::vector<std::string_view> fields = splitBlanks(text.substr(pos, end - pos));
        if (fields.size() >= 3)
            entries.push_back(
                {unescapeField(fields[0]), unescapeField(fields[1]), unescapeField(fields[2])});
        pos = end + 1;
    }
    return entries;
}

std::optional<std::vector<MountEntry>> ReadMountTable(const std::string& file) {
    // The kernel reports a size of 0 for files in /proc, so read to the end rather than by size.
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return ParseMountTable(text.str());
}

bool IsPseudoMount(const MountEntry& entry) {
    const std::string_view type = entry.type;
    const std::string_view point = entry.mountPoint;
    if (std::find(kPseudoTypes.begin(), kPseudoTypes.end(), type) != kPseudoTypes.end())
        return true;
    if (isAtOrBelow(point, "/proc") || isAtOrBelow(point, "/sys") || isAtOrBelow(point, "/dev"))
        return true;
    return std::find(kMemoryTypes.begin(), kMemoryTypes.end(), type) != kMemoryTypes.end() &&
           isAtOrBelow(point, "/run");
}

std::string MountPointContaining(const std::vector<std::string>& mountPoints,
                                 std::string_view path) {
    std::string best;
    for (const std::string& point : mountPoints) {
        if (isAtOrBelow(path, point) && point.size() > best.size())
            best = point;
    }
    return best;
}

std::vector<std::string> StartPlaces(const std::vector<MountEntry>& entries,
                                     std::string_view currentFolder) {
    // A later line mounted over an earlier one at the same point; only the topmost is visible.
    std::map<std::string, const MountEntry*> topmost;
    for (const MountEntry& entry : entries) {
        if (!entry.mountPoint.empty() && entry.mountPoint.front() == '/')
            topmost[entry.mountPoint] = &entry;
    }

    std::vector<std::string> allPoints;
    std::vector<std::string> places;
    for (const auto& [point, entry] : topmost) {
        allPoints.push_back(point);
        if (!IsPseudoMount(*entry))
            places.push_back(point);
    }
    const std::string current = MountPointContaining(allPoints, currentFolder);
    if (!current.empty() && std::find(places.begin(), places.end(), current) == places.end())
        places.push_back(current);
    if (std::find(places.begin(), places.end(), "/") == places.end())
        places.emplace_back("/");

    std::sort(places.begin(), places.end(), [](const std::string& a, const std::string& b) {
        if (a == "/" || b == "/")
            return a == "/" && b != "/";
        return a < b;
    });
    return places;
}

} // namespace quorvel
