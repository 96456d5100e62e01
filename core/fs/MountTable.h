// The mounted file systems of a POSIX system, as places a user can start a folder walk from.
//
// The kernel's mount table (/proc/self/mounts) is read as text and parsed into entries; the
// drive list then keeps the mount points a user would pick a start folder from. Pseudo file
// systems (process and device views, control groups, temporary file systems the system keeps
// under /run and /dev) are dropped; real ones stay, overlay and squashfs included, because a
// container's root is usually an overlay. Nothing here touches the mounted file systems
// themselves: no stat, no open, so a dead network mount can't hang the list.
//
// Qt-free, so the parsing and the filter can be tested on any text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// One line of the mount table, with the kernel's octal escapes (\040 for a space, ...) undone.
struct MountEntry {
    std::string device;
    std::string mountPoint;
    std::string type;
};

// Parses mount table text: one mount per line, fields separated by blanks (device, mount
// point, type, options, ...). Lines with fewer than three fields are skipped.
std::vector<MountEntry> ParseMountTable(std::string_view text);

// Reads and parses the mount table file; nullopt when it can't be read (not Linux, /proc not
// mounted).
std::optional<std::vector<MountEntry>>
ReadMountTable(const std::string& file = "/proc/self/mounts");

// True for a mount nobody starts a folder walk from: kernel pseudo file systems, anything
// mounted under /proc, /sys or /dev, and memory file systems under /run.
bool IsPseudoMount(const MountEntry& entry);

// The mount point among `mountPoints` that contains the absolute `path`: the longest one that
// is `path` itself or a parent of it. Empty when none does.
std::string MountPointContaining(const std::vector<std::string>& mountPoints,
                                 std::string_view path);

// The places to offer: the mount points of `entries` that aren't pseudo mounts, each once
// (a mount point mounted over counts with its topmost mount), "/" first and the rest sorted.
// The mount point containing `currentFolder` is always included, pseudo or not, so the
// current drive is always in the list; so is "/", the root every path starts from.
std::vector<std::string> StartPlaces(const std::vector<MountEntry>& entries,
                                     std::string_view currentFolder);

} // namespace quorvel
