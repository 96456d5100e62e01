#pragma once
// Building folder trees for the tests inside a TempDir.

#include "FileContents.h"
#include "TempDir.h"

#include <filesystem>

namespace quorvel::test {

namespace fs = std::filesystem;

// Creates the file `relative` under `dir`, with its folders, holding `bytes`.
inline fs::path MakeFile(const TempDir& dir, const fs::path& relative, const Bytes& bytes = {}) {
    fs::create_directories((dir / relative).parent_path());
    WriteFileBytes(dir / relative, bytes);
    return dir / relative;
}

} // namespace quorvel::test
