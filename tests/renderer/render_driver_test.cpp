/* The render command against an in-process fake host that can look into the render record: what the
   record carries, the order of the host calls, and which results pass back. Roles, depths, suite versions
   and a missing suite are exercised through the real host in render_through_host_test.cpp. */
#include "FakeHost.h"

#include "Chaos.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

int count(const std::vector<std::string>& events, const std::string& what)
{
    return static_cast<int>(std::count(events.begin(), events.end(), what));
}

TEST(RenderCommand, CopiesEveryParameterIntoTheRecordOnce)
{
    FakeHost host;
    host.defs[PARAM_PRESETS].u.pd.value = 0x107; // the full value, not a byte of it
    host.defs[PARAM_BRIGHTNESS].u.fs_d.value = 12.5;
    host.defs[PARAM_CONTRAST].u.fs_d.value = -30.25;
    host.defs[PARAM_PATTERN_SIZE].u.fs_d.value = 2.75;
    host.defs[PARAM_SCALE_LOCK].u.bd.value = 0x101; // flags keep their low byte
    host.defs[PARAM_HORIZONTAL_DETAIL].u.fs_d.value = 33.5;
    host.defs[PARAM_VERTICAL_DETAIL].u.fs_d.value = 44.5;
    host.defs[PARAM_PIXEL_COLOR].u.cd.value = PF_Pixel{7, 255, 128, 0};
    host.defs[PARAM_BACKGROUND_COLOR].u.cd.value = PF_Pixel{8, 1, 2, 3};
    host.defs[PARAM_USE_ORIGINAL_COLOR].u.bd.value = 0x100;
    host.defs[PARAM_TRANSPARENT_BACKGROUND].u.bd.value = 1;
    host.defs[PARAM_INTENSITY].u.fs_d.value = 6.5;
    host.defs[PARAM_SEED].u.fs_d.value = 12;
    host.defs[PARAM_ANIMATION_SPEED].u.fs_d.value = 40;
    host.defs[PARAM_CHAOS_BEHAVIOR].u.pd.value = 0x302;
    host.output8.def.extent_hint = PF_LRect{0, 2, 6, 9};
    host.useDepth(false);

    ASSERT_EQ(host.render(), PF_Err_NONE);
    const RenderInfo& r = host.record;
    EXPECT_EQ(r.preset, 0x107);
    EXPECT_EQ(r.brightness, 12.5);
    EXPECT_EQ(r.contrast, -30.25);
    EXPECT_EQ(r.patternSize, 2.75);
    EXPECT_EQ(r.scaleLock, 1);
    EXPECT_EQ(r.horizontalDetail, 33.5);
    EXPECT_EQ(r.verticalDetail, 44.5);
    EXPECT_EQ(r.pixelColor, (PF_Pixel{7, 255, 128, 0}));
    EXPECT_EQ(r.pixelColor16, (PF_Pixel16{0, 32768, 16448, 0})) << "derived once; alpha left 0";
    EXPECT_EQ(r.backgroundColor, (PF_Pixel{8, 1, 2, 3}));
    EXPECT_EQ(r.backgroundColor16, (PF_Pixel16{0, 129, 257, 386})) << "(v x 32768 + 128) / 255";
    EXPECT_EQ(r.useOriginalColor, 0);
    EXPECT_EQ(r.transparentBackground, 1);
    EXPECT_EQ(r.chaosEnabled, 0);
    EXPECT_EQ(r.chaosIntensity, 6.5);
    EXPECT_EQ(r.chaosSeed, 12.0);
    EXPECT_EQ(r.chaosSpeed, 40.0);
    EXPECT_EQ(r.chaosBehavior, 2);
    EXPECT_TRUE(host.recordChaosPointerSet) << "points at the empty sequence while chaos is off";
    EXPECT_TRUE(host.recordChaos.empty());
    EXPECT_EQ(r.inputWorld, &host.defs[PARAM_INPUT].u.ld);

    EXPECT_EQ(host.progressBase, 0);
    EXPECT_EQ(host.progressFinal, 7) << "extent lines";
    EXPECT_EQ(host.src, &host.defs[PARAM_INPUT].u.ld);
    EXPECT_EQ(host.area, nullptr);
    EXPECT_EQ(host.dst, host.output);
}

TEST(RenderCommand, ChaosOnBuildsTheFramesFifteenValues)
{
    FakeHost host;
    host.defs[PARAM_ENABLE_CHAOS].u.bd.value = 1;
    host.defs[PARAM_SEED].u.fs_d.value = 3;
    host.defs[PARAM_ANIMATION_SPEED].u.fs_d.value = 100;
    host.defs[PARAM_CHAOS_BEHAVIOR].u.pd.value = CHAOS_DECREASE;
    host.in_data.current_time = 4200;
    host.in_data.time_step = 100;
    ASSERT_EQ(host.render(), PF_Err_NONE);
    ChaosValues expected;
    fillChaosValues(expected, 3, 100, 5, CHAOS_DECREASE, 4200, 100);
    EXPECT_EQ(host.recordChaos.size(), 15u);
    EXPECT_EQ(host.recordChaos, expected);
}

TEST(RenderCommand, ClearsTheOutputBeforeIteratingAndIgnoresAFailedFill)
{
    FakeHost host;
    host.fillResult = PF_Err_OUT_OF_MEMORY;
    host.iterateResult = PF_Interrupt_CANCEL;
    EXPECT_EQ(host.render(), PF_Interrupt_CANCEL) << "the iteration's result, unchanged";
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(host.events[0], "fill");
    EXPECT_EQ(count(host.events, "iterate8 v2"), 1);
}

} // namespace
