// Fuzz target of the verifier: the input is a whole file that should be a compressed texture.
// One marked with another value above 0x40 is another layout and is not judged.
//
// The same bytes are judged three ways, which must agree: by VerifyTextureFile on a file (an
// anonymous memory file opened by name, as --verify opens one), by the head check and the
// streaming check fed in pieces of random sizes (the file is read in 256 KiB pieces, so piece
// boundaries must not change the verdict), and by the restorer's one-shot inflate. zlib's own
// uncompress is the control: a file is sound exactly when its head is sound and its stream
// inflates to exactly the stored size with nothing after it.

#include "FuzzCheck.h"
#include "TextureFormat.h"
#include "TextureVerify.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

using namespace quorvel;

// Stored sizes above this aren't inflated in memory: a fuzz input of a few KiB can't inflate to
// so much (deflate expands at most about 1032 times), and the allocation would only hit
// libFuzzer's memory limit.
constexpr std::int32_t kMaxInMemory = 16 << 20;

// The memory file the verifier opens, made once per process and rewritten for each input.
struct MemoryFile {
    int fd = memfd_create("fuzz-texture", 0);
    std::string path = "/proc/self/fd/" + std::to_string(fd);

    void write(std::span<const std::uint8_t> bytes) const {
        FUZZ_CHECK(fd >= 0);
        FUZZ_CHECK(ftruncate(fd, 0) == 0);
        FUZZ_CHECK(pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    }
};

// zlib's verdict: `stream` is one zlib stream that inflates to exactly `storedSize` bytes and
// ends where the input ends.
bool ZlibSaysExact(std::span<const std::uint8_t> stream, std::int32_t storedSize) {
    ByteBuffer out; // not zero-filled: up to 16 MiB for each input would slow the run down
    out.resize(static_cast<std::size_t>(storedSize) + 1);
    uLongf outLen = static_cast<uLongf>(out.size());
    uLong inLen = static_cast<uLong>(stream.size());
    const int status = uncompress2(out.data(), &outLen, stream.data(), &inLen);
    return status == Z_OK && outLen == static_cast<uLongf>(storedSize) && inLen == stream.size();
}

// The verifier's steps on bytes in memory, with the stream fed in pieces of random sizes.
VerifyProblem VerifyInPieces(std::span<const std::uint8_t> file, std::int32_t& storedSize,
                             std::int64_t& inflated) {
    const VerifyProblem head = CheckCompressedHead(
        file.first(std::min<std::size_t>(file.size(), kTextureHeaderBytes)), storedSize);
    if (head != VerifyProblem::None)
        return head;
    std::minstd_rand random(
        static_cast<unsigned>(crc32(0, file.data(), static_cast<uInt>(file.size()))));
    PayloadStreamCheck check(storedSize);
    std::span<const std::uint8_t> rest = file.subspan(kTextureHeaderBytes);
    VerifyProblem problem = VerifyProblem::None;
    while (!rest.empty() && problem == VerifyProblem::None) {
        const std::size_t piece = std::min<std::size_t>(rest.size(), 1 + random() % 64);
        problem = check.Feed(rest.first(piece));
        rest = rest.subspan(piece);
    }
    if (problem == VerifyProblem::None)
        problem = check.Finish();
    inflated = check.inflatedSize();
    return problem;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    static const MemoryFile memory;
    memory.write(file);

    const VerifyResult onDisk = VerifyTextureFile(memory.path);
    FUZZ_CHECK(onDisk.failedStep == Step::None && !onDisk.error);
    FUZZ_CHECK(onDisk.fileSize <= static_cast<std::int64_t>(size));
    // Another marker above 0x40 is a layout this program doesn't write: not judged, as restoring
    // leaves it alone too.
    if (IsMarkedCompressed(file) && !HasRewriteMarker(file)) {
        FUZZ_CHECK(onDisk.outcome == Outcome::OtherLayout);
        return 0;
    }
    FUZZ_CHECK(onDisk.outcome != Outcome::OtherLayout);

    std::int32_t storedSize = 0;
    std::int64_t inflated = 0;
    const VerifyProblem inPieces = VerifyInPieces(file, storedSize, inflated);
    FUZZ_CHECK(onDisk.problem == inPieces);
    if (onDisk.problem == VerifyProblem::NotMarked || onDisk.problem == VerifyProblem::TooShort)
        return 0;
    FUZZ_CHECK(onDisk.storedSize == storedSize);
    if (onDisk.problem == VerifyProblem::BadSeparator ||
        onDisk.problem == VerifyProblem::NegativeSize)
        return 0;

    if (onDisk.good()) {
        FUZZ_CHECK(onDisk.fileSize == static_cast<std::int64_t>(size));
        FUZZ_CHECK(onDisk.inflatedSize == storedSize && inflated == storedSize);
    } else {
        FUZZ_CHECK(onDisk.inflatedSize <= static_cast<std::int64_t>(storedSize) + (256 << 10));
    }
    if (storedSize > kMaxInMemory)
        return 0;
    const std::span<const std::uint8_t> stream = file.subspan(kTextureHeaderBytes);
    FUZZ_CHECK(onDisk.good() == ZlibSaysExact(stream, storedSize));
    ByteBuffer payload;
    FUZZ_CHECK(InflatePayload(stream, storedSize, payload) == onDisk.problem);
    return 0;
}
