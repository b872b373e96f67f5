/* TestWorlds.h — small hand-made image worlds with padded rows, a render record with the parameters'
   defaults, and a loop that calls a kernel for every pixel the way a host's iteration does, with or without
   the frame's plan. */
#pragma once

#include "Kernel.h"
#include "KernelPlan.h"
#include "RenderInfo.h"

#include <cstdint>
#include <cstring>
#include <vector>

template <typename Pixel>
struct TestWorld {
    std::vector<std::uint64_t> storage; // 8-byte aligned
    PF_LayerDef def{};

    /* Rows carry paddingPixels extra pixels, filled with a pattern no test colour uses. */
    TestWorld(int width, int height, int paddingPixels = 3)
    {
        const int rowbytes = (width + paddingPixels) * static_cast<int>(sizeof(Pixel));
        storage.assign(static_cast<std::size_t>(rowbytes * height) / 8 + 1, 0xA5A5A5A5A5A5A5A5ull);
        def.width = width;
        def.height = height;
        def.rowbytes = rowbytes;
        def.data = static_cast<PF_Pixel*>(static_cast<void*>(storage.data()));
        def.world_flags = sizeof(Pixel) == sizeof(PF_Pixel16) ? PF_WorldFlag_DEEP : 0;
        def.extent_hint = PF_LRect{0, 0, width, height};
        fill(Pixel{});
    }

    Pixel& at(int x, int y)
    {
        return *static_cast<Pixel*>(
            static_cast<void*>(static_cast<char*>(static_cast<void*>(def.data)) + y * def.rowbytes +
                               x * static_cast<int>(sizeof(Pixel))));
    }

    void fill(const Pixel& p)
    {
        for (int y = 0; y < def.height; ++y) {
            for (int x = 0; x < def.width; ++x) {
                at(x, y) = p;
            }
        }
    }
};

using World8 = TestWorld<PF_Pixel>;
using World16 = TestWorld<PF_Pixel16>;

inline bool operator==(const PF_Pixel& a, const PF_Pixel& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool operator==(const PF_Pixel16& a, const PF_Pixel16& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

/* The parameters' defaults, with a chosen preset, sampling the given input. */
inline RenderInfo defaultInfo(A_long preset, const PF_LayerDef* input, const ChaosValues* chaos)
{
    RenderInfo info{};
    info.preset = preset;
    info.patternSize = 3.0;
    info.horizontalDetail = 20.0;
    info.verticalDetail = 10.0;
    info.pixelColor = PF_Pixel{255, 255, 255, 255};
    info.backgroundColor = PF_Pixel{255, 0, 0, 0};
    info.pixelColor16 = colour16(info.pixelColor);
    info.backgroundColor16 = colour16(info.backgroundColor);
    info.chaosValues = chaos;
    info.inputWorld = input;
    return info;
}

inline PF_Err callKernel(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out)
{
    return Crumbleforge_8(refcon, x, y, in, out);
}
inline PF_Err callKernel(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out)
{
    return Crumbleforge_16(refcon, x, y, in, out);
}

/* Every output pixel once, with the input pixel at the same place as in. With `planned`, through the plan
   the render driver makes for such an output (the record's own plan is left as it was); else by
   the exact rules, as a record without a plan. */
template <typename Pixel>
void runKernel(RenderInfo& info, TestWorld<Pixel>& in, TestWorld<Pixel>& out, bool planned = false)
{
    const KernelPlan* givenPlan = info.plan;
    const PlanTables givenTables = info.tables;
    KernelPlan plan;
    if (planned) {
        buildKernelPlan(plan, info, sizeof(Pixel) == sizeof(PF_Pixel16), out.def.width, out.def.height);
        attachPlan(info, plan);
    } else {
        detachPlan(info);
    }
    for (int y = 0; y < out.def.height; ++y) {
        for (int x = 0; x < out.def.width; ++x) {
            callKernel(&info, x, y, &in.at(x, y), &out.at(x, y));
        }
    }
    info.plan = givenPlan;
    info.tables = givenTables;
}
