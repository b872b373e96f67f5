/* Frames rendered by the built module through our host: the iteration service and kernel each host role
   and depth gets, the suite version per interface version, a withheld suite, frames rendered at once on
   several threads, and the same frames from a host that takes areas (a row per call) and one that refuses
   them (a pixel per call). */
#include "Crumbleforge.h"

#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

/* Every look drawn row by row equals the same look drawn pixel by pixel, in both roles and depths, with
   chaos, a layer inside a grown buffer, previews at reduced resolution, odd sizes and an input smaller than
   the output. The host that refuses areas gets the pixel kernel after its refusal. */
TEST(RenderThroughHost, RowsAndPixelsDrawTheSameFrames)
{
    struct Look {
        A_long application;
        Depth depth;
        A_long preset;
        bool chaos;
        cfhost::Downsample downsample;
        cfhost::LayerOrigin origin;
        A_long inputWidth, inputHeight, outputWidth, outputHeight;
    };
    const Look looks[] = {
        {cfhost::kAfterEffects, Depth::Eight, 7, false, {1, 1}, {0, 0}, 37, 23, 37, 23},
        {cfhost::kAfterEffects, Depth::Sixteen, 1, true, {1, 1}, {0, 0}, 37, 23, 37, 23},
        {cfhost::kAfterEffects, Depth::Eight, 2, true, {2, 3}, {0, 0}, 61, 40, 31, 14},
        {cfhost::kAfterEffects, Depth::Sixteen, 4, false, {1, 1}, {5, 3}, 45, 31, 45, 31},
        {cfhost::kAfterEffects, Depth::Eight, 9, true, {2, 2}, {7, 4}, 50, 33, 25, 17},
        {cfhost::kAfterEffects, Depth::Eight, 3, false, {1, 1}, {0, 0}, 20, 9, 33, 16},
        {cfhost::kAfterEffects, Depth::Sixteen, 6, true, {1, 1}, {0, 0}, 1, 1, 19, 3},
        {cfhost::kPremierePro, Depth::Eight, 10, true, {1, 1}, {0, 0}, 29, 17, 29, 17},
        {cfhost::kPremierePro, Depth::Eight, 5, false, {1, 1}, {0, 0}, 12, 7, 21, 11},
    };
    for (const Look& look : looks) {
        for (const double detail : {1.0, 2.0, 9.5}) { // blocks too small for records, and larger ones
            const std::string what = "preset " + std::to_string(look.preset) + ", detail " + std::to_string(detail) +
                                     ", output " + std::to_string(look.outputWidth) + " x " +
                                     std::to_string(look.outputHeight);
            World input(look.inputWidth, look.inputHeight, look.depth);
            for (A_long y = 0; y < look.inputHeight; ++y) {
                for (A_long x = 0; x < look.inputWidth; ++x) {
                    const PF_Pixel p{static_cast<A_u_char>(255 - x), static_cast<A_u_char>(x * 9 + y),
                                     static_cast<A_u_char>(y * 13), static_cast<A_u_char>((x * y) % 256)};
                    if (look.depth == Depth::Eight) {
                        input.pixel8(x, y) = p;
                    } else {
                        input.pixel16(x, y) = PF_Pixel16{static_cast<A_u_short>(p.alpha * 128), static_cast<A_u_short>(p.red * 128 + y),
                                                         static_cast<A_u_short>(p.green * 128), static_cast<A_u_short>(p.blue * 128)};
                    }
                }
            }
            World drawn[2] = {World(look.outputWidth, look.outputHeight, look.depth),
                              World(look.outputWidth, look.outputHeight, look.depth)};
            for (int refuse = 0; refuse < 2; ++refuse) {
                Applied a(role(look.application));
                if (refuse == 1) {
                    a.host.faults().refuseAreas(PF_Err_BAD_CALLBACK_PARAM);
                }
                a.effect.setPopup(PARAM_PRESETS, look.preset);
                a.effect.setCheckbox(PARAM_ENABLE_CHAOS, look.chaos);
                a.effect.setFloat(PARAM_ANIMATION_SPEED, 60);
                a.effect.setFloat(PARAM_INTENSITY, 3);
                a.effect.setFloat(PARAM_PATTERN_SIZE, 1.5);
                a.effect.setFloat(PARAM_HORIZONTAL_DETAIL, detail);
                a.effect.setFloat(PARAM_VERTICAL_DETAIL, detail + 1);
                a.effect.setCheckbox(PARAM_USE_ORIGINAL_COLOR, look.preset % 2 == 0);
                a.effect.setCheckbox(PARAM_TRANSPARENT_BACKGROUND, look.preset % 3 == 0);
                ASSERT_EQ(a.effect.render(input, drawn[refuse], FrameTime::ofFrame(7, 24), look.downsample, look.origin),
                          PF_Err_NONE)
                    << what;
                EXPECT_EQ(a.host.counters().iterations, refuse == 1 ? 2 : 1) << what;
                EXPECT_EQ(a.finish(), "");
            }
            EXPECT_TRUE(cfhost::samePixels(drawn[0], drawn[1])) << what;
        }
    }
}

} // namespace
