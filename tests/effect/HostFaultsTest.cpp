/* HostFaultsTest.cpp — a host that withholds a suite, refuses a parameter, fails its fill, has no memory
   for handles, cannot resize one, is cancelled mid-frame or calls without what a command needs gets the
   right result back, and the effect leaves nothing acquired or allocated behind. */
#include "EffectFixture.h"

#include "AE_EffectCBSuites.h"
#include "Crumbleforge.h"

#include <cstring>
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

/* Every command in the order an application sends them, with the results a host without any memory for
   handles must get: only the two commands that allocate the sequence block fail, and report it. */
TEST_F(HostFaultsTest, WithoutMemoryForHandlesOnlyTheSequenceBlockFails)
{
    const cfhost::World input = gradient(cfhost::Depth::Eight);
    cfhost::World expected(input.width(), input.height());
    ASSERT_EQ(fx().render(input, expected), PF_Err_NONE);
    const std::string aboutText = fx().about();

    cfhost::Host freshHost;
    cfhost::EffectInstance fresh(freshHost, CRUMBLEFORGE_MODULE_PATH);
    fresh.registerModule();
    freshHost.faults().failEveryHandleAllocation();
    EXPECT_EQ(fresh.globalSetup(), PF_Err_NONE);
    EXPECT_EQ(fresh.paramsSetup(), PF_Err_NONE);
    EXPECT_EQ(fresh.sequenceSetup(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(fresh.sequenceResetup(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(fresh.about(), aboutText);
    cfhost::World output(input.width(), input.height());
    EXPECT_EQ(fresh.render(input, output), PF_Err_NONE);
    EXPECT_TRUE(cfhost::samePixels(expected, output)) << "frames need no handle";
    EXPECT_EQ(fresh.queryDynamicFlags(), PF_Err_NONE);
    for (PF_Cmd cmd = 0; cmd < PF_Cmd_NUM_CMDS; ++cmd) {
        if (cmd == PF_Cmd_SEQUENCE_SETUP || cmd == PF_Cmd_SEQUENCE_RESETUP) {
            continue;
        }
        cfhost::World scratch(input.width(), input.height());
        cfhost::CommandFrame frame = fresh.prepare(cmd, &input, &scratch);
        EXPECT_EQ(fresh.send(frame), PF_Err_NONE) << "command " << cmd;
    }
    EXPECT_EQ(fresh.sequenceSetdown(), PF_Err_NONE);
    EXPECT_EQ(fresh.globalSetdown(), PF_Err_NONE);
    EXPECT_EQ(freshHost.counters().liveHandles, 0);
    EXPECT_EQ(freshHost.leakReport(), "");
}

/* The host's resize fails (no memory for the platform's size): the block is kept as it came, since its
   contents are never read, and setdown still disposes of it. */
PF_Err resizeWithoutMemory(A_u_longlong, PF_Handle*)
{
    return PF_Err_OUT_OF_MEMORY;
}

TEST_F(HostFaultsTest, ABlockTheHostCannotResizeIsKeptAndStillDisposed)
{
    PF_UtilCallbacks utils = *h().utilCallbacks();
    utils.host_resize_handle = resizeWithoutMemory;
    for (const PF_Cmd cmd : {PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_SETDOWN}) {
        SCOPED_TRACE(cmd);
        PF_Handle block = fx().presetSequenceData(SEQUENCE_DATA_SIZE + 3);
        cfhost::CommandFrame frame = fx().prepare(cmd);
        frame.in.utils = &utils;
        EXPECT_EQ(fx().send(frame), PF_Err_NONE);
        if (cmd == PF_Cmd_SEQUENCE_SETUP) {
            EXPECT_EQ(frame.in.sequence_data, block);
            EXPECT_EQ(h().handleSize(block), static_cast<std::size_t>(SEQUENCE_DATA_SIZE + 3));
        } else {
            EXPECT_FALSE(h().ownsHandle(block));
        }
    }
    EXPECT_EQ(h().counters().liveHandles, 0);
    EXPECT_EQ(h().leakReport(), "");
}

/* A render is only sent once parameter setup succeeded. One without every parameter (setup refused, a
   damaged call) or without an output world is refused before anything is touched. */
TEST_F(HostFaultsTest, AFrameWithoutItsParametersOrOutputIsRefusedUntouched)
{
    const cfhost::World input = gradient(cfhost::Depth::Eight);
    const PF_Pixel marker{1, 2, 3, 4};
    cfhost::World output(input.width(), input.height());
    auto untouched = [&] {
        cfhost::World marked(input.width(), input.height());
        marked.fill(marker);
        return cfhost::samePixels(output, marked);
    };

    cfhost::Host freshHost;
    cfhost::EffectInstance fresh(freshHost, CRUMBLEFORGE_MODULE_PATH);
    fresh.registerModule();
    freshHost.faults().rejectAddParam(5, PF_Err_OUT_OF_MEMORY);
    ASSERT_EQ(fresh.paramsSetup(), PF_Err_OUT_OF_MEMORY);
    output.fill(marker);
    EXPECT_EQ(fresh.render(input, output), PF_Err_BAD_CALLBACK_PARAM) << "setup was refused";
    EXPECT_TRUE(untouched());
    EXPECT_EQ(freshHost.leakReport(), "");

    struct Damage {
        const char* what;
        void (*apply)(cfhost::CommandFrame&);
    } damages[] = {
        {"one parameter short", [](cfhost::CommandFrame& f) { f.in.num_params = PARAM_COUNT - 1; }},
        {"parameter array cut short", [](cfhost::CommandFrame& f) { f.paramStore.resize(PARAM_COUNT - 3); }},
        {"no output world", [](cfhost::CommandFrame& f) { f.output = nullptr; }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        output.fill(marker);
        cfhost::CommandFrame frame = fx().prepare(PF_Cmd_RENDER, &input, &output);
        damage.apply(frame);
        EXPECT_EQ(fx().send(frame), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_TRUE(untouched());
    }
    EXPECT_EQ(h().leakReport(), "");
}

/* Hosts hand the input and the output at one depth. A deep output over an 8-bit input would have the
   16-bit kernel read the input's pixels as twice their size, past its rows: refused before anything is
   read. (Premiere's 8-bit iteration of deep worlds reads less than there is, and stays allowed.) */
TEST_F(HostFaultsTest, ADeepOutputOverAnEightBitInputIsRefusedUntouched)
{
    const cfhost::World input = gradient(cfhost::Depth::Eight);
    cfhost::World output(input.width(), input.height(), cfhost::Depth::Sixteen);
    output.fill(PF_Pixel16{1, 2, 3, 4});
    cfhost::World marked(input.width(), input.height(), cfhost::Depth::Sixteen);
    marked.fill(PF_Pixel16{1, 2, 3, 4});
    EXPECT_EQ(fx().render(input, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(cfhost::samePixels(output, marked));
    EXPECT_EQ(h().counters().iterations, 0);
    EXPECT_EQ(h().leakReport(), "");
}

TEST(EntryPoint, EveryCommandWithoutItsRecordsIsRefused)
{
    PF_InData in_data{};
    PF_OutData out_data{};
    for (PF_Cmd cmd = -1; cmd <= PF_Cmd_NUM_CMDS; ++cmd) {
        EXPECT_EQ(EffectMain(cmd, nullptr, &out_data, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM) << cmd;
        EXPECT_EQ(EffectMain(cmd, &in_data, nullptr, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM) << cmd;
    }
}

} // namespace
