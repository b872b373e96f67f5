/* The arithmetic rules of the kernels, called directly: clamps, slider mapping, contrast and brightness,
   levels, blocks, cells and pixel addresses, including values no host should send. */
#include "Crumbleforge_Helpers.h"
#include "RenderInfo.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr float inff = std::numeric_limits<float>::infinity();
constexpr float nanf = std::numeric_limits<float>::quiet_NaN();

TEST(ChannelClamps, HoldValuesInsideTheChannelRange)
{
    EXPECT_EQ(truncate8(-5), 0);
    EXPECT_EQ(truncate8(300), 255);
    EXPECT_EQ(truncate8(200), 200);
    EXPECT_EQ(truncate16(40000), 32768);
    EXPECT_EQ(truncate16(32768), 32768);
    EXPECT_EQ(truncate16(-1), 0);
}

TEST(ColourConversion, EightBitChannelsScaleToTheHostsSixteenBitRange)
{
    const PF_Pixel16 white = colour16(PF_Pixel{255, 255, 255, 255});
    EXPECT_EQ(white.red, 32768);
    EXPECT_EQ(white.green, 32768);
    EXPECT_EQ(white.blue, 32768);
    EXPECT_EQ(white.alpha, 0) << "alpha always comes from the input";
    const PF_Pixel16 mixed = colour16(PF_Pixel{255, 0, 128, 1});
    EXPECT_EQ(mixed.red, 0);
    EXPECT_EQ(mixed.green, 16448);
    EXPECT_EQ(mixed.blue, 129); // (32768 + 128) / 255
}

TEST(SliderMapping, MapsLinearlyWithoutClamping)
{
    EXPECT_EQ(convertSlider(20, -100, 100, -255, 255), 51.0);
    EXPECT_EQ(convertSlider(0, -100, 100, -255, 255), 0.0);
    EXPECT_EQ(convertSlider(100, -100, 100, -32768, 32768), 32768.0);
    EXPECT_EQ(convertSlider(200, -100, 100, -255, 255), 510.0);
}

TEST(Brightness, OffsetIsTruncatedTowardZeroInBothDepths)
{
    struct Case {
        double brightness;
        A_long offset8, offset16;
    };
    for (const Case c : {Case{20, 51, 6553}, Case{1, 2, 327}, Case{-1, -2, -327}, Case{100, 255, 32768},
                         Case{50, 127, 16384}, Case{0, 0, 0}, Case{-100, -255, -32768}}) {
        EXPECT_EQ(brightnessOffset(c.brightness, 255), c.offset8) << c.brightness;
        EXPECT_EQ(brightnessOffset(c.brightness, 32768), c.offset16) << c.brightness;
    }
}

TEST(Brightness, DamagedValuesSaturateOrCountAsZero)
{
    EXPECT_EQ(brightnessOffset(nan, 255), 0);
    EXPECT_EQ(brightnessOffset(inf, 255), TONE_LIMIT);
    EXPECT_EQ(brightnessOffset(-1e300, 32768), -TONE_LIMIT);
}

TEST(Contrast, FactorFollowsTheSinglePrecisionFormula)
{
    EXPECT_EQ(contrastFactor(0.0), 1.0f);
    EXPECT_NEAR(static_cast<double>(contrastFactor(150.0)), 3.774, 0.001);
    EXPECT_NEAR(static_cast<double>(contrastFactor(-150.0)), 0.2608, 0.0001);
    // Outside -255..255 the formula turns meaningless (and divides by zero at 259): held at the ends.
    EXPECT_EQ(contrastFactor(259.0), contrastFactor(255.0));
    EXPECT_EQ(contrastFactor(inf), contrastFactor(255.0));
    EXPECT_EQ(contrastFactor(-1e300), 0.0f);
    EXPECT_EQ(contrastFactor(nan), 1.0f);
}

