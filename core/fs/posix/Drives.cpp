// The places a walk can start from on POSIX systems: the mount points of the real file systems.
#include "MountTable.h"
#include "System.h"

#include <string>
#include <utility>

namespace quorvel {

std::vector<std::filesystem::path> SystemDrives(const std::filesystem::path& currentFolder) {
    std::vector<MountEntry> entries;
    if (auto table = ReadMountTable())
        entries = std::move(*table);
    std::vector<std::filesystem::path> drives;
    for (std::string& place : StartPlaces(entries, currentFolder.native()))
        drives.emplace_back(std::move(place));
    return drives;
}

std::filesystem::path RootOfDrive(const std::filesystem::path& drive) {
    return drive;
}

std::filesystem::path TopFolder() {
    return "/";
}

bool SameFileName(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.native() == b.native();
}

} // namespace quorvel
