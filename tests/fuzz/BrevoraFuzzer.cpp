// Fuzz target of the compression component's byte-array and string calls.
//
// Input: byte 0 picks the call and a variation, the rest is the data.
//   mode 0  CompressData, then DecompressData of the result with OrigSize near the true size
//   mode 1  CompressString, then DecompressString of the result with OrigSize near the true size
//   mode 2  DecompressData of arbitrary bytes: bytes 1-2 give OrigSize + 1 (little-endian),
//           byte 3 the array's lower bound (signed), the rest the array
//   mode 3  DecompressString of arbitrary text: bytes 1-2 give OrigSize + 2, the rest the text
// The variation (byte 0 >> 2) picks OrigSize's distance from the true size in modes 0 and 1 and,
// in the string modes, whether the text is one character per byte (all in the code page) or
// UTF-16 pairs (mostly outside it).
//
// What must hold: round trips are exact whenever OrigSize + 1 reaches the true size and are
// refused with Z_BUF_ERROR when it doesn't; compressed bytes are zlib's compress() into a buffer
// of the capacity rule's size; arguments outside the contract throw before zlib runs and leave
// the sizes as documented; a failed call leaves the data as it was (a string as it came back
// through the code page) with both sizes 0; arbitrary input decompresses exactly when zlib's
// uncompress says it does, to the same bytes.

#include "Brevora.h"
#include "BrevoraErrors.h"
#include "CodePage.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using namespace quorvel;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// OrigSize for a round trip of `trueSize` bytes or characters: relative to the true size, or a
// fixed value outside the contract.
std::int32_t OrigSizeVariation(unsigned variation, std::int32_t trueSize) {
    constexpr std::int64_t kRelative[] = {0, -1, -2, 1, 7, 65536};
    constexpr std::int32_t kFixed[] = {-1, -2, kInt32Max, 0};
    constexpr unsigned kCount = std::size(kRelative) + std::size(kFixed);
    const unsigned pick = variation % kCount;
    if (pick < std::size(kRelative))
        return static_cast<std::int32_t>(
            std::max<std::int64_t>(trueSize + kRelative[pick], std::numeric_limits<int>::min()));
    return kFixed[pick - std::size(kRelative)];
}

// zlib's compress() into a buffer of the capacity rule's size.
Bytes ZlibCompress(std::span<const std::uint8_t> data) {
    Bytes out(
        static_cast<std::size_t>(CompressionCapacity(static_cast<std::int32_t>(data.size()))));
    uLongf outLen = static_cast<uLongf>(out.size());
    FUZZ_CHECK(compress(out.data(), &outLen, data.data(), static_cast<uLong>(data.size())) == Z_OK);
    out.resize(outLen);
    return out;
}

// What zlib's uncompress makes of `stream` with room for `capacity` + 1 bytes, one more than
// the component gives it, so that "one byte too long" is seen as such.
struct ZlibInflation {
    int status;
    Bytes bytes;
};
ZlibInflation ZlibInflate(std::span<const std::uint8_t> stream, std::size_t capacity) {
    Bytes out(capacity + 1);
    uLongf outLen = static_cast<uLongf>(out.size());
    const int status =
        uncompress(out.data(), &outLen, stream.data(), static_cast<uLong>(stream.size()));
    out.resize(status == Z_OK ? outLen : 0);
    return {status, out};
}

std::u16string TextOf(std::span<const std::uint8_t> bytes, bool utf16Pairs) {
    if (!utf16Pairs)
        return FromSingleByte(bytes);
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return text;
}

// Runs `call`, which must throw E, and returns true when it did.
template <class E, class Call> bool Throws(Call&& call) {
    try {
        call();
    } catch (const E&) {
        return true;
    }
    return false;
}