TEST(ToneAdjustment, ContrastThenBrightnessThenClamp)
{
    EXPECT_EQ(bcControls8(1.0f, 0, 200), 200);
    EXPECT_EQ(bcControls8(1.0f, -255, 100), 0);
    EXPECT_EQ(bcControls8(2.0f, 0, 0), 0) << "-128 clamps to 0";
    EXPECT_EQ(bcControls8(1.0f, 51, 250), 255);
    EXPECT_EQ(bcControls16(3.774f, 0, 32768), 32768) << "far above 32768 clamps to the top";
    EXPECT_EQ(bcControls16(1.0f, 6553, 100), 6653);
    // (160 - 128) * 1.5 + 128 = 176 exactly; (131 - 128) * 0.5 + 128 = 129.5 truncates to 129.
    EXPECT_EQ(bcControls8(1.5f, 0, 160), 176);
    EXPECT_EQ(bcControls8(0.5f, 0, 131), 129);
    // 0 at factor 1.01: -128 * 1.01 + 128 = -1.28 truncates toward zero to -1, plus 2 gives 1 (not 0).
    EXPECT_EQ(bcControls8(1.01f, 2, 0), 1);
}

TEST(ToneAdjustment, NonFiniteFactorsAndHugeOffsetsStayDefined)
{
    EXPECT_EQ(bcControls8(inff, 0, 200), 255);
    EXPECT_EQ(bcControls8(inff, 0, 10), 0);
    EXPECT_EQ(bcControls8(nanf, 7, 200), 7) << "a NaN tone counts as 0";
    EXPECT_EQ(bcControls16(1.0f, std::numeric_limits<int>::max(), 5), 32768);
    EXPECT_EQ(bcControls16(1.0f, std::numeric_limits<int>::min(), 32768), 0);
}

TEST(Posterize, LevelThresholdsOfBothDepths)
{
    EXPECT_EQ(posterizePixel(0, 7, false), 0);
    EXPECT_EQ(posterizePixel(36, 7, false), 0);
    EXPECT_EQ(posterizePixel(37, 7, false), 1);
    EXPECT_EQ(posterizePixel(216, 7, false), 5);
    EXPECT_EQ(posterizePixel(217, 7, false), 6);
    EXPECT_EQ(posterizePixel(255, 7, false), 6);
    EXPECT_EQ(posterizePixel(17, 15, false), 0);
    EXPECT_EQ(posterizePixel(18, 15, false), 1);
    EXPECT_EQ(posterizePixel(255, 15, false), 14);
    EXPECT_EQ(posterizePixel(4681, 7, true), 0);
    EXPECT_EQ(posterizePixel(4682, 7, true), 1);
    EXPECT_EQ(posterizePixel(32768, 7, true), 6) << "not 7: the top tone stays in the top level";
    EXPECT_EQ(posterizePixel(32768, 15, true), 14);
    EXPECT_EQ(posterizePixel(255, 1, false), 0);
    EXPECT_EQ(posterizePixel(12, 0, false), -1);
    EXPECT_EQ(posterizePixel(12, -3, true), -1);
}

/* The level rule as first stated: step sums until one reaches the tone. */
int levelBySteps(int tone, int levels, bool is16)
{
    const int step = (is16 ? 32768 : 255) / levels;
    int sum = 0;
    for (int i = 0; i <= levels - 2; ++i) {
        sum += step;
        if (sum >= tone) {
            return i;
        }
    }
    return levels - 1;
}

TEST(Posterize, AgreesWithTheRunningSumRuleForEveryToneAndLevelCount)
{
    for (const bool is16 : {false, true}) {
        for (const int levels : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 36, 255, 256, 1000}) {
            std::vector<int> tones;
            for (int tone = 0; tone <= 65535; tone += (tone < 300 ? 1 : 97)) {
                tones.push_back(tone);
            }
            const int step = (is16 ? 32768 : 255) / levels;
            for (int k = 1; step > 0 && k <= levels + 1 && k * step < 65535; ++k) { // either side of every threshold
                tones.insert(tones.end(), {k * step - 1, k * step, k * step + 1});
            }
            for (const int tone : tones) {
                ASSERT_EQ(posterizePixel(static_cast<A_u_short>(tone), levels, is16), levelBySteps(tone, levels, is16))
                    << "tone " << tone << ", " << levels << " levels, 16-bit " << is16;
            }
        }
    }
}

