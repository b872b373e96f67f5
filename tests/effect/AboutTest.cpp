/* AboutTest.cpp — the about message: its text, its line breaks, its bound, and a host without the
   ANSI suite. */
#include "EffectFixture.h"

#include "AE_EffectCBSuites.h"
#include "Crumbleforge.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using AboutTest = EffectFixture;

TEST_F(AboutTest, FirstLineNamesEffectAndVersion)
{
    const std::string text = fx().about();
    EXPECT_EQ(text.substr(0, text.find('\r')), "Crumble_Forge, v1.6.3");
}

TEST_F(AboutTest, UsesCarriageReturnsOnlyAndEndsWithTenHyphens)
{
    const std::string text = fx().about();
    const std::string description = GetStringPtr(STR_DESCRIPTION);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const auto ownBreaks = std::count(description.begin(), description.end(), '\r');
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), ownBreaks + 3);
    EXPECT_EQ(text, "Crumble_Forge, v1.6.3\r---------\r" + description + "\r----------");
}

TEST_F(AboutTest, ReleasesTheSuiteItUsed)
{
    fx().about();
    const cfhost::SuiteUse use = h().suiteUse(kPFANSISuite, kPFANSISuiteVersion1);
    EXPECT_EQ(use.acquired, 1);
    EXPECT_EQ(use.released, 1);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(AboutTest, WithoutAnsiSuiteReturnsBadCallbackParamAndLeavesMessage)
{
    h().faults().withholdSuite(kPFANSISuite);
    cfhost::CommandFrame frame = fx().prepare(PF_Cmd_ABOUT);
    std::strcpy(frame.out.return_msg, "untouched");
    EXPECT_EQ(fx().send(frame), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(frame.out.return_msg, "untouched");
    EXPECT_EQ(frame.out.out_flags, 0);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(AboutTest, WithoutBasicSuiteReturnsBadCallbackParam)
{
    cfhost::CommandFrame frame = fx().prepare(PF_Cmd_ABOUT);
    frame.in.pica_basicP = nullptr;
    std::strcpy(frame.out.return_msg, "untouched");
    EXPECT_EQ(fx().send(frame), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(frame.out.return_msg, "untouched");
}

TEST(AboutText, LongTextIsCutToTheMessageField)
{
    const std::string description(1000, 'd');
    char field[256 + 16];
    std::memset(field, 'x', sizeof(field));
    composeAboutText(field, 256, "Crumble_Forge", description.c_str());
    EXPECT_EQ(std::strlen(field), 255u);
    EXPECT_EQ(std::string(field, 22), "Crumble_Forge, v1.6.3\r");
    for (size_t i = 256; i < sizeof(field); ++i) {
        EXPECT_EQ(field[i], 'x') << "byte " << i << " past the field was written";
    }
}

} // namespace
