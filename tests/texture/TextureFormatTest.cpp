// The layout helpers: what the rewrite writes must read back as a sound head, the marker
// boundary sits between 0x40 and 0x41, and the stream check gives the same answer however the
// stream is cut into pieces.

#include "TextureFormat.h"

#include "FileContents.h"
#include "TextureSamples.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

using test::Bytes;

TEST(TextureFormat, MarkerBoundaryAndShortHeads) {
    Bytes head = test::MakeTexture(0x40, {});
    EXPECT_FALSE(IsMarkedCompressed(head));
    head[7] = 0x41;
    EXPECT_TRUE(IsMarkedCompressed(head));
    EXPECT_FALSE(IsMarkedCompressed(std::span(head).first(7)));
}

TEST(TextureFormat, CompressedHeadReadsBackWithItsSize) {
    const std::array<std::uint8_t, 8> header{1, 2, 3, 4, 5, 6, 7, 0x12};
    for (const std::int32_t size : {1, 0x01020304, 0x7FFFFFFF}) {
        const TextureHead head = CompressedHead(header, size);
        EXPECT_TRUE(std::equal(header.begin(), header.begin() + 7, head.begin()));
        EXPECT_EQ(StoredPayloadSize(head), size);
        std::int32_t stored = 0;
        EXPECT_EQ(CheckCompressedHead(head, stored), VerifyProblem::None);
        EXPECT_EQ(stored, size);
    }
}

TEST(TextureFormat, StreamCheckIsIndependentOfPieceSize) {
    const Bytes payload = test::RandomBytes(70000, 3);
    const Bytes stream = test::ZlibCompress(payload);
    for (const std::size_t pieceSize : {std::size_t{1}, std::size_t{7}, stream.size()}) {
        for (const std::int64_t delta : {0, 1, -1}) {
            PayloadStreamCheck check(static_cast<std::int32_t>(payload.size() + delta));
            VerifyProblem problem = VerifyProblem::None;
            for (std::size_t at = 0; at < stream.size() && problem == VerifyProblem::None;
                 at += pieceSize)
                problem = check.Feed(
                    std::span(stream).subspan(at, std::min(pieceSize, stream.size() - at)));
            if (problem == VerifyProblem::None)
                problem = check.Finish();
            EXPECT_EQ(problem, delta == 0 ? VerifyProblem::None : VerifyProblem::SizeMismatch)
                << "pieces of " << pieceSize << ", stored size off by " << delta;
        }
    }
}

} // namespace
} // namespace quorvel
