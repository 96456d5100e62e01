// The report writers: human units, and a JSON report whose string escaping survives any path.

#include "ConsoleReport.h"
#include "JsonReport.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(ConsoleReport, HumanBytesUsesBinaryUnitsWithThreeDigits) {
    const std::pair<std::int64_t, const char*> cases[] = {{0, "0 B"},
                                                          {1023, "1023 B"},
                                                          {1024, "1.00 KiB"},
                                                          {1536, "1.50 KiB"},
                                                          {10 * 1024 * 1024 + 1, "10.0 MiB"},
                                                          {-2048, "-2.00 KiB"},
                                                          {5LL << 40, "5.00 TiB"}};
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(HumanBytes(bytes), text) << bytes;
}

TEST(ConsoleReport, ProgressShowsRateAndTimeLeftOnceMeasurable) {
    ProgressSnapshot s{3, 10, 10 * 1024 * 1024, 30 * 1024 * 1024, 1024 * 1024, 2.0};
    EXPECT_EQ(FormatProgress(s), "3/10 files  10.0 MiB read  1.0 MiB saved  5.0 MiB/s  0:04 left");
    s.seconds = 0.1;
    EXPECT_EQ(FormatProgress(s), "3/10 files  10.0 MiB read  1.0 MiB saved");
}

TEST(JsonReport, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01 \xC3\xA9"), "\"a\\\"b\\\\c\\u000ad\\u0001 \xC3\xA9\"");
}

} // namespace
} // namespace quorvel
