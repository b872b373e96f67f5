/* TextOutputTest.cpp — text the command writes: numbers, numbered file names, the progress line and the
   names it gives to version words and flags. */
#include <gtest/gtest.h>

#include "commands/Describe.h"
#include "common/Errors.h"
#include "common/Progress.h"
#include "images/Sequence.h"
#include "common/Text.h"

namespace cfcli {
namespace {

TEST(Text, NumbersAreWrittenShortestButExact)
{
    EXPECT_EQ(shortestText(0.05f), "0.05");
    EXPECT_EQ(shortestText(250.0f), "250");
    EXPECT_EQ(shortestText(-150.0f), "-150");
    EXPECT_EQ(shortestText(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(std::stof(shortestText(0.1f + 0.2f)), 0.1f + 0.2f);
    EXPECT_EQ(shortestText(0.1 + 0.2), "0.30000000000000004");
}

TEST(SequencePattern, NamesFramesAsPrintfWould)
{
    const auto p = SequencePattern::parse("shots/take_%04d.png");
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->format(7), "shots/take_0007.png");
    EXPECT_EQ(p->format(12345), "shots/take_12345.png");
    EXPECT_EQ(p->format(-12), "shots/take_-012.png");
    EXPECT_EQ(SequencePattern::parse("f%d.png")->format(-3), "f-3.png");
    EXPECT_EQ(SequencePattern::parse("f%4d.png")->format(-3), "f  -3.png");
    EXPECT_EQ(SequencePattern::parse("100%%_%02d.png")->format(5), "100%_05.png");
}

TEST(SequencePattern, PlainNamesAndBadPatternsAreTold)
{
    EXPECT_FALSE(SequencePattern::parse("still.png").has_value());
    EXPECT_FALSE(SequencePattern::parse("50%.png").has_value());
    EXPECT_THROW(SequencePattern::parse("a%d_%d.png"), UsageError);
    EXPECT_THROW(SequencePattern::parse("take%d/frame.png"), UsageError);
}

TEST(Progress, LineShowsFramesRateAndTimeLeft)
{
    EXPECT_EQ(progressLine(25, 100, 5.0, 80), "[##########..............................] 25/100 frames  5.0 fps  0:15 left");
    EXPECT_NE(progressLine(100, 100, 20.0, 80).find("] 100/100 frames  5.0 fps  0:20 total"), std::string::npos);
    EXPECT_NE(progressLine(0, 100, 0.0, 80).find("0/100 frames  0.0 fps  --:-- left"), std::string::npos);
    EXPECT_EQ(progressLine(7, -1, 3500.0, 80), "7 frames  0.0 fps  58:20 elapsed");
    EXPECT_NE(progressLine(1, 2, 7200.0, 80).find("2:00:00 left"), std::string::npos);
    EXPECT_LE(progressLine(5, 10, 1.0, 40).size(), 40u) << "the bar shrinks to fit narrow terminals";
}

TEST(Describe, VersionWordsAndFlagsAreSpelledOut)
{
    EXPECT_EQ(versionText(PF_VERSION(1, 6, 3, PF_Stage_RELEASE, 0)), "1.6.3 release, build 0");
    EXPECT_EQ(versionText(PF_VERSION(13, 2, 0, PF_Stage_BETA, 17)), "13.2.0 beta, build 17");
    EXPECT_EQ(outFlagNames(PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_PIX_INDEPENDENT),
              (std::vector<std::string>{"PIX_INDEPENDENT", "DEEP_COLOR_AWARE"}));
    EXPECT_EQ(outFlag2Names(PF_OutFlag2_SUPPORTS_THREADED_RENDERING | (1 << 9)),
              (std::vector<std::string>{"SUPPORTS_THREADED_RENDERING", "0x00000200"}));
}

} // namespace
} // namespace cfcli
