#pragma once
// Files named by a path, as the tests name them: resolved once, links followed, the way the
// programs resolve a file named on their command line before rewriting it (header-only: only
// the test programs that rewrite files link the texture core).

#include "Brevora.h"
#include "TextureRewrite.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace quorvel::test {

// The rewrite of the file `path` names; one failed at Open when it doesn't resolve.
inline TextureRewrite NamedRewrite(const std::filesystem::path& path,
                                   TextureTransform transform = TextureTransform::Compress) {
    std::error_code error;
    FileInFolder file = ResolveNamedFile(path, error);
    if (error)
        return TextureRewrite::Unreachable(path, transform, error);
    return TextureRewrite(std::move(file), transform);
}

// CompressTextureFile on the file `path` names.
inline TextureResult CompressNamedFile(Brevora& compressor, const std::filesystem::path& path) {
    std::error_code error;
    const FileInFolder file = ResolveNamedFile(path, error);
    if (error)
        return TextureRewrite::Unreachable(path, TextureTransform::Compress, error).result();
    return CompressTextureFile(compressor, file);
}

} // namespace quorvel::test
