/* BaselineKernel.cpp — the kernels as first written, unchanged but for their names: find the pixel's block,
   reduce the block's top-left input pixel to a posterized level, and draw the cell of that level's bitmap
   that the pixel's position selects, recomputing every frame constant on every call. */
#include "BaselineKernel.h"

#include "Crumbleforge_Helpers.h"
#include "Patterns.h"
#include "RenderInfo.h"

#include <cmath>
#include <cstddef>

namespace {

struct Depth8 {
    using Pixel = PF_Pixel;
    static constexpr int channelMax = PF_MAX_CHAN8;
    static constexpr bool deep = false;

    static const Pixel& pixelColor(const RenderInfo& info) { return info.pixelColor; }
    static const Pixel& backgroundColor(const RenderInfo& info) { return info.backgroundColor; }
    static A_u_short adjust(float factor, int offset, A_u_short tone) { return bcControls8(factor, offset, tone); }
    static const Pixel* pixelAt(const PF_LayerDef& world, int x, int y) { return getPixel8(world, x, y); }
};

struct Depth16 {
    using Pixel = PF_Pixel16;
    static constexpr int channelMax = PF_MAX_CHAN16;
    static constexpr bool deep = true;

    static const Pixel& pixelColor(const RenderInfo& info) { return info.pixelColor16; }
    static const Pixel& backgroundColor(const RenderInfo& info) { return info.backgroundColor16; }
    static A_u_short adjust(float factor, int offset, A_u_short tone) { return bcControls16(factor, offset, tone); }
    static const Pixel* pixelAt(const PF_LayerDef& world, int x, int y) { return getPixel16(world, x, y); }
};

int clampInto(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

/* The block's top-left pixel, clamped into the input layer so that a block reaching past a smaller input
   still samples a real pixel. An input with no pixels samples as transparent black. */
template <typename Depth>
typename Depth::Pixel blockSample(const PF_LayerDef* input, int x0, int y0)
{
    if (input == nullptr || input->data == nullptr || input->width <= 0 || input->height <= 0) {
        return typename Depth::Pixel{};
    }
    return *Depth::pixelAt(*input, clampInto(x0, 0, input->width - 1), clampInto(y0, 0, input->height - 1));
}

/* Cell size of a level: the pattern size, plus the level's chaos offset while chaos is on. A missing
   offset counts as none. */
float cellSize(const RenderInfo& info, int level)
{
    float size = toSingle(info.patternSize);
    if (info.chaosEnabled != 0 && info.chaosValues != nullptr &&
        static_cast<std::size_t>(level - 1) < info.chaosValues->size()) {
        size = size + (*info.chaosValues)[static_cast<std::size_t>(level - 1)];
    }
    return size;
}

/* Sizes are in pixels of the full-resolution layer; a preview at reduced resolution scales them by its
   factor. Full resolution multiplies by exactly 1, which changes no bit. */
float downsampleFactor(float factor)
{
    return factor > 0.0f && std::isfinite(factor) ? factor : 1.0f;
}

/* Whether the pixel at (x, y) falls on a set cell of the level's bitmap. The grid is anchored at (0, 0)
   and independent of the blocks. A cell size of zero or below can come from chaos shrinking it: a
   negative size mirrors the grid and the position wraps into the tile; a size of zero or one that is not
   finite, or one so small that the scaled position overflows, draws no cell. */
bool onSetCell(const PatternTable& table, int level, float width, float height, int x, int y)
{
    if (width == 0.0f || height == 0.0f || !std::isfinite(width) || !std::isfinite(height)) {
        return false;
    }
    const int column = cellIndex(static_cast<float>(x) * (1.0f / width), table.tileSize);
    const int row = cellIndex(static_cast<float>(y) * (1.0f / height), table.tileSize);
    if (column < 0 || row < 0) {
        return false;
    }
    return cellIsSet(table, level, row, column);
}

template <typename Pixel>
void setColour(Pixel* out, const Pixel& colour, decltype(Pixel::alpha) alpha)
{
    out->alpha = alpha;
    out->red = colour.red;
    out->green = colour.green;
    out->blue = colour.blue;
}

template <typename Depth>
PF_Err crumbleforgeKernel(void* refcon, A_long x, A_long y, const typename Depth::Pixel* in,
                          typename Depth::Pixel* out)
{
    using Pixel = typename Depth::Pixel;
    if (refcon == nullptr) {
        return PF_Err_NONE;
    }
    const RenderInfo& info = *static_cast<const RenderInfo*>(refcon);
    const PatternTable& table = patternTable(info.preset);
    const int levels = info.preset == 1 ? 15 : 7;

    // Blocks: square and one tile wide under scale lock, else the detail sliders; never wider or taller
    // than the input layer, where one block already covers it all.
    const float tile = static_cast<float>(table.tileSize);
    const float scaleX = downsampleFactor(info.downsampleX);
    const float scaleY = downsampleFactor(info.downsampleY);
    const float lockedSize = toSingle(info.patternSize) * tile;
    const float blockWidth = (info.scaleLock != 0 ? lockedSize : toSingle(info.horizontalDetail)) * scaleX;
    const float blockHeight = (info.scaleLock != 0 ? lockedSize : toSingle(info.verticalDetail)) * scaleY;
    const PF_LayerDef* input = info.inputWorld;
    const int width = blockSize(blockWidth, input != nullptr ? input->width : 1);
    const int height = blockSize(blockHeight, input != nullptr ? input->height : 1);
    const int x0 = x - x % width;
    const int y0 = y - y % height;
    const Pixel sample = blockSample<Depth>(input, x0, y0);

    // Grey tone of the sample: plain mean, contrast, brightness, then posterized into a level from 1.
    const A_u_short mean = static_cast<A_u_short>((sample.red + sample.green + sample.blue) / 3);
    const A_u_short tone = Depth::adjust(contrastFactor(info.contrast), brightnessOffset(info.brightness,
                                         Depth::channelMax), mean);
    const int level = posterizePixel(tone, levels, Depth::deep) + 1;

    const float cell = cellSize(info, level);
    const bool set = level > 1 && onSetCell(table, level, cell * scaleX, cell * scaleY, x, y);
    if (set) {
        if (info.useOriginalColor == 1) {
            *out = sample;
        } else {
            setColour(out, Depth::pixelColor(info), in->alpha);
        }
    } else if (info.transparentBackground == 1) {
        *out = Pixel{};
    } else {
        setColour(out, Depth::backgroundColor(info), in->alpha);
    }
    return PF_Err_NONE;
}

} // namespace

PF_Err BaselineCrumbleforge_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out)
{
    return crumbleforgeKernel<Depth8>(refcon, x, y, in, out);
}

PF_Err BaselineCrumbleforge_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out)
{
    return crumbleforgeKernel<Depth16>(refcon, x, y, in, out);
}
