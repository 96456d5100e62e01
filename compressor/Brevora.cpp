// Brevora's byte-array operations and the capacity rule for compression buffers. Each call
// sizes one temporary buffer, makes one zlib call into it and, on success, hands the buffer over
// as the caller's array, indexed from 0. The string operations are in BrevoraString.cpp, the
// stateless ones in BrevoraSystem.cpp.

#include "Brevora.h"

#include "BrevoraErrors.h"

#include <cmath>
#include <limits>
#include <vector>
#include <zlib.h>

namespace quorvel {
namespace {

constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr double kInt32Min = std::numeric_limits<std::int32_t>::min();

} // namespace

std::int32_t CompressionCapacity(std::int32_t n) {
    // The order of the operations matters: each step rounds to double precision, and the
    // result decides the ties (50 bytes -> 62.5 -> 62, 150 -> 163.5 -> 164).
    double t = n * 0.01;
    t = t + n;
    t = t + 12.0;
    const double rounded = std::nearbyint(t); // default rounding mode: nearest, ties to even
    if (rounded > kInt32Max || rounded < kInt32Min)
        throw OverflowError("compression buffer capacity overflows a 32-bit size");
    return static_cast<std::int32_t>(rounded);
}

Brevora::Brevora() = default;

void Brevora::GetArrayBounds(const ByteArray& TheData, std::int32_t& lowerBound,
                             std::int32_t& upperBound) {
    if (!TheData.hasStorage()) {
        lowerBound = 0;
        upperBound = 0;
        return;
    }
    lowerBound = TheData.lowerBound();
    upperBound = TheData.upperBound();
}

std::int32_t Brevora::CompressData(ByteArray& TheData) {
    m_compressedSize = 0;
    m_originalSize = 0;
    std::int32_t lb = 0;
    std::int32_t ub = 0;
    GetArrayBounds(TheData, lb, ub);
    if (ub <= lb)
        return 0;

    const std::int64_t count = static_cast<std::int64_t>(ub) - lb + 1;
    if (count > std::numeric_limits<std::int32_t>::max())
        throw OverflowError("array element count overflows a 32-bit size");
    const auto n = static_cast<std::int32_t>(count);
    m_originalSize = n;

    ByteBuffer buffer;
    buffer.resize(static_cast<std::size_t>(CompressionCapacity(n)));
    uLongf destLen = static_cast<uLongf>(buffer.size());
    const int status = compress(buffer.data(), &destLen, TheData.data(), static_cast<uLong>(n));
    if (status != Z_OK)
        return status;

    m_compressedSize = static_cast<std::int32_t>(destLen);
    if (destLen < 1) {
        TheData.erase();
    } else {
        // The result always starts at index 0; hand the buffer over rather than copying it.
        buffer.resize(destLen);
        TheData = ByteArray(std::move(buffer), 0);
    }
    return 0;
}

std::int32_t Brevora::DecompressData(ByteArray& TheData, std::int32_t OrigSize) {
    m_compressedSize = 0;
    m_originalSize = 0;
    std::int32_t lb = 0;
    std::int32_t ub = 0;
    GetArrayBounds(TheData, lb, ub);
    if (ub <= lb)
        return 0;

    const std::int64_t count = static_cast<std::int64_t>(ub) - lb + 1;
    if (count > std::numeric_limits<std::int32_t>::max())
        throw OverflowError("array element count overflows a 32-bit size");
    m_compressedSize = static_cast<std::int32_t>(count);

    if (OrigSize == std::numeric_limits<std::int32_t>::max())
        throw OverflowError("OrigSize + 1 overflows a 32-bit size");
    if (OrigSize < 0)
        throw SubscriptOutOfRange("OrigSize is negative");
    // The input is read from index 0, whatever the lower bound is. An array that ends below
    // index 0 lacks that element as well; reading ub + 1 bytes from there would overrun it.
    if (lb > 0 || ub < 0)
        throw SubscriptOutOfRange("compressed array has no element at index 0");

    ByteBuffer buffer;
    buffer.resize(static_cast<std::size_t>(OrigSize) + 1);
    uLongf destLen = static_cast<uLongf>(buffer.size());
    const std::uint8_t* input = TheData.data() + (0 - static_cast<std::int64_t>(lb));
    const int status = uncompress(buffer.data(), &destLen, input, static_cast<uLong>(ub) + 1);
    if (status != Z_OK) {
        m_compressedSize = 0;
        m_originalSize = 0;
        return status;
    }

    m_originalSize = static_cast<std::int32_t>(destLen);
    if (destLen == 0) {
        TheData.erase();
    } else {
        buffer.resize(destLen);
        TheData = ByteArray(std::move(buffer), 0);
    }
    return 0;
}

} // namespace quorvel
