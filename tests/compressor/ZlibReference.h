#pragma once
// Test data and the linked zlib as a control: expected compressed bytes are always made here at
// test time, never stored, since they differ between zlib builds.

#include <cstdint>
#include <random>
#include <span>
#include <stdexcept>
#include <vector>
#include <zlib.h>

namespace quorvel::test {

// zlib's one-shot compress() at the default level.
inline std::vector<std::uint8_t> ZlibCompress(std::span<const std::uint8_t> input) {
    uLongf size = compressBound(static_cast<uLong>(input.size()));
    std::vector<std::uint8_t> out(size);
    if (compress(out.data(), &size, input.data(), static_cast<uLong>(input.size())) != Z_OK)
        throw std::runtime_error("reference compress() failed");
    out.resize(size);
    return out;
}

// Reproducible bytes that deflate can't shrink.
inline std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed = 20261207) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> out(count);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(byte(engine));
    return out;
}

} // namespace quorvel::test
