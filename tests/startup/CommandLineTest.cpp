#include "CommandLine.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

using quorvel::SkipProgramName;
using quorvel::StripQuotes;

namespace {

struct QuoteCase {
    const char* name;
    std::string commandLine;
    std::string expected;
};

void PrintTo(const QuoteCase& c, std::ostream* os) {
    *os << c.name;
}

class StripQuotesTest : public testing::TestWithParam<QuoteCase> {};

TEST_P(StripQuotesTest, RemovesEveryQuoteOnlyWhenTheFirstCharacterIsOne) {
    const QuoteCase& c = GetParam();
    EXPECT_EQ(StripQuotes(c.commandLine), c.expected);
    EXPECT_EQ(StripQuotes(std::wstring(c.commandLine.begin(), c.commandLine.end())),
              std::wstring(c.expected.begin(), c.expected.end()));
}

INSTANTIATE_TEST_SUITE_P(
    QuoteRule, StripQuotesTest,
    testing::Values(QuoteCase{"Empty", "", ""}, QuoteCase{"LoneQuote", "\"", ""},
                    QuoteCase{"TwoQuotes", "\"\"", ""},
                    QuoteCase{"QuotedPathWithBlank", "\"a b.ace\"", "a b.ace"},
                    QuoteCase{"QuotesInsideQuotedText", "\"a \"b\" c.ace", "a b c.ace"},
                    QuoteCase{"TrailingBlankKept", "\"a.ace\" ", "a.ace "},
                    QuoteCase{"UnquotedKeepsQuotes", "a \"b\".ace", "a \"b\".ace"},
                    QuoteCase{"LeadingBlankKeepsQuotes", " \"a.ace\"", " \"a.ace\""},
                    QuoteCase{"TrailingQuoteOnlyKept", "a.ace\"", "a.ace\""}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct WindowsLineCase {
    const char* name;
    std::wstring commandLine;
    std::wstring rest;
};

void PrintTo(const WindowsLineCase& c, std::ostream* os) {
    *os << c.name;
}

class SkipProgramNameTest : public testing::TestWithParam<WindowsLineCase> {};

TEST_P(SkipProgramNameTest, LeavesTheTextAfterTheNameAndItsBlanks) {
    EXPECT_EQ(SkipProgramName(GetParam().commandLine), GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(
    WindowsCommandLine, SkipProgramNameTest,
    testing::Values(
        WindowsLineCase{"Empty", L"", L""}, WindowsLineCase{"NameOnly", L"quorvel.exe", L""},
        WindowsLineCase{"NameAndBlanks", L"quorvel.exe   ", L""},
        WindowsLineCase{"PlainArgument", L"quorvel.exe a.ace", L"a.ace"},
        WindowsLineCase{"TabsAndQuotedArgument", L"quorvel.exe \t \"C:\\x y\\a.ace\" ",
                        L"\"C:\\x y\\a.ace\" "},
        WindowsLineCase{"QuotedNameWithBlank", L"\"C:\\Program Files\\q.exe\" a b.ace", L"a b.ace"},
        WindowsLineCase{"TextAfterClosingQuoteBelongsToName",
                        L"\"C:\\Program Files\\q.exe\"x a.ace", L"a.ace"},
        WindowsLineCase{"QuotesInsideName", L"C:\\\"Program Files\"\\q.exe a.ace", L"a.ace"},
        WindowsLineCase{"UnterminatedQuotedName", L"\"C:\\unterminated a.ace", L""},
        WindowsLineCase{"ArgumentQuotesKept", L"q.exe \"a \"b\".ace", L"\"a \"b\".ace"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

#ifndef _WIN32
TEST(CommandLineText, JoinsTheArgumentsAfterTheProgramNameWithSingleBlanks) {
    std::vector<std::string> args{"quorvel", "/tmp/a", "b  c.ace", "\"d\""};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    EXPECT_EQ(quorvel::CommandLineText(4, argv.data()), "/tmp/a b  c.ace \"d\"");
    EXPECT_EQ(quorvel::CommandLineText(1, argv.data()), "");
    EXPECT_EQ(quorvel::CommandLineText(0, argv.data()), "");
}
#endif

} // namespace
