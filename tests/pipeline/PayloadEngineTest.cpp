// Both payload engines must hand back one standard zlib stream that inflates to the payload.

#include "PayloadEngine.h"

#include "FileContents.h"
#include "TextureSamples.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace quorvel {

using test::Bytes;

void PrintTo(EngineKind kind, std::ostream* out) {
    *out << EngineName(kind);
}

namespace {

// Both engines must hand back one standard zlib stream that inflates to the payload; zlib's
// must be exactly compress()'s, the bytes the window program writes.
class EnginePayload : public testing::TestWithParam<std::tuple<EngineKind, std::size_t>> {};

TEST_P(EnginePayload, WritesAStreamZlibInflatesToThePayload) {
    const auto [kind, size] = GetParam();
    const Bytes payload = size % 2 ? test::RandomBytes(size) : test::CompressibleBytes(size);
    PayloadEngine engine(kind);
    ByteArray data{Bytes(payload)};
    const CompressionReport report = engine.compressor()(data);
    ASSERT_EQ(report.status, 0);
    EXPECT_EQ(report.originalSize, static_cast<std::int32_t>(size));
    ASSERT_EQ(report.compressedSize, data.count());
    const Bytes stream(data.bytes().begin(), data.bytes().end());
    if (kind == EngineKind::Zlib) {
        EXPECT_EQ(stream, test::ZlibCompress(payload));
    }
    Bytes inflated(size + 1);
    uLongf inflatedSize = static_cast<uLongf>(inflated.size());
    ASSERT_EQ(uncompress(inflated.data(), &inflatedSize, stream.data(),
                         static_cast<uLong>(stream.size())),
              Z_OK);
    inflated.resize(inflatedSize);
    EXPECT_EQ(inflated, payload);
}

INSTANTIATE_TEST_SUITE_P(PayloadEngine, EnginePayload,
                         testing::Combine(testing::Values(EngineKind::Zlib, EngineKind::Libdeflate),
                                          testing::Values(std::size_t{2}, std::size_t{3},
                                                          std::size_t{65536},
                                                          std::size_t{300001})));

TEST(PayloadEngine, LibdeflateLeavesAOneBytePayloadAloneLikeTheComponent) {
    PayloadEngine engine(EngineKind::Libdeflate);
    ByteArray data{Bytes{42}};
    const CompressionReport report = engine.compressor()(data);
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.compressedSize, 0);
    EXPECT_EQ(data.count(), 1);
}

} // namespace
} // namespace quorvel
