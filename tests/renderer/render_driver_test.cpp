/* The render command against an in-process fake host that can look into the render record: what the
   record carries, the order of the host calls, and which results pass back. Roles, depths, suite versions
   and a missing suite are exercised through the real host in render_through_host_test.cpp. */
#include "FakeHost.h"

#include "Chaos.h"
#include "Kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

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
    EXPECT_TRUE(host.areaGiven) << "rows: one pixel wide, as tall as the output";
    EXPECT_EQ(host.area.left, 0);
    EXPECT_EQ(host.area.top, 0);
    EXPECT_EQ(host.area.right, 1);
    EXPECT_EQ(host.area.bottom, host.output8.def.height);
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


/* Rows go through one iterate call with an area. A host that refuses the area before drawing gets the pixel
   kernel over every pixel and draws the same frame; a cancel, or a failure after rows were drawn, passes
   back at once. */
TEST(RenderCommand, FallsBackToPixelsOnlyWhenTheHostRefusesTheAreaBeforeDrawing)
{
    struct Case {
        const char* what;
        PF_Err areaResult;
        PF_Err iterateResult;
        PF_Err expected;
        int iterateCalls;
    };
    const Case cases[] = {
        {"areas honoured", PF_Err_NONE, PF_Err_NONE, PF_Err_NONE, 1},
        {"area refused", PF_Err_BAD_CALLBACK_PARAM, PF_Err_NONE, PF_Err_NONE, 2},
        {"area refused, then the pixels fail", PF_Err_INVALID_CALLBACK, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY, 2},
        {"cancelled before drawing", PF_Interrupt_CANCEL, PF_Err_NONE, PF_Interrupt_CANCEL, 1},
        {"failed after drawing rows", PF_Err_NONE, PF_Err_OUT_OF_MEMORY, PF_Err_OUT_OF_MEMORY, 1},
    };
    std::vector<PF_Pixel> reference;
    for (const Case& c : cases) {
        FakeHost host;
        for (A_long y = 0; y < host.input8.def.height; ++y) {
            for (A_long x = 0; x < host.input8.def.width; ++x) {
                host.input8.at(x, y) = PF_Pixel{static_cast<A_u_char>(200 + x), static_cast<A_u_char>(40 * y),
                                                static_cast<A_u_char>(30 * x), 90};
            }
        }
        host.defs[PARAM_HORIZONTAL_DETAIL].u.fs_d.value = 2;
        host.defs[PARAM_VERTICAL_DETAIL].u.fs_d.value = 3;
        host.defs[PARAM_PATTERN_SIZE].u.fs_d.value = 1;
        host.areaResult = c.areaResult;
        host.iterateResult = c.iterateResult;
        EXPECT_EQ(host.render(), c.expected) << c.what;
        EXPECT_EQ(count(host.events, "iterate8 v2"), c.iterateCalls) << c.what;
        if (c.iterateCalls == 2) {
            EXPECT_FALSE(host.areaGiven) << c.what << ": the second call covers every pixel";
            EXPECT_EQ(host.pixelFn8, &Crumbleforge_8) << c.what;
        }
        std::vector<PF_Pixel> drawn;
        for (A_long y = 0; y < host.output8.def.height; ++y) {
            for (A_long x = 0; x < host.output8.def.width; ++x) {
                drawn.push_back(host.output8.at(x, y));
            }
        }
        if (reference.empty()) {
            reference = drawn;
        } else if (c.expected == PF_Err_NONE) {
            EXPECT_TRUE(std::equal(drawn.begin(), drawn.end(), reference.begin(),
                                   [](const PF_Pixel& a, const PF_Pixel& b) { return std::memcmp(&a, &b, sizeof a) == 0; }))
                << c.what << ": the same frame";
        }
    }
}

} // namespace
