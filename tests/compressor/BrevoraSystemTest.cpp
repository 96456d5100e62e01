#include "Brevora.h"
#include "MessageBoxPresenter.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <memory>

using quorvel::Brevora;
using quorvel::MessageBoxPresenter;
using quorvel::SetMessageBoxPresenter;

namespace {

// A Brevora whose sizes are nonzero, so a call that must leave them alone shows it.
Brevora WithSizes() {
    Brevora b;
    std::u16string s = u"some text";
    EXPECT_EQ(b.CompressString(s), 0);
    return b;
}

class FakePresenter : public MessageBoxPresenter {
public:
    void ShowInformation(const std::u16string& title, const std::u16string& text) override {
        ++calls;
        lastTitle = title;
        lastText = text;
    }
    int calls = 0;
    std::u16string lastTitle;
    std::u16string lastText;
};

constexpr char16_t kTitle[] = u"Quorvel - Brevora ActiveX DLL";
constexpr char16_t kText[] = u"Brevora\r\n\r\nData compression ActiveX component module.\r\n\r\n"
                             u"Written by the Quorvel developers.\r\n\r\n"
                             u"Special thanks and honor to the authors of the zLib DLL.";

} // namespace

#ifndef _WIN32
struct ErrorText {
    std::int32_t code;
    std::u16string text;
};

class WinAPIError : public testing::TestWithParam<ErrorText> {};

TEST_P(WinAPIError, GivesLibraryTextWholeOrNothing) {
    Brevora b = WithSizes();
    const std::int32_t compressed = b.CompressedSize();
    EXPECT_EQ(b.WinAPIError(GetParam().code), GetParam().text);
    EXPECT_EQ(b.CompressedSize(), compressed);
    EXPECT_EQ(b.OriginalSize(), 9);
}

INSTANTIATE_TEST_SUITE_P(Codes, WinAPIError,
                         testing::Values(ErrorText{ENOENT, u"No such file or directory"},
                                         ErrorText{EACCES, u"Permission denied"},
                                         ErrorText{123456, u""}, ErrorText{-1, u""}));
#endif

TEST(About, ShowsInformationBoxThroughPresenterAndReturnsZero) {
    const auto fake = std::make_shared<FakePresenter>();
    const auto previous = SetMessageBoxPresenter(fake);
    Brevora b = WithSizes();
    const std::int32_t compressed = b.CompressedSize();
    const std::int16_t result = b.About();
    SetMessageBoxPresenter(previous);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(fake->calls, 1);
    EXPECT_EQ(fake->lastTitle, kTitle);
    EXPECT_EQ(fake->lastText, kText);
    EXPECT_EQ(b.CompressedSize(), compressed);
    EXPECT_EQ(b.OriginalSize(), 9);
}

TEST(About, WithoutPresenterWritesBoxToStandardError) {
    const auto previous = SetMessageBoxPresenter(nullptr);
    testing::internal::CaptureStderr();
    const std::int16_t result = Brevora().About();
    const std::string printed = testing::internal::GetCapturedStderr();
    SetMessageBoxPresenter(previous);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed, "Quorvel - Brevora ActiveX DLL\n\n"
                       "Brevora\r\n\r\nData compression ActiveX component module.\r\n\r\n"
                       "Written by the Quorvel developers.\r\n\r\n"
                       "Special thanks and honor to the authors of the zLib DLL.\n");
}
