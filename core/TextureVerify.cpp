#include "TextureVerify.h"

#include "FileOps.h"
#include "TextureError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <vector>

namespace quorvel {
namespace {

constexpr std::size_t kChunk = 256 * 1024;
#ifdef _WIN32
constexpr int kReadFlags = O_RDONLY;
#else
// A pipe or device named by mistake must not block the check or be acted on; it is refused once
// fstat() has seen what the descriptor is.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK;
#endif

class FileCloser {
public:
    explicit FileCloser(int fd) : m_fd(fd) {}
    ~FileCloser() { CurrentFileOps().close(m_fd); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int m_fd;
};

// Reads up to `count` bytes at `offset`, fewer only at the end of the file. Returns the number
// read, or -1 with errno set.
std::int64_t ReadAt(int fd, std::uint8_t* buffer, std::size_t count, std::int64_t offset) {
    const FileOps& ops = CurrentFileOps();
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t got =
            ops.readAt(fd, buffer + done, count - done, offset + static_cast<std::int64_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

} // namespace

VerifyResult VerifyTextureFile(const std::filesystem::path& path) {
    VerifyResult result;
    const FileOps& ops = CurrentFileOps();
    const int fd = ops.open(path, kReadFlags, 0);
    if (fd < 0) {
        result.problem = VerifyProblem::ReadError;
        result.error = LastError();
#ifdef _WIN32
        // The C run-time can't open a folder and says "access denied"; the name is looked at
        // again only to give the true reason, nothing is read through it.
        std::error_code ignored;
        if (errno == EACCES && std::filesystem::is_directory(path, ignored))
            result.error = make_error_code(TextureErrc::NotRegularFile);
#endif
        return result;
    }
    FileCloser closer(fd);
    FileIdentity identity;
    if (ops.fstat(fd, identity) != 0) {
        result.problem = VerifyProblem::ReadError;
        result.error = LastError();
        return result;
    }
    if (!identity.isRegular()) {
        result.problem = VerifyProblem::ReadError;
        result.error = make_error_code(TextureErrc::NotRegularFile);
        return result;
    }

    TextureHead head{};
    const std::int64_t headBytes = ReadAt(fd, head.data(), head.size(), 0);
    if (headBytes < 0) {
        result.problem = VerifyProblem::ReadError;
        result.error = LastError();
        return result;
    }
    result.fileSize = headBytes;
    result.problem = CheckCompressedHead(std::span(head).first(static_cast<std::size_t>(headBytes)),
                                         result.storedSize);
    if (result.problem != VerifyProblem::None)
        return result;

    PayloadStreamCheck check(result.storedSize);
    std::vector<std::uint8_t> input(kChunk);
    for (;;) {
        const std::int64_t got = ReadAt(fd, input.data(), input.size(), result.fileSize);
        if (got < 0) {
            result.problem = VerifyProblem::ReadError;
            result.error = LastError();
            break;
        }
        result.fileSize += got;
        if (got == 0) {
            result.problem = check.Finish();
            break;
        }
        result.problem = check.Feed(std::span(input).first(static_cast<std::size_t>(got)));
        if (result.problem != VerifyProblem::None)
            break;
    }
    result.inflatedSize = check.inflatedSize();
    return result;
}

} // namespace quorvel
