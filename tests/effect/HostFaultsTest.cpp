/* HostFaultsTest.cpp — a host that withholds a suite, refuses a parameter, fails its fill or is cancelled
   mid-frame gets the right result back, and the effect leaves nothing acquired or allocated behind. */
#include "EffectFixture.h"

#include "AE_EffectCBSuites.h"
#include "Crumbleforge.h"

#include <string>

namespace {

class HostFaultsTest : public EffectFixture {
protected:
    void SetUp() override
    {
        EffectFixture::SetUp();
        ASSERT_EQ(fx().globalSetup(), PF_Err_NONE);
        ASSERT_EQ(fx().paramsSetup(), PF_Err_NONE);
    }

    static cfhost::World gradient(cfhost::Depth depth)
    {
        cfhost::World world(48, 32, depth);
        for (A_long y = 0; y < world.height(); ++y) {
            for (A_long x = 0; x < world.width(); ++x) {
                const PF_Pixel p{255, static_cast<A_u_char>(x * 5), static_cast<A_u_char>(y * 7), 128};
                if (world.deep()) {
                    world.pixel16(x, y) = cfhost::to16(p);
                } else {
                    world.pixel8(x, y) = p;
                }
            }
        }
        return world;
    }

    static bool transparentBlack(const cfhost::World& world)
    {
        const cfhost::World blank(world.width(), world.height(), world.depth());
        return cfhost::samePixels(world, blank);
    }
};

TEST_F(HostFaultsTest, EachWithheldIterationSuiteEndsTheFrameWith516AndABlankOutput)
{
    struct Case {
        const char* suite;
        int32_t version;
        cfhost::Depth depth;
        A_short minor;
    } cases[] = {{kPFIterate8Suite, kPFIterate8SuiteVersion1, cfhost::Depth::Eight, 26},
                 {kPFIterate8Suite, kPFIterate8SuiteVersion2, cfhost::Depth::Eight, 28},
                 {kPFIterate16Suite, kPFIterate16SuiteVersion1, cfhost::Depth::Sixteen, 26},
                 {kPFIterate16Suite, kPFIterate16SuiteVersion2, cfhost::Depth::Sixteen, 28}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.suite) + " v" + std::to_string(c.version));
        h().faults().clear();
        h().faults().withholdSuite(c.suite, c.version);
        const cfhost::World input = gradient(c.depth);
        cfhost::World output(input.width(), input.height(), c.depth);
        if (output.deep()) {
            output.fill(PF_Pixel16{1, 2, 3, 4});
        } else {
            output.fill(PF_Pixel{1, 2, 3, 4});
        }
        cfhost::CommandFrame frame = fx().prepare(PF_Cmd_RENDER, &input, &output);
        frame.in.version.minor = c.minor;
        EXPECT_EQ(fx().send(frame), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_TRUE(transparentBlack(output));
        EXPECT_EQ(h().leakReport(), "");
    }
}

TEST_F(HostFaultsTest, AWithheldSuiteTheFrameDoesNotNeedChangesNothing)
{
    h().faults().withholdSuite(kPFIterate16Suite);
    h().faults().withholdSuite(kPFANSISuite);
    const cfhost::World input = gradient(cfhost::Depth::Eight);
    cfhost::World output(input.width(), input.height());
    EXPECT_EQ(fx().render(input, output), PF_Err_NONE);
    EXPECT_FALSE(transparentBlack(output));
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(HostFaultsTest, RefusingAnyParameterStopsSetupThereWithThatError)
{
    for (unsigned position = 1; position <= 22; ++position) {
        SCOPED_TRACE(position);
        cfhost::Host freshHost;
        cfhost::EffectInstance fresh(freshHost, CRUMBLEFORGE_MODULE_PATH);
        fresh.registerModule();
        const PF_Err refusal = static_cast<PF_Err>(PF_Err_INVALID_INDEX + position % 3);
        freshHost.faults().rejectAddParam(position, refusal);
        cfhost::CommandFrame frame = fresh.prepare(PF_Cmd_PARAMS_SETUP);
        frame.out.num_params = -1;
        EXPECT_EQ(fresh.send(frame), refusal);
        EXPECT_EQ(freshHost.counters().addParamCalls, static_cast<long>(position));
        EXPECT_EQ(frame.out.num_params, -1);
        EXPECT_EQ(freshHost.leakReport(), "");
    }
}

TEST_F(HostFaultsTest, CancelMidFrameComesBackUnchangedWithNothingLeft)
{
    for (const cfhost::Depth depth : {cfhost::Depth::Eight, cfhost::Depth::Sixteen}) {
        h().faults().clear();
        h().faults().abortAfterRows(5);
        fx().setCheckbox(PARAM_ENABLE_CHAOS, true);
        const cfhost::World input = gradient(depth);
        cfhost::World output(input.width(), input.height(), depth);
        EXPECT_EQ(fx().render(input, output), PF_Interrupt_CANCEL);
        EXPECT_EQ(h().leakReport(), "");
    }
}

TEST_F(HostFaultsTest, AFailingFillDoesNotStopTheFrame)
{
    const cfhost::World input = gradient(cfhost::Depth::Eight);
    cfhost::World expected(input.width(), input.height());
    ASSERT_EQ(fx().render(input, expected), PF_Err_NONE);

    h().faults().failFill(PF_Err_OUT_OF_MEMORY);
    cfhost::World output(input.width(), input.height());
    output.fill(PF_Pixel{9, 9, 9, 9});
    EXPECT_EQ(fx().render(input, output), PF_Err_NONE);
    EXPECT_TRUE(cfhost::samePixels(expected, output)) << "every pixel is written by the frame itself";
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(HostFaultsTest, TransparentPixelsAreFullyClearedEvenWithoutFill)
{
    fx().setCheckbox(PARAM_TRANSPARENT_BACKGROUND, true);
    h().faults().failFill(PF_Err_OUT_OF_MEMORY);
    cfhost::World input(16, 16);
    input.fill(PF_Pixel{255, 0, 0, 0}); // black: level 1 everywhere, so every pixel is transparent
    cfhost::World output(16, 16);
    output.fill(PF_Pixel{200, 100, 50, 25});
    EXPECT_EQ(fx().render(input, output), PF_Err_NONE);
    EXPECT_TRUE(transparentBlack(output));
}

} // namespace
