/* SequenceDataTest.cpp — the per-instance block the host stores with a project: allocated zeroed, brought
   to this platform's size when another platform saved it, disposed at setdown, and a clean failure when
   the host has no memory. */
#include "EffectFixture.h"

#include "Crumbleforge_Identity.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kOtherPlatformSize = SEQUENCE_DATA_SIZE == 1168 ? 4192 : 1168;

class SequenceDataTest : public EffectFixture {
protected:
    struct HandleCalls {
        long allocations, sizeQueries, resizes, disposals;
    };
    HandleCalls calls() const
    {
        const cfhost::Counters c = host->counters();
        return {c.handleAllocations, c.handleSizeQueries, c.handleResizes, c.handleDisposals};
    }
    static bool allBytes(PF_Handle handle, std::size_t size, unsigned char value)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(*handle);
        for (std::size_t i = 0; i < size; ++i) {
            if (bytes[i] != value) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(SequenceDataTest, SetupWithoutBlockAllocatesAZeroedBlockOfPlatformSize)
{
    cfhost::CommandFrame frame = fx().prepare(PF_Cmd_SEQUENCE_SETUP);
    frame.in.sequence_data = nullptr;
    ASSERT_EQ(fx().send(frame), PF_Err_NONE);
    ASSERT_NE(frame.out.sequence_data, nullptr);
    EXPECT_EQ(h().handleSize(frame.out.sequence_data), static_cast<std::size_t>(SEQUENCE_DATA_SIZE));
    EXPECT_TRUE(allBytes(frame.out.sequence_data, SEQUENCE_DATA_SIZE, 0));
    EXPECT_EQ(frame.out.flat_sdata_size, SEQUENCE_DATA_SIZE);
    EXPECT_EQ(calls().allocations, 1);
    EXPECT_EQ(fx().sequenceSetdown(), PF_Err_NONE);
}

TEST_F(SequenceDataTest, SetupZeroesTheBlockEvenWhenTheHostHandsOutDirtyMemory)
{
    // Our host fills new handles with a non-zero pattern, as a real host's memory may hold anything.
    ASSERT_EQ(fx().sequenceSetup(), PF_Err_NONE);
    EXPECT_TRUE(allBytes(fx().sequenceData(), SEQUENCE_DATA_SIZE, 0));
    EXPECT_EQ(fx().sequenceSetdown(), PF_Err_NONE);
}

TEST_F(SequenceDataTest, SetupWithBlockOfOwnSizeOnlyAsksItsSize)
{
    PF_Handle block = fx().presetSequenceData(SEQUENCE_DATA_SIZE);
    std::memset(*block, 0x3C, SEQUENCE_DATA_SIZE);
    const HandleCalls before = calls();
    cfhost::CommandFrame frame = fx().prepare(PF_Cmd_SEQUENCE_SETUP);
    std::memset(&frame.out, 0x5A, sizeof(frame.out));
    PF_OutData untouched;
    std::memcpy(&untouched, &frame.out, sizeof(untouched));
    ASSERT_EQ(fx().send(frame), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(&untouched, &frame.out, sizeof(untouched)), 0);
    EXPECT_EQ(calls().sizeQueries - before.sizeQueries, 1);
    EXPECT_EQ(calls().resizes, before.resizes);
    EXPECT_EQ(calls().allocations, before.allocations);
    EXPECT_TRUE(allBytes(block, SEQUENCE_DATA_SIZE, 0x3C));
}

TEST_F(SequenceDataTest, SetupBringsOtherPlatformsBlockToSizeKeepingItsBytes)
{
    PF_Handle block = fx().presetSequenceData(kOtherPlatformSize);
    std::memset(*block, 0x3C, kOtherPlatformSize);
    const HandleCalls before = calls();
    cfhost::CommandFrame frame = fx().prepare(PF_Cmd_SEQUENCE_SETUP);
    frame.out.sequence_data = nullptr;
    ASSERT_EQ(fx().send(frame), PF_Err_NONE);
    EXPECT_EQ(frame.out.sequence_data, nullptr);
    ASSERT_NE(frame.in.sequence_data, nullptr);
    EXPECT_EQ(h().handleSize(frame.in.sequence_data), static_cast<std::size_t>(SEQUENCE_DATA_SIZE));
    EXPECT_TRUE(allBytes(frame.in.sequence_data, std::min<std::size_t>(SEQUENCE_DATA_SIZE, kOtherPlatformSize), 0x3C));
    EXPECT_EQ(calls().resizes - before.resizes, 1);
    EXPECT_EQ(calls().allocations, before.allocations);
}

TEST_F(SequenceDataTest, ResetupWithABlockOfAnySizeCallsNothing)
{
    for (const std::size_t size : {std::size_t{SEQUENCE_DATA_SIZE}, kOtherPlatformSize, std::size_t{1}}) {
        PF_Handle block = fx().presetSequenceData(size);
        const HandleCalls before = calls();
        ASSERT_EQ(fx().sequenceResetup(), PF_Err_NONE);
        const HandleCalls after = calls();
        EXPECT_EQ(after.allocations, before.allocations);
        EXPECT_EQ(after.sizeQueries, before.sizeQueries);
        EXPECT_EQ(after.resizes, before.resizes);
        EXPECT_EQ(after.disposals, before.disposals);
        EXPECT_EQ(fx().sequenceData(), block);
        EXPECT_EQ(h().handleSize(block), size);
    }
}

TEST_F(SequenceDataTest, ResetupWithoutBlockAllocatesOne)
{
    ASSERT_EQ(fx().sequenceResetup(), PF_Err_NONE);
    ASSERT_NE(fx().sequenceData(), nullptr);
    EXPECT_EQ(h().handleSize(fx().sequenceData()), static_cast<std::size_t>(SEQUENCE_DATA_SIZE));
    EXPECT_EQ(fx().lastOutData().flat_sdata_size, SEQUENCE_DATA_SIZE);
}

TEST_F(SequenceDataTest, SetdownWithoutBlockCallsNothing)
{
    const HandleCalls before = calls();
    EXPECT_EQ(fx().sequenceSetdown(), PF_Err_NONE);
    const HandleCalls after = calls();
    EXPECT_EQ(after.sizeQueries, before.sizeQueries);
    EXPECT_EQ(after.disposals, before.disposals);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(SequenceDataTest, SetdownFitsThenDisposesAndClearsBothFields)
{
    fx().presetSequenceData(kOtherPlatformSize);
    const HandleCalls before = calls();
    cfhost::CommandFrame frame = fx().prepare(PF_Cmd_SEQUENCE_SETDOWN);
    frame.out.sequence_data = frame.in.sequence_data;
    ASSERT_EQ(fx().send(frame), PF_Err_NONE);
    EXPECT_EQ(frame.in.sequence_data, nullptr);
    EXPECT_EQ(frame.out.sequence_data, nullptr);
    EXPECT_EQ(calls().resizes - before.resizes, 1);
    EXPECT_EQ(calls().disposals - before.disposals, 1);
    EXPECT_EQ(h().counters().liveHandles, 0);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(SequenceDataTest, FullLifecycleLeavesNoHandleBehind)
{
    ASSERT_EQ(fx().sequenceSetup(), PF_Err_NONE);
    ASSERT_EQ(fx().sequenceResetup(), PF_Err_NONE);
    ASSERT_EQ(fx().sequenceSetup(), PF_Err_NONE);
    ASSERT_EQ(fx().sequenceSetdown(), PF_Err_NONE);
    EXPECT_EQ(calls().allocations, 1);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(SequenceDataTest, AllocationFailureShowsInternalErrorAndKeepsNoBlock)
{
    for (const PF_Cmd cmd : {PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP}) {
        SCOPED_TRACE(cmd);
        h().faults().failHandleAllocation(1);
        cfhost::CommandFrame frame = fx().prepare(cmd);
        frame.in.sequence_data = nullptr;
        frame.out.out_flags = PF_OutFlag_DEEP_COLOR_AWARE;
        frame.out.flat_sdata_size = -5;
        EXPECT_EQ(fx().send(frame), PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_EQ(frame.out.out_flags, PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_DISPLAY_ERROR_MESSAGE);
        EXPECT_STREQ(frame.out.return_msg, "Internal Error");
        EXPECT_EQ(frame.out.sequence_data, nullptr);
        EXPECT_EQ(frame.out.flat_sdata_size, -5);
        EXPECT_EQ(fx().sequenceData(), nullptr);
    }
    // A later re-setup tries again and succeeds.
    EXPECT_EQ(fx().sequenceResetup(), PF_Err_NONE);
    EXPECT_NE(fx().sequenceData(), nullptr);
    EXPECT_EQ(fx().sequenceSetdown(), PF_Err_NONE);
    EXPECT_EQ(h().leakReport(), "");
}

} // namespace
