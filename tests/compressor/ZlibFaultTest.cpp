// zlib's compress() can't be made to fail through its input: the component's capacity rule
// always leaves room, and memory runs out only under real pressure. This program defines
// compress() itself, so the component links against this stand-in rather than the library's, and
// checks what the component leaves behind when zlib reports a failure.

#include "Brevora.h"

#include <gtest/gtest.h>
#include <zlib.h>

using quorvel::Brevora;
using quorvel::ByteArray;

namespace {
int g_compressStatus = Z_MEM_ERROR;
} // namespace

extern "C" int compress(Bytef* dest, uLongf* destLen, const Bytef*, uLong) {
    // Scribble over the output as a failing deflate may, to show none of it reaches the caller.
    for (uLongf i = 0; i < *destLen; ++i)
        dest[i] = 0xEE;
    return g_compressStatus;
}

class FailingCompress : public testing::TestWithParam<int> {};

TEST_P(FailingCompress, CompressDataKeepsDataAndOriginalSize) {
    g_compressStatus = GetParam();
    const ByteArray input(std::vector<std::uint8_t>{1, 2, 3, 4, 5}, 3);
    Brevora b;
    ByteArray data = input;
    EXPECT_EQ(b.CompressData(data), GetParam());
    EXPECT_EQ(data, input);
    EXPECT_EQ(b.OriginalSize(), 5);
    EXPECT_EQ(b.CompressedSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Statuses, FailingCompress, testing::Values(Z_MEM_ERROR, Z_BUF_ERROR));

TEST(FailingCompress, CompressStringReportsStatusAndKeepsCodePageForm) {
    g_compressStatus = Z_MEM_ERROR;
    Brevora b;
    std::u16string s = u"caf\u00E9 \u4E2D";
    EXPECT_EQ(b.CompressString(s), Z_MEM_ERROR);
#ifndef _WIN32
    EXPECT_EQ(s, u"caf\u00E9 ?");
#endif
    EXPECT_EQ(b.OriginalSize(), 0);
    EXPECT_EQ(b.CompressedSize(), 0);
}