void DataRoundTrip(std::span<const std::uint8_t> input, unsigned variation) {
    Brevora brevora;
    ByteArray data{Bytes(input.begin(), input.end())};
    const auto n = static_cast<std::int32_t>(input.size());
    FUZZ_CHECK(brevora.CompressData(data) == 0);
    if (n < 2) {
        FUZZ_CHECK(brevora.OriginalSize() == 0 && brevora.CompressedSize() == 0);
        FUZZ_CHECK(std::ranges::equal(data.bytes(), input));
        return;
    }
    const Bytes expected = ZlibCompress(input);
    FUZZ_CHECK(brevora.OriginalSize() == n && brevora.CompressedSize() == data.count());
    FUZZ_CHECK(data.lowerBound() == 0 && std::ranges::equal(data.bytes(), expected));

    const ByteArray compressed = data;
    const std::int32_t origSize = OrigSizeVariation(variation, n);
    if (origSize == kInt32Max || origSize < 0) {
        FUZZ_CHECK(
            origSize == kInt32Max
                ? Throws<OverflowError>([&] { brevora.DecompressData(data, origSize); })
                : Throws<SubscriptOutOfRange>([&] { brevora.DecompressData(data, origSize); }));
        FUZZ_CHECK(brevora.CompressedSize() == compressed.count() && brevora.OriginalSize() == 0);
        FUZZ_CHECK(data == compressed);
        return;
    }
    const std::int32_t status = brevora.DecompressData(data, origSize);
    if (n <= static_cast<std::int64_t>(origSize) + 1) {
        FUZZ_CHECK(status == 0);
        FUZZ_CHECK(brevora.OriginalSize() == n && brevora.CompressedSize() == compressed.count());
        FUZZ_CHECK(data.lowerBound() == 0 && std::ranges::equal(data.bytes(), input));
    } else {
        FUZZ_CHECK(status == Z_BUF_ERROR);
        FUZZ_CHECK(brevora.OriginalSize() == 0 && brevora.CompressedSize() == 0);
        FUZZ_CHECK(data == compressed);
    }
}

void StringRoundTrip(std::span<const std::uint8_t> input, unsigned variation) {
    Brevora brevora;
    std::u16string text = TextOf(input, variation & 1);
    const std::u16string throughCodePage = FromSingleByte(ToSingleByte(text));
    const auto length = static_cast<std::int32_t>(text.size());
    FUZZ_CHECK(brevora.CompressString(text) == 0);
    FUZZ_CHECK(brevora.OriginalSize() == length);
    FUZZ_CHECK(brevora.CompressedSize() == static_cast<std::int32_t>(text.size()));
    FUZZ_CHECK(ToSingleByte(text) == ZlibCompress(ToSingleByte(throughCodePage)));

    const std::u16string compressed = text;
    const std::int32_t origSize = OrigSizeVariation(variation >> 1, length);
    if (origSize == kInt32Max || origSize < -1) {
        FUZZ_CHECK(
            origSize == kInt32Max
                ? Throws<OverflowError>([&] { brevora.DecompressString(text, origSize); })
                : Throws<SubscriptOutOfRange>([&] { brevora.DecompressString(text, origSize); }));
        FUZZ_CHECK(brevora.CompressedSize() == static_cast<std::int32_t>(compressed.size()));
        FUZZ_CHECK(brevora.OriginalSize() == 0 && text == compressed);
        return;
    }
    const std::int32_t status = brevora.DecompressString(text, origSize);
    if (length <= static_cast<std::int64_t>(origSize) + 1) {
        FUZZ_CHECK(status == 0);
        FUZZ_CHECK(brevora.OriginalSize() == length);
        FUZZ_CHECK(brevora.CompressedSize() == static_cast<std::int32_t>(compressed.size()));
        FUZZ_CHECK(text == throughCodePage);
    } else {
        FUZZ_CHECK(status == Z_BUF_ERROR);
        FUZZ_CHECK(brevora.OriginalSize() == 0 && brevora.CompressedSize() == 0);
        FUZZ_CHECK(text == compressed);
    }
}

// The outcome of decompressing `stream` into OrigSize + 1 bytes, against zlib's control.
void CheckAgainstZlib(std::int32_t status, std::span<const std::uint8_t> stream,
                      std::int32_t origSize, std::span<const std::uint8_t> result) {
    const auto capacity = static_cast<std::size_t>(static_cast<std::int64_t>(origSize) + 1);
    const ZlibInflation control = ZlibInflate(stream, capacity);
    const bool fits = control.status == Z_OK && control.bytes.size() <= capacity;
    FUZZ_CHECK((status == Z_OK) == fits);
    if (fits)
        FUZZ_CHECK(std::ranges::equal(result, control.bytes));
    else
        FUZZ_CHECK(status == Z_BUF_ERROR || status == Z_DATA_ERROR);
    if (control.status == Z_OK && !fits)
        FUZZ_CHECK(status == Z_BUF_ERROR);
}

