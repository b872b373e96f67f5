/* RegistrationTest.cpp — what the effect tells a host that scans its plug-in folders, and what global
   setup declares. */
#include "EffectFixture.h"

#include "AE_PluginData.h"
#include "cfhost/FourCC.h"

#include <cstring>

namespace {

using RegistrationTest = EffectFixture;

TEST_F(RegistrationTest, ReportsIdentityOnceThroughTheCallback)
{
    const cfhost::Registration& r = fx().registration();
    EXPECT_EQ(r.callbackCalls, 1);
    EXPECT_EQ(r.entryResult, 0);
    EXPECT_EQ(r.name, "Crumble_Forge");
    EXPECT_EQ(r.matchName, "ADBE Crumbleforge");
    EXPECT_EQ(r.category, "BRISKANDUL");
    EXPECT_EQ(r.entryPointName, "EffectMain");
    EXPECT_EQ(r.kind, 0x65464B54);
    EXPECT_EQ(r.kind, cfhost::fourCC("eFKT"));
    EXPECT_EQ(r.apiVersionMajor, 13);
    EXPECT_EQ(r.apiVersionMinor, 27);
    EXPECT_EQ(r.reservedInfo, 8);
}

A_Err refusingCallback(PF_PluginDataPtr inPtr, const A_u_char*, const A_u_char*, const A_u_char*, const A_u_char*,
                       A_long, A_long, A_long, A_long)
{
    ++*reinterpret_cast<int*>(inPtr);
    return 0x21494D50;
}

TEST_F(RegistrationTest, HandsBackTheHostsRefusalUnchanged)
{
    auto entry = fx().module().function<PluginDataEntryFunctionPtr>("PluginDataEntryFunction");
    int calls = 0;
    const A_Err err = entry(reinterpret_cast<PF_PluginDataPtr>(&calls), refusingCallback, h().basicSuite(), "host", "1");
    EXPECT_EQ(err, 0x21494D50);
    EXPECT_EQ(calls, 1);
}

TEST_F(RegistrationTest, GlobalSetupDeclaresVersionAndFlagsWhateverTheWordsHeld)
{
    for (const A_long held : {0, -1, 0x100, 0x5A5A5A5A}) {
        cfhost::CommandFrame frame = fx().prepare(PF_Cmd_GLOBAL_SETUP);
        frame.out.my_version = static_cast<A_u_long>(held);
        frame.out.out_flags = held;
        frame.out.out_flags2 = held;
        ASSERT_EQ(fx().send(frame), PF_Err_NONE);
        EXPECT_EQ(frame.out.my_version, 0x000B1E00u);
        EXPECT_EQ(frame.out.out_flags, 0x02000004);
        EXPECT_EQ(frame.out.out_flags2, 0x08000001);
    }
    EXPECT_EQ(h().counters().suitesAcquired, 0);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(RegistrationTest, VersionWordDecodesToOneSixThreeRelease)
{
    ASSERT_EQ(fx().globalSetup(), PF_Err_NONE);
    const A_u_long v = fx().effectVersion();
    EXPECT_EQ(((v >> 19) & 7) + (((v >> 26) & 0xF) << 3), 1u);
    EXPECT_EQ((v >> 15) & 0xF, 6u);
    EXPECT_EQ((v >> 11) & 0xF, 3u);
    EXPECT_EQ((v >> 9) & 3, static_cast<A_u_long>(PF_Stage_RELEASE));
    EXPECT_EQ(v & 0x1FF, 0u);
}

TEST_F(RegistrationTest, CommandsWithoutWorkChangeNothing)
{
    for (const PF_Cmd cmd : {2, 3, 7, 9, 10, 12, 13, 24, 50, -1, -12345}) {
        cfhost::CommandFrame frame = fx().prepare(cmd);
        std::memset(&frame.out, 0x5C, sizeof(frame.out));
        PF_OutData before;
        std::memcpy(&before, &frame.out, sizeof(before));
        EXPECT_EQ(fx().send(frame), PF_Err_NONE) << "command " << cmd;
        EXPECT_EQ(std::memcmp(&before, &frame.out, sizeof(before)), 0) << "command " << cmd;
    }
    EXPECT_EQ(h().counters().handleAllocations, 0);
    EXPECT_EQ(h().leakReport(), "");
}

} // namespace
