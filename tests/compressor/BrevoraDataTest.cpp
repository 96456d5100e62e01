#include "Brevora.h"

#include <gtest/gtest.h>

using quorvel::Brevora;

TEST(Brevora, NewInstanceReportsZeroSizes) {
    Brevora b;
    EXPECT_EQ(b.CompressedSize(), 0);
    EXPECT_EQ(b.OriginalSize(), 0);
}
