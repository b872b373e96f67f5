/* FilterParamsTest.cpp — the frei0r values and the settings text against the numbers the command takes: a
   value typed to seven digits lands on the slider's decimal, and a settings text sets what it names. */
#include "FilterParams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using cff0r::FilterValues;

const ParamRow& rowOf(ParamIndex index)
{
    for (const ParamRow& row : kParams) {
        if (row.index == index) {
            return row;
        }
    }
    throw std::out_of_range("no such row");
}

/* Every value on a slider's decimal grid, given as its frei0r value printed to seven significant digits (as a
   user copies it), comes back as the double the command parses from the decimal text. */
TEST(FilterParams, TypedSliderValuesLandOnTheCommandsNumbers)
{
    for (const ParamRow& row : kParams) {
        if (row.type != PF_Param_FLOAT_SLIDER) {
            continue;
        }
        const double step = std::pow(10.0, -row.precision);
        const long steps = std::lround((static_cast<double>(row.max) - static_cast<double>(row.min)) / step);
        for (long i = 0; i <= steps; i += 1 + steps / 2000) {
            char decimal[32];
            std::snprintf(decimal, sizeof decimal, "%.*f", row.precision, static_cast<double>(row.min) + static_cast<double>(i) * step);
            const double wanted = std::strtod(decimal, nullptr);
            char typed[32];
            std::snprintf(typed, sizeof typed, "%.7g", cff0r::toFrei0r(row, wanted));
            EXPECT_EQ(cff0r::fromFrei0r(row, std::strtod(typed, nullptr)), wanted)
                << GetStringPtr(row.label) << " " << decimal << " typed as " << typed;
        }
    }
}

TEST(FilterParams, PopupsAndOutOfRangeValues)
{
    struct Case {
        ParamIndex index;
        double frei0r;
        double effect;
    };
    const Case cases[] = {
        {PARAM_PRESETS, 0.0, 1},          {PARAM_PRESETS, 1.0 / 9 - 0.01, 2}, {PARAM_PRESETS, 1.0, 10},
        {PARAM_PRESETS, 1.7, 10},         {PARAM_PRESETS, -3, 1},             {PARAM_CHAOS_BEHAVIOR, 0.5, 2},
        {PARAM_CHAOS_BEHAVIOR, 0.74, 2},  {PARAM_CHAOS_BEHAVIOR, 0.76, 3},    {PARAM_BRIGHTNESS, -0.5, -100},
        {PARAM_BRIGHTNESS, 2.0, 100},     {PARAM_BRIGHTNESS, std::nan(""), -100},      {PARAM_SCALE_LOCK, 0.49, 0},
        {PARAM_SCALE_LOCK, 0.5, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cff0r::fromFrei0r(rowOf(c.index), c.frei0r), c.effect)
            << GetStringPtr(rowOf(c.index).label) << " at " << c.frei0r;
    }
}

TEST(FilterParams, SettingsTextSetsWhatItNamesAndSkipsWhatItCannotRead)
{
    FilterValues values;
    std::vector<std::string> problems;
    cff0r::applySettings(values,
                         " presets = numbers & letters ;Seed=1001;Pattern Size=4.25;Nothing=1;Pixel Color=#f80;"
                         "Frame Rate=30000/1001;Time in Milliseconds=yes;Enable Chaos;;Background Color=zz",
                         problems);
    EXPECT_EQ(values.effect[PARAM_PRESETS].number, 2);
    EXPECT_EQ(values.effect[PARAM_SEED].number, 0) << "1001 is past the slider's range: left as it was";
    EXPECT_EQ(values.effect[PARAM_PATTERN_SIZE].number, 4.25);
    EXPECT_EQ(values.effect[PARAM_PIXEL_COLOR].color.red, 0xff);
    EXPECT_EQ(values.effect[PARAM_PIXEL_COLOR].color.green, 0x88);
    EXPECT_EQ(values.effect[PARAM_PIXEL_COLOR].color.blue, 0x00);
    EXPECT_EQ(values.effect[PARAM_BACKGROUND_COLOR].color.red, 0);
    EXPECT_DOUBLE_EQ(values.framesPerSecond, 30000.0 / 1001.0);
    EXPECT_TRUE(values.milliseconds);
    EXPECT_EQ(problems.size(), 4u) << "Seed, Nothing, Enable Chaos without a value, Background Color";
}

TEST(FilterParams, FrameNumberFromTheHostsTime)
{
    FilterValues values;
    values.framesPerSecond = 30000.0 / 1001.0;
    EXPECT_EQ(cff0r::frameNumber(values, 1001.0 / 30000.0 * 4999), 4999) << "seconds, as MLT passes them";
    values.milliseconds = true;
    EXPECT_EQ(cff0r::frameNumber(values, 33.3667), 1) << "milliseconds, rounded to the nearest frame";
    EXPECT_EQ(cff0r::frameNumber(values, -9.2e18), -21474836) << "ffmpeg's unknown time: held, not overflowed";
    EXPECT_EQ(cff0r::frameNumber(values, std::nan("")), 0);
}

} // namespace
