/* KernelDepth.h — what the kernels' one body needs to know of a channel depth: the pixel and its whole-pixel
   word, the colours and output rules of that depth, and the depth's pixel kernel. */
#pragma once

#include "Crumbleforge_Helpers.h"
#include "Kernel.h"
#include "KernelPlan.h"
#include "RenderInfo.h"

#include <cstdint>

struct Depth8 {
    using Pixel = PF_Pixel;
    using Word = std::uint32_t;
    static constexpr bool deep = false;

    static const Pixel& pixelColor(const RenderInfo& info) { return info.pixelColor; }
    static const Pixel& backgroundColor(const RenderInfo& info) { return info.backgroundColor; }
    static const Pixel* pixelAt(const PF_LayerDef& world, int x, int y) { return getPixel8(world, x, y); }
    static const OutputRules<Word>& rules(const KernelPlan& plan) { return plan.output8; }
    static const Word* keepInput(const PlanTables& tables) { return tables.keepInput8; }
    static PF_Err pixel(void* refcon, A_long x, A_long y, Pixel* in, Pixel* out)
    {
        return Crumbleforge_8(refcon, x, y, in, out);
    }
};

struct Depth16 {
    using Pixel = PF_Pixel16;
    using Word = std::uint64_t;
    static constexpr bool deep = true;

    static const Pixel& pixelColor(const RenderInfo& info) { return info.pixelColor16; }
    static const Pixel& backgroundColor(const RenderInfo& info) { return info.backgroundColor16; }
    static const Pixel* pixelAt(const PF_LayerDef& world, int x, int y) { return getPixel16(world, x, y); }
    static const OutputRules<Word>& rules(const KernelPlan& plan) { return plan.output16; }
    static const Word* keepInput(const PlanTables& tables) { return tables.keepInput16; }
    static PF_Err pixel(void* refcon, A_long x, A_long y, Pixel* in, Pixel* out)
    {
        return Crumbleforge_16(refcon, x, y, in, out);
    }
};
