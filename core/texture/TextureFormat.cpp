#include "TextureFormat.h"

#include <algorithm>
#include <new>
#include <vector>
#include <zlib.h>

namespace quorvel {
namespace {

constexpr std::size_t kSizeOffset = 8;
constexpr std::size_t kSeparatorOffset = 12;
constexpr std::uint8_t kSeparatorByte = '@';
static_assert(kSeparatorByte == kFillerByte);
constexpr std::size_t kOutputChunk = 256 * 1024;
// Deflate's densest code gives 258 bytes for two bits; the slack covers a stream too short for
// even one such code.
constexpr std::size_t kMaxInflateRatio = 1032;
constexpr std::size_t kInflateSlack = 64;

} // namespace

bool IsMarkedCompressed(std::span<const std::uint8_t> head) noexcept {
    return head.size() > kMarkerIndex && head[kMarkerIndex] > kHighestUncompressedMarker;
}

TextureHead CompressedHead(std::span<const std::uint8_t, 8> header,
                           std::int32_t payloadSize) noexcept {
    TextureHead head{};
    std::copy(header.begin(), header.end(), head.begin());
    head[kMarkerIndex] = kCompressedMarker;
    const auto size = static_cast<std::uint32_t>(payloadSize);
    for (std::size_t i = 0; i < 4; ++i)
        head[kSizeOffset + i] = static_cast<std::uint8_t>(size >> (8 * i));
    std::fill(head.begin() + kSeparatorOffset, head.end(), kSeparatorByte);
    return head;
}

std::int32_t StoredPayloadSize(const TextureHead& head) noexcept {
    std::uint32_t size = 0;
    for (std::size_t i = 0; i < 4; ++i)
        size |= static_cast<std::uint32_t>(head[kSizeOffset + i]) << (8 * i);
    return static_cast<std::int32_t>(size);
}

VerifyProblem CheckCompressedHead(std::span<const std::uint8_t> head,
                                  std::int32_t& storedSize) noexcept {
    if (!IsMarkedCompressed(head))
        return VerifyProblem::NotMarked;
    if (head.size() < kTextureHeaderBytes)
        return VerifyProblem::TooShort;
    TextureHead full{};
    std::copy_n(head.begin(), kTextureHeaderBytes, full.begin());
    storedSize = StoredPayloadSize(full);
    if (!std::all_of(full.begin() + kSeparatorOffset, full.end(),
                     [](std::uint8_t byte) { return byte == kSeparatorByte; }))
        return VerifyProblem::BadSeparator;
    if (storedSize < 0)
        return VerifyProblem::NegativeSize;
    return VerifyProblem::None;
}

bool HasRewriteMarker(std::span<const std::uint8_t> head) noexcept {
    return head.size() > kMarkerIndex && head[kMarkerIndex] == kCompressedMarker;
}

TextureHead
RestoredHead(std::span<const std::uint8_t, kTextureHeaderBytes> compressedHead) noexcept {
    TextureHead head{};
    std::copy_n(compressedHead.begin(), kMarkerIndex, head.begin());
    std::fill(head.begin() + kMarkerIndex, head.end(), kFillerByte);
    return head;
}

namespace {

// Frees the inflate state on every path.
struct InflateState {
    z_stream stream{};
    InflateState() {
        if (inflateInit(&stream) != Z_OK)
            throw std::bad_alloc();
    }
    ~InflateState() { inflateEnd(&stream); }
    InflateState(const InflateState&) = delete;
    InflateState& operator=(const InflateState&) = delete;
};

} // namespace

VerifyProblem InflatePayload(std::span<const std::uint8_t> stream, std::int32_t storedSize,
                             ByteBuffer& payload) {
    payload.clear();
    if (storedSize < 0)
        return VerifyProblem::NegativeSize;
    // One byte more than promised, so a stream that goes on past the stored size is caught
    // without allocating for it.
    const std::size_t capacity = static_cast<std::size_t>(storedSize) + 1;
    // A sound stream can't inflate to more than kMaxInflateRatio times its length, so a short
    // file claiming a huge stored size gets no more memory than its stream could ever fill.
    std::size_t reserved = std::min(capacity, stream.size() * kMaxInflateRatio + kInflateSlack);
    payload.resize(reserved);
    InflateState state;
    z_stream& z = state.stream;
    // zlib doesn't write through next_in; its interface just predates const. Both counts fit in
    // uInt: the stream comes from a file whose payload is below 2^31 bytes, the output is at most
    // 2^31 bytes.
    z.next_in = const_cast<std::uint8_t*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = payload.data();
    z.avail_out = static_cast<uInt>(reserved);
    int status = Z_OK;
    for (;;) {
        status = inflate(&z, Z_NO_FLUSH);
        const bool outOfRoom = z.avail_out == 0 && reserved < capacity;
        if (status != Z_OK && !(status == Z_BUF_ERROR && outOfRoom))
            break;
        if (outOfRoom) {
            // Not expected of zlib, but the stored size stays the only limit that decides.
            const std::size_t filled = reserved;
            reserved = capacity;
            payload.resize(reserved);
            z.next_out = payload.data() + filled;
            z.avail_out = static_cast<uInt>(reserved - filled);
        }
    }
    const std::size_t inflated = reserved - z.avail_out;
    payload.resize(std::min(inflated, static_cast<std::size_t>(storedSize)));
    switch (status) {
    case Z_MEM_ERROR:
        throw std::bad_alloc();
    case Z_STREAM_END:
        if (inflated > static_cast<std::size_t>(storedSize))
            return VerifyProblem::SizeMismatch;
        if (z.avail_in > 0)
            return VerifyProblem::TrailingData;
        if (inflated != static_cast<std::size_t>(storedSize))
            return VerifyProblem::SizeMismatch;
        return VerifyProblem::None;
    case Z_BUF_ERROR:
        // Either the extra byte is filled (more than promised) or the input ran out.
        return z.avail_out == 0 ? VerifyProblem::SizeMismatch : VerifyProblem::Truncated;
    default: // Z_DATA_ERROR, Z_NEED_DICT, Z_STREAM_ERROR
        // Damage found only after more than the stored size came out: the size was wrong first,
        // as PayloadStreamCheck sees it.
        return inflated > static_cast<std::size_t>(storedSize) ? VerifyProblem::SizeMismatch
                                                               : VerifyProblem::CorruptStream;
    }
}

// Owns the inflate state and its output buffer; frees the state on every path.
struct PayloadStreamCheck::Inflater {
    z_stream stream{};
    std::vector<std::uint8_t> output = std::vector<std::uint8_t>(kOutputChunk);

