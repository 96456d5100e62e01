#pragma once
// WorkItem: one file handed to the pipeline, in walk order.

#include "FileReport.h"
#include "OpenFolder.h"
#include "TextureFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

namespace quorvel {

struct WorkItem {
    std::filesystem::path path; // as shown
    // The file to handle: its open folder (or a detached stand-in to open again along its route,
    // OpenFolder.h) and its name. Without a folder when a named file couldn't be resolved.
    FileInFolder file;
    // Why a named file couldn't be resolved: the item then fails at Open with this reason.
    std::error_code openError;
    std::int64_t size = 0; // file size in bytes, for the progress; 0 when unknown
    // Set when the item's report is already known (read-only, walk failure); the pipeline passes
    // it on unchanged (verifying checks a read-only file all the same).
    std::optional<FileReport> preset;
};

// The payload bytes of a file of `size` bytes: what is past the 16-byte header.
inline std::int64_t PayloadBytes(std::int64_t size) {
    const auto header = static_cast<std::int64_t>(kTextureHeaderBytes);
    return size > header ? size - header : 0;
}

} // namespace quorvel