TEST(TileSize, EachPresetHasItsTileAndEveryOtherValueFive)
{
    const int expected[] = {6, 12, 8, 6, 8, 6, 5, 5, 6, 6};
    for (int preset = 1; preset <= 10; ++preset) {
        EXPECT_EQ(getTileSize(preset), expected[preset - 1]) << preset;
    }
    for (const int other : {0, 11, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        EXPECT_EQ(getTileSize(other), 5) << other;
    }
}

TEST(Blocks, OriginIsTheLargestMultipleOfTheRoundedSize)
{
    EXPECT_EQ(getBlock(7, 3.0f), 6);
    EXPECT_EQ(getBlock(7, 2.5f), 6) << "2.5 rounds away from zero to 3";
    EXPECT_EQ(getBlock(7, 2.49f), 6);
    EXPECT_EQ(getBlock(7, 0.2f), 7) << "raised to 1";
    EXPECT_EQ(getBlock(0, 250.0f), 0);
    EXPECT_EQ(getBlock(251, 250.0f), 250);
    EXPECT_EQ(getBlock(-7, 3.0f), -9) << "left of the layer the grid goes on";
}

TEST(Blocks, DamagedSizesStayBetweenOneAndTheLimit)
{
    EXPECT_EQ(blockSize(nanf, 100), 1);
    EXPECT_EQ(blockSize(-inff, 100), 1);
    EXPECT_EQ(blockSize(inff, 100), 100);
    EXPECT_EQ(blockSize(1e30f, 100), 100);
    EXPECT_EQ(blockSize(1e30f, 0), 1) << "an empty layer still has blocks of 1";
    EXPECT_EQ(getBlock(12345, inff), 0);
    EXPECT_EQ(getBlock(12345, nanf), 12345);
}

TEST(Cells, CoordinateDividedByTheScaleWrapsInTheTile)
{
    EXPECT_EQ(scalePattern(7, 2.0f, 6), 3);
    EXPECT_EQ(scalePattern(13, 1.0f, 6), 1);
    EXPECT_EQ(scalePattern(7, 1.0f, 6), 1);
    EXPECT_EQ(scalePattern(0, 3.0f, 5), 0);
    EXPECT_EQ(scalePattern(14, 3.0f, 5), 4);
    EXPECT_EQ(scalePattern(15, 3.0f, 5), 0);
}

TEST(Cells, CellSizesAtOrBelowZeroNeverLeaveTheTile)
{
    // A negative size mirrors the grid: -1 / -1 = 1 wraps to 4, -3 to 2, -5 to 0.
    EXPECT_EQ(scalePattern(1, -1.0f, 5), 4);
    EXPECT_EQ(scalePattern(3, -1.0f, 5), 2);
    EXPECT_EQ(scalePattern(5, -1.0f, 5), 0);
    EXPECT_EQ(scalePattern(1, -0.3f, 5), 1) << "-3.33 floors to -4, wraps to 1";
    EXPECT_EQ(scalePattern(4, 0.0f, 5), -1) << "no cell";
    EXPECT_EQ(scalePattern(4, nanf, 5), -1);
    EXPECT_EQ(scalePattern(4, inff, 5), -1);
    EXPECT_EQ(cellIndex(inff, 6), -1);
    EXPECT_EQ(cellIndex(-0.0f, 6), 0);
    EXPECT_EQ(cellIndex(2.0f, 0), -1);
    for (float position = -100.0f; position < 100.0f; position += 0.37f) {
        const int cell = cellIndex(position, 12);
        ASSERT_GE(cell, 0) << position;
        ASSERT_LT(cell, 12) << position;
    }
}

TEST(PixelAddress, FollowsPaddedAndNegativeRowbytes)
{
    alignas(8) unsigned char bytes[256] = {};
    PF_LayerDef world{};
    world.data = static_cast<PF_Pixel*>(static_cast<void*>(bytes));
    world.rowbytes = 40;
    const char* base = static_cast<const char*>(static_cast<void*>(bytes));
    EXPECT_EQ(static_cast<void*>(getPixel8(world, 0, 0)), static_cast<void*>(bytes));
    EXPECT_EQ(static_cast<const void*>(getPixel8(world, 1, 1)), static_cast<const void*>(base + 40 + 4));
    EXPECT_EQ(static_cast<const void*>(getPixel16(world, 1, 1)), static_cast<const void*>(base + 40 + 8));
    EXPECT_EQ(static_cast<const void*>(getPixel16(world, 3, 2)), static_cast<const void*>(base + 80 + 24));

    world.data = static_cast<PF_Pixel*>(static_cast<void*>(bytes + 200)); // bottom-up rows
    world.rowbytes = -40;
    EXPECT_EQ(static_cast<const void*>(getPixel8(world, 2, 3)), static_cast<const void*>(base + 200 - 120 + 8));
}

} // namespace
