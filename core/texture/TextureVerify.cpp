#include "TextureVerify.h"

#include "FileOps.h"
#include "System.h"
#include "TextureError.h"
#include "TextureFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <vector>

namespace quorvel {
namespace {

constexpr std::size_t kChunk = 256 * 1024;

// A pipe or device named by mistake must not block the check or be acted on; it is refused once
// fstat() has seen what the descriptor is.
int ReadFlags() {
    return O_RDONLY | SystemCapabilities().openNoBlock;
}

VerifyResult VerifyOpened(int fd);

// A marked file is sound or damaged; one not marked has nothing to check.
Outcome OutcomeOf(VerifyProblem problem) {
    if (problem == VerifyProblem::None)
        return Outcome::Verified;
    return problem == VerifyProblem::NotMarked ? Outcome::NotCompressed : Outcome::VerifyFailed;
}

} // namespace

void VerifyResult::SetFailure(Step step, std::error_code reason) noexcept {
    outcome = Outcome::VerifyFailed;
    problem = VerifyProblem::None;
    failedStep = step;
    error = reason;
}

VerifyResult VerifyTextureFile(const std::filesystem::path& path) {
    const int fd = CurrentFileOps().openAt(kNoFolder, path, ReadFlags(), 0);
    if (fd < 0) {
        VerifyResult result;
        result.SetFailure(Step::Open, LastError());
        // Where opening a folder says "access denied", the name is looked at again only to
        // give the true reason; nothing is read through it.
        std::error_code ignored;
        if (SystemCapabilities().refusesFoldersAsAccessDenied && errno == EACCES &&
            std::filesystem::is_directory(path, ignored))
            result.error = make_error_code(TextureErrc::NotRegularFile);
        return result;
    }
    const FileDescriptor closer(fd);
    return VerifyOpened(fd);
}

VerifyResult VerifyTextureFile(const FileInFolder& file) {
    // A link inside a walked tree is never followed.
    const int fd = file.folder
                       ? CurrentFileOps().openAt(file.folder->handle(), file.name,
                                                 ReadFlags() | SystemCapabilities().openNoFollow, 0)
                       : -1;
    if (!file.folder)
        errno = EBADF;
    if (fd < 0) {
        VerifyResult result;
        result.SetFailure(Step::Open, LastError());
        return result;
    }
    const FileDescriptor closer(fd);
    return VerifyOpened(fd);
}

namespace {

VerifyResult VerifyOpened(int fd) {
    VerifyResult result;
    const FileOps& ops = CurrentFileOps();
    FileIdentity identity;
    if (ops.fstat(fd, identity) != 0) {
        result.SetFailure(Step::Open, LastError());
        return result;
    }
    if (!identity.isRegular()) {
        result.SetFailure(Step::Open, make_error_code(TextureErrc::NotRegularFile));
        return result;
    }

    TextureHead head{};
    const std::int64_t headBytes = ReadFully(CurrentFileOps(), fd, head.data(), head.size(), 0);
    if (headBytes < 0) {
        result.SetFailure(Step::Read, LastError());
        return result;
    }
    result.fileSize = headBytes;
    const std::span<const std::uint8_t> read =
        std::span(head).first(static_cast<std::size_t>(headBytes));
    // Another marker above 0x40 is a compressed layout this program doesn't write: not judged,
    // as restoring leaves it alone too.
    if (IsMarkedCompressed(read) && !HasRewriteMarker(read)) {
        result.outcome = Outcome::OtherLayout;
        return result;
    }
    result.problem = CheckCompressedHead(read, result.storedSize);
    if (result.problem != VerifyProblem::None) {
        result.outcome = OutcomeOf(result.problem);
        return result;
    }

    PayloadStreamCheck check(result.storedSize);
    std::vector<std::uint8_t> input(kChunk);
    for (;;) {
        const std::int64_t got =
            ReadFully(CurrentFileOps(), fd, input.data(), input.size(), result.fileSize);
        if (got < 0) {
            result.SetFailure(Step::Read, LastError());
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
    if (result.failedStep == Step::None)
        result.outcome = OutcomeOf(result.problem);
    return result;
}

} // namespace
} // namespace quorvel
