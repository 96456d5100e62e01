#pragma once
// Reading, writing and listing files in tests, and generating test data. Failures throw
// std::runtime_error naming the path and the system's reason, so a test fails with a message
// instead of working on bad data.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quorvel::test {

using Bytes = std::vector<std::uint8_t>;

// The whole file.
Bytes ReadFileBytes(const std::filesystem::path& path);

// Creates or truncates the file and writes `bytes` to it.
void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Names of the entries directly in `folder` (dot-files included), sorted.
std::vector<std::string> ListFolder(const std::filesystem::path& folder);

// `count` bytes of repetitive text that compresses well.
Bytes CompressibleBytes(std::size_t count);

// `count` pseudo-random bytes, the same for the same seed; they don't compress.
Bytes RandomBytes(std::size_t count, std::uint32_t seed = 1);

// zlib's one-shot compress() at the default level, with the zlib the test is linked with: the
// control for expected streams, made at test time since they differ between zlib builds.
Bytes ZlibCompress(std::span<const std::uint8_t> data);

// Concatenation, for building files from header, fields and payload.
Bytes Concat(std::initializer_list<std::span<const std::uint8_t>> parts);

} // namespace quorvel::test
