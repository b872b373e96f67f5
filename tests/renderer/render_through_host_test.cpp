/* Frames rendered by the built module through our host: the iteration service and kernel each host role
   and depth gets, the suite version per interface version, a withheld suite, and frames rendered at once
   on several threads. */
#include "Crumbleforge.h"

#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <memory>
#include <vector>

namespace {

using cfhost::Depth;
using cfhost::EffectInstance;
using cfhost::FrameTime;
using cfhost::Host;
using cfhost::HostOptions;
using cfhost::World;

/* A host with the effect applied: registered, set up, "Rings" chosen, background (10, 20, 30). */
struct Applied {
    Host host;
    EffectInstance effect;

    explicit Applied(HostOptions options = HostOptions{}) : host(options), effect(host, CRUMBLEFORGE_MODULE)
    {
        effect.registerModule();
        EXPECT_EQ(effect.globalSetup(), PF_Err_NONE);
        EXPECT_EQ(effect.paramsSetup(), PF_Err_NONE);
        EXPECT_EQ(effect.sequenceSetup(), PF_Err_NONE);
        effect.setPopup(PARAM_PRESETS, 7);
        effect.setColor(PARAM_BACKGROUND_COLOR, PF_Pixel{255, 10, 20, 30});
    }

    /* Sets the effect down and reports anything the host still holds for it. */
    std::string finish()
    {
        EXPECT_EQ(effect.sequenceSetdown(), PF_Err_NONE);
        EXPECT_EQ(effect.globalSetdown(), PF_Err_NONE);
        return host.leakReport();
    }
};

HostOptions role(A_long application, A_short major = 13, A_short minor = 28)
{
    HostOptions options;
    options.applicationId = application;
    options.versionMajor = major;
    options.versionMinor = minor;
    options.threads = 2;
    return options;
}

TEST(RenderThroughHost, DeepWorldRunsTheSixteenBitKernelInAfterEffects)
{
    Applied a(role(cfhost::kAfterEffects));
    const World input(7, 5, Depth::Sixteen); // transparent black: level 1, the background everywhere
    World output(7, 5, Depth::Sixteen);
    ASSERT_EQ(a.effect.render(input, output), PF_Err_NONE);
    EXPECT_EQ(a.host.suiteUse(kPFIterate16Suite, 2).acquired, 1);
    EXPECT_EQ(a.host.suiteUse(kPFIterate8Suite, 2).acquired, 0);
    for (A_long y = 0; y < 5; ++y) {
        for (A_long x = 0; x < 7; ++x) {
            const PF_Pixel16 p = output.pixel16(x, y);
            ASSERT_EQ(p.alpha, 0);
            ASSERT_EQ(p.red, 1285) << "10 in 16 bits";
            ASSERT_EQ(p.green, 2570);
            ASSERT_EQ(p.blue, 3855);
        }
    }
    EXPECT_EQ(a.finish(), "");
}

TEST(RenderThroughHost, PremiereRunsTheEightBitKernelThroughItsUtilityIterateEvenOnDeepWorlds)
{
    Applied a(role(cfhost::kPremierePro));
    const World input(7, 5, Depth::Sixteen);
    World output(7, 5, Depth::Sixteen);
    ASSERT_EQ(a.effect.render(input, output), PF_Err_NONE);
    EXPECT_EQ(a.host.counters().suitesAcquired, 0) << "no iteration suite";
    EXPECT_EQ(a.host.counters().iterations, 1);
    // The 8-bit kernel writes 4-byte pixels: the first half of every row holds (0, 10, 20, 30) bytes.
    const auto* bytes = static_cast<const unsigned char*>(static_cast<const void*>(output.layer().data));
    for (A_long y = 0; y < 5; ++y) {
        for (A_long x = 0; x < 7; ++x) {
            const unsigned char* p = bytes + y * output.rowbytes() + x * 4;
            ASSERT_EQ(p[0], 0);
            ASSERT_EQ(p[1], 10);
            ASSERT_EQ(p[2], 20);
            ASSERT_EQ(p[3], 30);
        }
    }
    EXPECT_EQ(a.finish(), "");
}

TEST(RenderThroughHost, EightBitWorldRunsTheEightBitSuite)
{
    Applied a(role(cfhost::kAfterEffects));
    World input(6, 4, Depth::Eight);
    input.fill(PF_Pixel{99, 0, 0, 0});
    World output(6, 4, Depth::Eight);
    ASSERT_EQ(a.effect.render(input, output), PF_Err_NONE);
    EXPECT_EQ(a.host.suiteUse(kPFIterate8Suite, 2).acquired, 1);
    const PF_Pixel p = output.pixel8(5, 3);
    EXPECT_EQ(p.alpha, 99) << "alpha of the input";
    EXPECT_EQ(p.red, 10);
    EXPECT_EQ(a.finish(), "");
}

TEST(RenderThroughHost, SuiteVersionTwoOnlyFromInterface13Point27)
{
    struct Case {
        A_short major, minor;
        int32_t version;
    };
    // Major and minor are each compared on their own: 14.0 and 12.30 get version 1, 14.27 version 2.
    for (const Case c : {Case{13, 27, 2}, Case{13, 30, 2}, Case{14, 27, 2}, Case{13, 26, 1}, Case{14, 0, 1},
                         Case{12, 30, 1}}) {
        for (const Depth depth : {Depth::Eight, Depth::Sixteen}) {
            Applied a(role(cfhost::kAfterEffects, c.major, c.minor));
            const World input(3, 3, depth);
            World output(3, 3, depth);
            ASSERT_EQ(a.effect.render(input, output), PF_Err_NONE);
            const char* suite = depth == Depth::Eight ? kPFIterate8Suite : kPFIterate16Suite;
            EXPECT_EQ(a.host.suiteUse(suite, c.version).acquired, 1) << c.major << "." << c.minor;
            EXPECT_EQ(a.host.suiteUse(suite, 3 - c.version).acquired, 0) << c.major << "." << c.minor;
            EXPECT_EQ(a.finish(), "");
        }
    }
}

TEST(RenderThroughHost, WithheldIterationSuiteGives516AndATransparentBlackFrame)
{
    for (const Depth depth : {Depth::Eight, Depth::Sixteen}) {
        Applied a(role(cfhost::kAfterEffects));
        a.host.faults().withholdSuite(depth == Depth::Eight ? kPFIterate8Suite : kPFIterate16Suite);
        World input(5, 4, depth);
        World output(5, 4, depth);
        if (depth == Depth::Eight) {
            input.fill(PF_Pixel{255, 255, 255, 255});
            output.fill(PF_Pixel{1, 2, 3, 4});
        } else {
            input.fill(PF_Pixel16{32768, 32768, 32768, 32768});
            output.fill(PF_Pixel16{1, 2, 3, 4});
        }
        EXPECT_EQ(a.effect.render(input, output), PF_Err_BAD_CALLBACK_PARAM);
        const World black(5, 4, depth);
        EXPECT_TRUE(cfhost::samePixels(output, black));
        EXPECT_EQ(a.host.counters().iterations, 0);
        EXPECT_EQ(a.finish(), "") << "nothing acquired is kept";
    }
}

TEST(RenderThroughHost, FramesRenderedAtOnceMatchFramesRenderedOneByOne)
{
    Applied a(role(cfhost::kAfterEffects));
    a.effect.setCheckbox(PARAM_ENABLE_CHAOS, true);
    a.effect.setFloat(PARAM_ANIMATION_SPEED, 100); // new chaos values every frame
    a.effect.setFloat(PARAM_PATTERN_SIZE, 2);
    a.effect.setFloat(PARAM_HORIZONTAL_DETAIL, 9);
    World input(64, 48, Depth::Eight);
    for (A_long y = 0; y < 48; ++y) {
        for (A_long x = 0; x < 64; ++x) {
            input.pixel8(x, y) = PF_Pixel{255, static_cast<A_u_char>(x * 4), static_cast<A_u_char>(y * 5),
                                          static_cast<A_u_char>((x + y) * 2)};
        }
    }
    constexpr int frames = 12;
    std::vector<World> alone;
    for (int f = 0; f < frames; ++f) {
        alone.emplace_back(64, 48, Depth::Eight);
        ASSERT_EQ(a.effect.render(input, alone.back(), FrameTime::ofFrame(f - 3, 24)), PF_Err_NONE);
    }
    World again(64, 48, Depth::Eight);
    ASSERT_EQ(a.effect.render(input, again, FrameTime::ofFrame(2, 24)), PF_Err_NONE);
    EXPECT_TRUE(cfhost::samePixels(again, alone[5])) << "one frame rendered twice";
    EXPECT_FALSE(cfhost::samePixels(alone[0], alone[1])) << "chaos moves every frame";

    std::vector<std::unique_ptr<World>> together;
    std::vector<std::future<PF_Err>> renders;
    for (int f = 0; f < frames; ++f) {
        together.push_back(std::make_unique<World>(64, 48, Depth::Eight));
    }
    for (int f = 0; f < frames; ++f) {
        renders.push_back(std::async(std::launch::async, [&a, &input, &together, f] {
            return a.effect.render(input, *together[static_cast<std::size_t>(f)], FrameTime::ofFrame(f - 3, 24));
        }));
    }
    for (int f = 0; f < frames; ++f) {
        EXPECT_EQ(renders[static_cast<std::size_t>(f)].get(), PF_Err_NONE);
    }
    for (int f = 0; f < frames; ++f) {
        EXPECT_TRUE(cfhost::samePixels(*together[static_cast<std::size_t>(f)], alone[static_cast<std::size_t>(f)]))
            << "frame " << f - 3;
    }
    EXPECT_EQ(a.finish(), "");
}

} // namespace
