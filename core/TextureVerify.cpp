#include "TextureVerify.h"

#include "TextureError.h"

#include <array>
#include <cerrno>
#include <fstream>
#include <vector>

namespace quorvel {
namespace {

constexpr std::size_t kChunk = 256 * 1024;

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
    TextureHead head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    const auto headBytes = static_cast<std::size_t>(in.gcount());
    result.fileSize = static_cast<std::int64_t>(headBytes);
    if (in.bad()) {
        result.problem = VerifyProblem::ReadError;
        result.error = LastError();
        return result;
    }
    result.problem = CheckCompressedHead(std::span(head).first(headBytes), result.storedSize);
    if (result.problem != VerifyProblem::None)
        return result;

    PayloadStreamCheck check(result.storedSize);
    std::vector<std::uint8_t> input(kChunk);
    for (;;) {
        in.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(kChunk));
        const auto got = static_cast<std::size_t>(in.gcount());
        result.fileSize += static_cast<std::int64_t>(got);
        if (in.bad()) {
            result.problem = VerifyProblem::ReadError;
            result.error = LastError();
            break;
        }
        if (got == 0) {
            result.problem = check.Finish();
            break;
        }
        if ((result.problem = check.Feed(std::span(input).first(got))) != VerifyProblem::None)
            break;
    }
    result.inflatedSize = check.inflatedSize();
    return result;
}

} // namespace quorvel
