#include "TextureVerify.h"

#include "TextureError.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>
#include <zlib.h>

namespace quorvel {
namespace {

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::uint8_t kHighestUncompressedMarker = 0x40;

std::error_code LastError() {
    return ErrorFromErrno(errno != 0 ? errno : EIO);
}

// Frees the inflate state on every return path.
class Inflater {
public:
    Inflater() { m_ok = inflateInit(&m_stream) == Z_OK; }
    ~Inflater() {
        if (m_ok)
            inflateEnd(&m_stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ok() const { return m_ok; }
    z_stream& stream() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

} // namespace

VerifyResult VerifyTextureFile(const std::filesystem::path& path) {
    VerifyResult result;
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.problem = VerifyProblem::ReadError;
        result.error = LastError();
        return result;
    }
    std::array<std::uint8_t, 16> head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    const auto headBytes = static_cast<std::size_t>(in.gcount());
    result.fileSize = static_cast<std::int64_t>(headBytes);
    if (in.bad()) {
        result.problem = VerifyProblem::ReadError;
        result.error = LastError();
        return result;
    }
    if (headBytes < 8 || head[7] <= kHighestUncompressedMarker) {
        result.problem = VerifyProblem::NotMarked;
        return result;
    }
    if (headBytes < 16) {
        result.problem = VerifyProblem::TooShort;
        return result;
    }
    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i)
        size |= static_cast<std::uint32_t>(head[static_cast<std::size_t>(8 + i)]) << (8 * i);
    result.storedSize = static_cast<std::int32_t>(size);
    if (std::memcmp(head.data() + 12, "@@@@", 4) != 0) {
        result.problem = VerifyProblem::BadSeparator;
        return result;
    }
    if (result.storedSize < 0) {
        result.problem = VerifyProblem::NegativeSize;
        return result;
    }

    Inflater inflater;
    if (!inflater.ok())
        throw std::bad_alloc();
    z_stream& z = inflater.stream();
    std::vector<std::uint8_t> input(kChunk);
    std::vector<std::uint8_t> output(kChunk);
    bool ended = false;
    for (;;) {
        in.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(kChunk));
        const auto got = static_cast<std::size_t>(in.gcount());
        result.fileSize += static_cast<std::int64_t>(got);
        if (in.bad()) {
            result.problem = VerifyProblem::ReadError;
            result.error = LastError();
            return result;
        }
        if (got == 0)
            break;
        if (ended) { // the stream ended in an earlier piece and more bytes came
            result.problem = VerifyProblem::TrailingData;
            return result;
        }
        z.next_in = input.data();
        z.avail_in = static_cast<uInt>(got);
        while (z.avail_in > 0 && !ended) {
            z.next_out = output.data();
            z.avail_out = static_cast<uInt>(output.size());
            const int status = inflate(&z, Z_NO_FLUSH);
            result.inflatedSize += static_cast<std::int64_t>(output.size() - z.avail_out);
            if (status == Z_MEM_ERROR)
                throw std::bad_alloc();
            if (status == Z_DATA_ERROR || status == Z_NEED_DICT || status == Z_STREAM_ERROR) {
                result.problem = VerifyProblem::CorruptStream;
                return result;
            }
            // Stop early once the stream gives more than the header promised.
            if (result.inflatedSize > result.storedSize) {
                result.problem = VerifyProblem::SizeMismatch;
                return result;
            }
            if (status == Z_STREAM_END)
                ended = true;
            else if (status == Z_BUF_ERROR && z.avail_out != 0)
                break; // needs more input
        }
        if (ended && z.avail_in > 0) {
            result.problem = VerifyProblem::TrailingData;
            return result;
        }
    }
    if (!ended)
        result.problem = VerifyProblem::Truncated;
    else if (result.inflatedSize != result.storedSize)
        result.problem = VerifyProblem::SizeMismatch;
    return result;
}

const char* DescribeProblem(VerifyProblem problem) {
    switch (problem) {
    case VerifyProblem::None:
        return "the file is sound";
    case VerifyProblem::NotMarked:
        return "the file is not marked as compressed";
    case VerifyProblem::TooShort:
        return "the file is marked as compressed but shorter than its 16-byte header";
    case VerifyProblem::BadSeparator:
        return "header bytes 12 to 15 are not \"@@@@\"";
    case VerifyProblem::NegativeSize:
        return "the stored payload size is negative";
    case VerifyProblem::CorruptStream:
        return "the zlib stream is damaged (bad data or checksum)";
    case VerifyProblem::Truncated:
        return "the zlib stream is cut short";
    case VerifyProblem::SizeMismatch:
        return "the zlib stream does not inflate to the stored payload size";
    case VerifyProblem::TrailingData:
        return "bytes follow the end of the zlib stream";
    case VerifyProblem::ReadError:
        return "the file could not be read";
    }
    return "unknown problem";
}

} // namespace quorvel
