/* DynamicFlagsTest.cpp — chaos that animates must reach the screen on a still layer: the effect tells the
   host, through the dynamic-flags command, when its output varies with time alone, and the host's frame
   cache then renders every frame instead of showing the first one again. */
#include "EffectFixture.h"

#include "Crumbleforge.h"
#include "cfhost/FrameCache.h"

#include <vector>

namespace {

class DynamicFlagsTest : public EffectFixture {
protected:
    void SetUp() override
    {
        EffectFixture::SetUp();
        ASSERT_EQ(fx().globalSetup(), PF_Err_NONE);
        ASSERT_EQ(fx().paramsSetup(), PF_Err_NONE);
    }

    void setChaos(bool on, double speed)
    {
        fx().setCheckbox(PARAM_ENABLE_CHAOS, on);
        fx().setFloat(PARAM_ANIMATION_SPEED, speed);
    }

    // Answer to the query when the host's out_flags held `held`.
    PF_OutFlags answer(PF_OutFlags held, PF_Err expected = PF_Err_NONE)
    {
        cfhost::CommandFrame frame = fx().prepare(PF_Cmd_QUERY_DYNAMIC_FLAGS);
        frame.out.out_flags = held;
        EXPECT_EQ(fx().send(frame), expected);
        return frame.out.out_flags;
    }
};

TEST_F(DynamicFlagsTest, GlobalSetupDeclaresTheDynamicFlags)
{
    EXPECT_EQ(fx().outFlags() & PF_OutFlag_NON_PARAM_VARY, PF_OutFlag_NON_PARAM_VARY);
    EXPECT_EQ(fx().outFlags2() & PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS, PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS);
}

TEST_F(DynamicFlagsTest, AnimatedChaosSetsNonParamVaryAndKeepsOtherBits)
{
    setChaos(true, 100);
    EXPECT_EQ(answer(PF_OutFlag_DEEP_COLOR_AWARE), PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_NON_PARAM_VARY);
    setChaos(true, 0.5);
    EXPECT_EQ(answer(0x100), 0x100 | PF_OutFlag_NON_PARAM_VARY);
}

TEST_F(DynamicFlagsTest, StillPatternsClearNonParamVaryAndKeepOtherBits)
{
    const PF_OutFlags held = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_NON_PARAM_VARY | 0x100;
    setChaos(false, 100);
    EXPECT_EQ(answer(held), PF_OutFlag_DEEP_COLOR_AWARE | 0x100);
    setChaos(true, 0);
    EXPECT_EQ(answer(held), PF_OutFlag_DEEP_COLOR_AWARE | 0x100);
    setChaos(true, -40); // a damaged project: below the slider's range the chaos holds still
    EXPECT_EQ(answer(held), PF_OutFlag_DEEP_COLOR_AWARE | 0x100);
    EXPECT_EQ(h().counters().outstandingCheckouts, 0);
    EXPECT_EQ(h().leakReport(), "");
}

/* The query arrives at one moment; keyframes tell what the rest of the timeline does. */
TEST_F(DynamicFlagsTest, KeyframesThatCanStartTheChaosSetNonParamVary)
{
    struct Case {
        const char* what;
        bool chaosAtZero, chaosLater;
        double speedAtZero, speedLater;
        bool keyChaos, keySpeed;
        bool varies;
    };
    const Case cases[] = {
        {"chaos switched on later", false, true, 100, 100, true, false, true},
        {"speed ramped up from 0", true, true, 0, 60, false, true, true},
        {"both keyframed, off and still at first", false, true, 0, 60, true, true, true},
        {"speed keyframed, chaos constantly off", false, false, 0, 60, false, true, false},
        {"chaos keyframed, speed constantly 0", false, true, 0, 0, true, false, false},
        {"chaos keyframed on and off again at speed 50", true, false, 50, 50, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setChaos(c.chaosAtZero, c.speedAtZero);
        for (const PF_ParamIndex index : {PARAM_ENABLE_CHAOS, PARAM_ANIMATION_SPEED}) {
            fx().clearKeyframes(index);
        }
        if (c.keyChaos) {
            fx().setKeyframe(PARAM_ENABLE_CHAOS, cfhost::FrameTime::ofFrame(0, 24));
            fx().setCheckbox(PARAM_ENABLE_CHAOS, c.chaosLater);
            fx().setKeyframe(PARAM_ENABLE_CHAOS, cfhost::FrameTime::ofFrame(12, 24));
        }
        if (c.keySpeed) {
            fx().setKeyframe(PARAM_ANIMATION_SPEED, cfhost::FrameTime::ofFrame(0, 24));
            fx().setFloat(PARAM_ANIMATION_SPEED, c.speedLater);
            fx().setKeyframe(PARAM_ANIMATION_SPEED, cfhost::FrameTime::ofFrame(12, 24));
        }
        EXPECT_EQ(answer(0), c.varies ? PF_OutFlag_NON_PARAM_VARY : 0);
        EXPECT_EQ(h().leakReport(), "") << "the parameter utilities are released";
    }
}

TEST_F(DynamicFlagsTest, WithoutTheParameterUtilitiesTheValuesAtTheMomentDecide)
{
    setChaos(false, 100);
    fx().setKeyframe(PARAM_ENABLE_CHAOS, cfhost::FrameTime::ofFrame(0, 24));
    fx().setCheckbox(PARAM_ENABLE_CHAOS, true);
    fx().setKeyframe(PARAM_ENABLE_CHAOS, cfhost::FrameTime::ofFrame(12, 24));
    h().faults().withholdSuite(kPFParamUtilsSuite);
    EXPECT_EQ(answer(PF_OutFlag_NON_PARAM_VARY), 0) << "chaos is off at frame 0";
    h().faults().clear();
    EXPECT_EQ(answer(0), PF_OutFlag_NON_PARAM_VARY);
    EXPECT_EQ(h().suiteUse(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3).released, 1);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(DynamicFlagsTest, CheckoutErrorsComeBackUnchangedWithNothingLeftCheckedOut)
{
    setChaos(true, 100);
    for (const unsigned failing : {1u, 2u}) {
        SCOPED_TRACE(failing);
        h().faults().failCheckout(PF_Err_INVALID_INDEX, failing);
        EXPECT_EQ(answer(PF_OutFlag_DEEP_COLOR_AWARE, PF_Err_INVALID_INDEX), PF_OutFlag_DEEP_COLOR_AWARE);
        EXPECT_EQ(h().counters().outstandingCheckouts, 0);
        h().faults().clear();
    }
    EXPECT_EQ(h().leakReport(), "");
}

class StillLayerTest : public DynamicFlagsTest {
protected:
    cfhost::World still{40, 30};
    cfhost::World first{40, 30};
    cfhost::World second{40, 30};

    void SetUp() override
    {
        DynamicFlagsTest::SetUp();
        for (A_long y = 0; y < still.height(); ++y) {
            for (A_long x = 0; x < still.width(); ++x) {
                still.pixel8(x, y) = PF_Pixel{255, static_cast<A_u_char>(x * 6), static_cast<A_u_char>(y * 8), 90};
            }
        }
        fx().setPopup(PARAM_PRESETS, 7);
        fx().setFloat(PARAM_HORIZONTAL_DETAIL, 8);
        fx().setFloat(PARAM_VERTICAL_DETAIL, 8);
        fx().setFloat(PARAM_PATTERN_SIZE, 2);
        fx().setFloat(PARAM_INTENSITY, 2);
    }
};

TEST_F(StillLayerTest, AnimatedChaosRendersEveryFrameThroughTheCache)
{
    setChaos(true, 100);
    cfhost::FrameCache cache(fx());
    ASSERT_EQ(cache.render(still, first, cfhost::FrameTime::ofFrame(0, 24)), PF_Err_NONE);
    ASSERT_EQ(cache.render(still, second, cfhost::FrameTime::ofFrame(1, 24)), PF_Err_NONE);
    EXPECT_FALSE(cache.lastWasCached());
    EXPECT_EQ(cache.renders(), 2);
    EXPECT_FALSE(cfhost::samePixels(first, second)) << "chaos at speed 100 changes the pattern every frame";
}

TEST_F(StillLayerTest, WithoutChaosTheSecondFrameComesFromTheCache)
{
    setChaos(false, 100);
    cfhost::FrameCache cache(fx());
    ASSERT_EQ(cache.render(still, first, cfhost::FrameTime::ofFrame(0, 24)), PF_Err_NONE);
    ASSERT_EQ(cache.render(still, second, cfhost::FrameTime::ofFrame(1, 24)), PF_Err_NONE);
    EXPECT_TRUE(cache.lastWasCached());
    EXPECT_EQ(cache.renders(), 1);
    EXPECT_TRUE(cfhost::samePixels(first, second));
}

TEST_F(StillLayerTest, ChaosKeyframedOnAtFrameTwelveAnimatesFromThereOn)
{
    setChaos(false, 100);
    fx().setKeyframe(PARAM_ENABLE_CHAOS, cfhost::FrameTime::ofFrame(0, 24));
    fx().setCheckbox(PARAM_ENABLE_CHAOS, true);
    fx().setKeyframe(PARAM_ENABLE_CHAOS, cfhost::FrameTime::ofFrame(12, 24));
    cfhost::FrameCache cache(fx());
    std::vector<cfhost::World> frames;
    for (A_long frame = 0; frame < 16; ++frame) {
        frames.emplace_back(40, 30);
        ASSERT_EQ(cache.render(still, frames.back(), cfhost::FrameTime::ofFrame(frame, 24)), PF_Err_NONE);
    }
    EXPECT_EQ(cache.queries(), 1) << "asked once, at frame 0";
    EXPECT_TRUE(cfhost::samePixels(frames[0], frames[11])) << "no chaos before frame 12";
    for (std::size_t frame = 13; frame < frames.size(); ++frame) {
        EXPECT_FALSE(cfhost::samePixels(frames[frame - 1], frames[frame])) << "frame " << frame;
    }
}

TEST_F(StillLayerTest, AConstantChaosOffStillLetsTheHostCache)
{
    setChaos(false, 0);
    fx().setKeyframe(PARAM_ANIMATION_SPEED, cfhost::FrameTime::ofFrame(0, 24));
    fx().setFloat(PARAM_ANIMATION_SPEED, 100);
    fx().setKeyframe(PARAM_ANIMATION_SPEED, cfhost::FrameTime::ofFrame(12, 24));
    cfhost::FrameCache cache(fx());
    for (A_long frame = 12; frame < 16; ++frame) {
        ASSERT_EQ(cache.render(still, first, cfhost::FrameTime::ofFrame(frame, 24)), PF_Err_NONE);
    }
    EXPECT_EQ(cache.renders(), 1);
    EXPECT_EQ(cache.reuses(), 3);
}

TEST_F(StillLayerTest, ANegativeSpeedHoldsStillAsTheHostIsTold)
{
    setChaos(true, -40); // only a damaged project holds a speed below the slider's range
    EXPECT_EQ(answer(PF_OutFlag_NON_PARAM_VARY), 0);
    ASSERT_EQ(fx().render(still, first, cfhost::FrameTime::ofFrame(0, 24)), PF_Err_NONE);
    ASSERT_EQ(fx().render(still, second, cfhost::FrameTime::ofFrame(5000, 24)), PF_Err_NONE);
    EXPECT_TRUE(cfhost::samePixels(first, second));
}

TEST_F(StillLayerTest, ChangingAParameterAsksAgainAndRenders)
{
    setChaos(false, 100);
    cfhost::FrameCache cache(fx());
    ASSERT_EQ(cache.render(still, first, cfhost::FrameTime::ofFrame(0, 24)), PF_Err_NONE);
    setChaos(true, 100);
    ASSERT_EQ(cache.render(still, second, cfhost::FrameTime::ofFrame(0, 24)), PF_Err_NONE);
    EXPECT_EQ(cache.queries(), 2);
    EXPECT_FALSE(cache.lastWasCached());
    ASSERT_EQ(cache.render(still, first, cfhost::FrameTime::ofFrame(1, 24)), PF_Err_NONE);
    EXPECT_EQ(cache.queries(), 2) << "unchanged values need no new query";
    EXPECT_FALSE(cache.lastWasCached());
    EXPECT_EQ(h().leakReport(), "");
}

} // namespace