    Inflater() {
        if (inflateInit(&stream) != Z_OK)
            throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&stream); }
};

PayloadStreamCheck::PayloadStreamCheck(std::int32_t storedSize)
    : m_inflater(std::make_unique<Inflater>()), m_expected(storedSize) {}

PayloadStreamCheck::~PayloadStreamCheck() = default;

VerifyProblem PayloadStreamCheck::Feed(std::span<const std::uint8_t> piece) {
    if (m_problem != VerifyProblem::None || piece.empty())
        return m_problem;
    if (m_ended) // the stream ended in an earlier piece and more bytes came
        return m_problem = VerifyProblem::TrailingData;
    z_stream& z = m_inflater->stream;
    std::vector<std::uint8_t>& output = m_inflater->output;
    // zlib doesn't write through next_in; its interface just predates const.
    z.next_in = const_cast<std::uint8_t*>(piece.data());
    z.avail_in = static_cast<uInt>(piece.size());
    while (z.avail_in > 0 && !m_ended) {
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        const int status = inflate(&z, Z_NO_FLUSH);
        m_inflated += static_cast<std::int64_t>(output.size() - z.avail_out);
        if (status == Z_MEM_ERROR)
            throw std::bad_alloc();
        // Stop early once the stream gives more than the header promised, even when damage
        // follows in the same call: the first problem in the stream is named, whatever the
        // pieces are.
        if (m_inflated > m_expected)
            return m_problem = VerifyProblem::SizeMismatch;
        if (status == Z_DATA_ERROR || status == Z_NEED_DICT || status == Z_STREAM_ERROR)
            return m_problem = VerifyProblem::CorruptStream;
        if (status == Z_STREAM_END)
            m_ended = true;
        else if (status == Z_BUF_ERROR && z.avail_out != 0)
            break; // needs more input
    }
    if (m_ended && z.avail_in > 0)
        return m_problem = VerifyProblem::TrailingData;
    return VerifyProblem::None;
}

VerifyProblem PayloadStreamCheck::Finish() {
    if (m_problem != VerifyProblem::None)
        return m_problem;
    if (!m_ended)
        return m_problem = VerifyProblem::Truncated;
    if (m_inflated != m_expected)
        return m_problem = VerifyProblem::SizeMismatch;
    return VerifyProblem::None;
}

} // namespace quorvel
