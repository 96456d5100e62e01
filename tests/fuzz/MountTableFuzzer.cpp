// Fuzz target of the mount table parser and the list of places a walk can start from.
//
// Input: the first line is the current folder, the rest is mount table text as the kernel
// writes it (device, mount point, type, options..., blanks between, octal escapes inside).
//
// What must hold: every parsed field is non-empty; escaping the parsed fields the kernel's way
// and parsing again gives the same entries; the start places begin with "/", are sorted and
// unique, are all mount points (of a topmost mount that isn't a pseudo mount, or the one holding
// the current folder), and include every such mount point; the mount point said to contain a
// path does contain it.

#include "FuzzCheck.h"
#include "MountTable.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quorvel;

// A field as the kernel writes it: blanks, line breaks and backslashes as three-digit octal.
std::string Escaped(std::string_view field) {
    std::string out;
    for (const char c : field) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            const auto u = static_cast<unsigned char>(c);
            out += '\\';
            out += static_cast<char>('0' + (u >> 6));
            out += static_cast<char>('0' + ((u >> 3) & 7));
            out += static_cast<char>('0' + (u & 7));
        } else {
            out += c;
        }
    }
    return out;
}

bool SameEntries(const std::vector<MountEntry>& a, const std::vector<MountEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.device == y.device && x.mountPoint == y.mountPoint && x.type == y.type;
    });
}

bool AtOrBelow(std::string_view path, std::string_view folder) {
    if (folder == "/")
        return path.starts_with('/');
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t firstBreak = std::min(input.find('\n'), input.size());
    const std::string_view current = input.substr(0, firstBreak);
    const std::string_view table = input.substr(std::min(firstBreak + 1, input.size()));

    const std::vector<MountEntry> entries = ParseMountTable(table);
    FUZZ_CHECK(entries.size() <= static_cast<std::size_t>(std::ranges::count(table, '\n')) + 1);
    std::string again;
    for (const MountEntry& entry : entries) {
        FUZZ_CHECK(!entry.device.empty() && !entry.mountPoint.empty() && !entry.type.empty());
        again += Escaped(entry.device) + " " + Escaped(entry.mountPoint) + "\t" +
                 Escaped(entry.type) + " rw 0 0\n";
    }
    FUZZ_CHECK(SameEntries(ParseMountTable(again), entries));

    // The topmost mount at each absolute mount point: the last line naming it.
    std::map<std::string, const MountEntry*> topmost;
    for (const MountEntry& entry : entries) {
        if (entry.mountPoint.starts_with('/'))
            topmost[entry.mountPoint] = &entry;
    }
    std::vector<std::string> points;
    for (const auto& [point, entry] : topmost)
        points.push_back(point);
    const std::string containing = MountPointContaining(points, current);
    if (!containing.empty()) {
        FUZZ_CHECK(topmost.contains(containing) && AtOrBelow(current, containing));
        for (const std::string& point : points)
            FUZZ_CHECK(point.size() <= containing.size() || !AtOrBelow(current, point));
    }

    const std::vector<std::string> places = StartPlaces(entries, current);
    FUZZ_CHECK(!places.empty() && places.front() == "/");
    FUZZ_CHECK(std::adjacent_find(places.begin() + 1, places.end(), std::greater_equal<>()) ==
               places.end());
    for (const std::string& place : places) {
        if (place == "/")
            continue;
        const auto found = topmost.find(place);
        FUZZ_CHECK(found != topmost.end());
        FUZZ_CHECK(!IsPseudoMount(*found->second) || place == containing);
    }
    for (const auto& [point, entry] : topmost) {
        if (!IsPseudoMount(*entry) || point == containing)
            FUZZ_CHECK(std::ranges::binary_search(places.begin() + 1, places.end(), point) ||
                       point == "/");
    }
    return 0;
}
