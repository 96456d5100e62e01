// Brevora's string operations: the text goes through the single-byte code page into zlib's
// one-shot compress()/uncompress() and zlib's output comes back through the same page, one
// character per byte. Sizes and statuses follow the byte-array operations in Brevora.cpp, except
// that there is no minimum length and a failed call leaves the string as the code page returns
// it.

#include "Brevora.h"
#include "BrevoraErrors.h"
#include "CodePage.h"

#include <algorithm>
#include <limits>
#include <vector>
#include <zlib.h>

namespace quorvel {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t CheckedLength(const std::u16string& text) {
    if (text.size() > static_cast<std::size_t>(kInt32Max))
        throw OverflowError("string length overflows a 32-bit size");
    return static_cast<std::int32_t>(text.size());
}

} // namespace

std::int32_t Brevora::CompressString(std::u16string& TheString) {
    m_compressedSize = 0;
    m_originalSize = 0;
    const std::int32_t length = CheckedLength(TheString);
    m_originalSize = length;

    std::vector<std::uint8_t> output(static_cast<std::size_t>(CompressionCapacity(length)));
    const std::vector<std::uint8_t> input = ToSingleByte(TheString);
    uLongf destLen = static_cast<uLongf>(output.size());
    // The byte count, which equals the length on a single-byte code page; on a multi-byte one it
    // keeps zlib inside the converted input.
    const int status =
        compress(output.data(), &destLen, input.data(), static_cast<uLong>(input.size()));
    if (status != Z_OK) {
        // A character outside the code page comes back as the one its replacement byte stands for.
        TheString = FromSingleByte(input);
        m_originalSize = 0;
        return status;
    }
    output.resize(destLen);
    TheString = FromSingleByte(output);
    m_compressedSize = static_cast<std::int32_t>(destLen);
    return 0;
}

std::int32_t Brevora::DecompressString(std::u16string& TheString, std::int32_t OrigSize) {
    m_originalSize = 0;
    m_compressedSize = 0; // stays 0 when the length itself overflows
    m_compressedSize = CheckedLength(TheString);
    if (OrigSize == kInt32Max)
        throw OverflowError("OrigSize + 1 overflows a 32-bit size");
    if (OrigSize < -1)
        throw SubscriptOutOfRange("OrigSize is below -1");

    // zlib's uncompress() treats a capacity of 0 as a special case: a stream of one byte then
    // reports success with nothing written (the byte is lost), and a longer one reports a data
    // error. So zlib gets at least one byte of room, and a text longer than the capacity is
    // refused here with the status zlib gives for a full buffer.
    const auto capacity = static_cast<std::size_t>(static_cast<std::int64_t>(OrigSize) + 1);
    std::vector<std::uint8_t> output(std::max<std::size_t>(capacity, 1));
    const std::vector<std::uint8_t> input = ToSingleByte(TheString);
    uLongf destLen = static_cast<uLongf>(output.size());
    int status =
        uncompress(output.data(), &destLen, input.data(), static_cast<uLong>(input.size()));
    if (status == Z_OK && destLen > capacity)
        status = Z_BUF_ERROR;
    if (status != Z_OK) {
        TheString = FromSingleByte(input);
        m_compressedSize = 0;
        return status;
    }
    output.resize(destLen);
    TheString = FromSingleByte(output);
    m_originalSize = static_cast<std::int32_t>(destLen);
    return 0;
}

} // namespace quorvel