void DecompressArbitraryData(std::span<const std::uint8_t> input) {
    const std::int32_t origSize = (input[1] | input[2] << 8) - 1;
    const auto lower = static_cast<std::int8_t>(input[3]);
    const std::span<const std::uint8_t> bytes = input.subspan(4);
    Brevora brevora;
    ByteArray data(Bytes(bytes.begin(), bytes.end()), lower);
    const ByteArray before = data;
    if (bytes.size() < 2) {
        FUZZ_CHECK(brevora.DecompressData(data, origSize) == 0 && data == before);
        FUZZ_CHECK(brevora.OriginalSize() == 0 && brevora.CompressedSize() == 0);
        return;
    }
    if (origSize < 0 || lower > 0 || data.upperBound() < 0) {
        FUZZ_CHECK(Throws<SubscriptOutOfRange>([&] { brevora.DecompressData(data, origSize); }));
        FUZZ_CHECK(brevora.CompressedSize() == data.count() && brevora.OriginalSize() == 0);
        FUZZ_CHECK(data == before);
        return;
    }
    // Read from index 0, whatever the lower bound.
    const std::span<const std::uint8_t> stream = bytes.subspan(static_cast<std::size_t>(-lower));
    const std::int32_t status = brevora.DecompressData(data, origSize);
    CheckAgainstZlib(status, stream, origSize, data.bytes());
    if (status == Z_OK) {
        FUZZ_CHECK(brevora.OriginalSize() == data.count() && data.lowerBound() == 0);
        FUZZ_CHECK(brevora.CompressedSize() == before.count());
    } else {
        FUZZ_CHECK(brevora.OriginalSize() == 0 && brevora.CompressedSize() == 0);
        FUZZ_CHECK(data == before);
    }
}

void DecompressArbitraryString(std::span<const std::uint8_t> input, unsigned variation) {
    const std::int32_t origSize = (input[1] | input[2] << 8) - 2;
    std::u16string text = TextOf(input.subspan(3), variation & 1);
    const std::u16string throughCodePage = FromSingleByte(ToSingleByte(text));
    const auto length = static_cast<std::int32_t>(text.size());
    Brevora brevora;
    if (origSize < -1) {
        FUZZ_CHECK(Throws<SubscriptOutOfRange>([&] { brevora.DecompressString(text, origSize); }));
        FUZZ_CHECK(brevora.CompressedSize() == length && brevora.OriginalSize() == 0);
        return;
    }
    const std::int32_t status = brevora.DecompressString(text, origSize);
    const Bytes stream = ToSingleByte(throughCodePage);
    CheckAgainstZlib(status, stream, origSize, ToSingleByte(text));
    if (status == Z_OK) {
        FUZZ_CHECK(brevora.OriginalSize() == static_cast<std::int32_t>(text.size()));
        FUZZ_CHECK(brevora.CompressedSize() == length);
    } else {
        FUZZ_CHECK(brevora.OriginalSize() == 0 && brevora.CompressedSize() == 0);
        FUZZ_CHECK(text == throughCodePage);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every byte value is one character and back: the string calls rely on it.
    static const bool codePageChecked = [] {
        Bytes all(256);
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<std::uint8_t>(i);
        FUZZ_CHECK(ToSingleByte(FromSingleByte(all)) == all);
        return true;
    }();
    (void)codePageChecked;

    if (size == 0)
        return 0;
    // Missing header bytes of modes 2 and 3 read as 0, so every input means something.
    Bytes input(data, data + size);
    input.resize(std::max<std::size_t>(size, 4));
    const unsigned variation = input[0] >> 2u;
    switch (input[0] & 3u) {
    case 0:
        DataRoundTrip(std::span(data, size).subspan(1), variation);
        break;
    case 1:
        StringRoundTrip(std::span(data, size).subspan(1), variation);
        break;
    case 2:
        DecompressArbitraryData(input);
        break;
    default:
        DecompressArbitraryString(input, variation);
        break;
    }
    return 0;
}
