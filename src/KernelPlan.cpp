/* KernelPlan.cpp — the frame's constants and lookup tables for the pixel kernels. Every entry is made by
   the same single-precision and integer rules the kernels apply per pixel (Crumbleforge_Helpers.h), so a
   pixel looked up in the plan gets the very bits the exact rules give. */
#include "KernelPlan.h"

#include "Crumbleforge_Helpers.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

/* The sample of every pixel when the input layer has no pixels: transparent black at either depth. */
alignas(8) const unsigned char kZeroPixel[8] = {};

int clampInto(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

/* Sizes are in pixels of the full-resolution layer; a preview at reduced resolution scales them by its
   factor. A factor that is not above zero or not finite counts as 1. */
float downsampleFactor(float factor)
{
    return factor > 0.0f && std::isfinite(factor) ? factor : 1.0f;
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

/* floor(value) mod T for the tile sizes in use, with the divisor known to the compiler. */
template <int T>
int wrapInto(int value)
{
    const int cell = value % T;
    return cell < 0 ? cell + T : cell;
}

/* Fills table[0..count - 1] with levelOf(i), a function that never decreases with i: each run of one level
   is found by bisection and written at once. */
template <typename LevelOf>
void fillMonotone(std::uint8_t* table, int count, LevelOf levelOf)
{
    int start = 0;
    while (start < count) {
        const int level = levelOf(start);
        int low = start;      // levelOf(low) == level
        int high = count - 1; // the run ends at or before high
        while (low < high) {
            const int middle = low + (high - low + 1) / 2;
            if (levelOf(middle) == level) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        std::memset(table + start, level, static_cast<std::size_t>(low - start + 1));
        start = low + 1;
    }
}

/* The entries of one axis: block origin (blocks anchored at 0), its sample offset clamped into the input
   layer, and each level's cell. Levels with the same cell size share one computation. */
void fillAxis(std::vector<CoordinateEntry>& entries, const FrameConstants& k, int blockSide, bool hasInput,
              A_long inputSide, std::int64_t stride, const float (&scale)[PLAN_LEVEL_SLOTS])
{
    const int count = static_cast<int>(entries.size());
    for (int i = 0; i < count; ++i) {
        CoordinateEntry& entry = entries[static_cast<std::size_t>(i)];
        const int origin = i - i % blockSide;
        entry.sampleOffset = hasInput ? static_cast<std::int64_t>(clampInto(origin, 0, inputSide - 1)) * stride : 0;
        std::memset(entry.cell, NO_CELL, sizeof entry.cell);
    }
    for (int level = 2; level <= k.levels; ++level) {
        if (!k.drawsCells[level]) {
            continue; // stays NO_CELL
        }
        int same = 0;
        for (int earlier = 2; earlier < level && same == 0; ++earlier) {
            if (k.drawsCells[earlier] && std::memcmp(&scale[earlier], &scale[level], sizeof(float)) == 0) {
                same = earlier;
            }
        }
        for (int i = 0; i < count; ++i) {
            CoordinateEntry& entry = entries[static_cast<std::size_t>(i)];
            if (same != 0) {
                entry.cell[level] = entry.cell[same];
                continue;
            }
            const int cell = fastCellIndex(static_cast<float>(i) * scale[level], k.tileSize);
            entry.cell[level] = cell < 0 ? NO_CELL : static_cast<std::uint8_t>(cell);
        }
    }
}

template <typename Word, typename Pixel>
Word wordOf(const Pixel& pixel)
{
    static_assert(sizeof(Word) == sizeof(Pixel), "one word per pixel");
    Word word;
    std::memcpy(&word, &pixel, sizeof word);
    return word;
}

/* Set cells show the sample (with "Use Original Color") or the pixel colour with the input's alpha; unset
   cells show transparent black (with "Transparent Background") or the background colour with the input's
   alpha. */
template <typename Word, typename Pixel>
void makeOutputRules(OutputRule<Word> (&rules)[2], const RenderInfo& info, const Pixel& pixelColour,
                     const Pixel& backgroundColour, decltype(Pixel::alpha) opaque)
{
    const Word alpha = wordOf<Word>(Pixel{opaque, 0, 0, 0});
    Pixel colour = pixelColour;
    colour.alpha = 0;
    rules[1] = info.useOriginalColor == 1 ? OutputRule<Word>{static_cast<Word>(~Word{0}), 0, 0}
                                          : OutputRule<Word>{0, alpha, wordOf<Word>(colour)};
    colour = backgroundColour;
    colour.alpha = 0;
    rules[0] = info.transparentBackground == 1 ? OutputRule<Word>{0, 0, 0}
                                               : OutputRule<Word>{0, alpha, wordOf<Word>(colour)};
}

} // namespace

FrameConstants frameConstants(const RenderInfo& info)
{
    FrameConstants k{};
    k.table = &patternTable(info.preset);
    k.tileSize = k.table->tileSize;
    k.levels = info.preset == 1 ? 15 : 7;

    // Blocks: square and one tile wide under scale lock, else the detail sliders; never wider or taller
    // than the input layer, where one block already covers it all.
    const float tile = static_cast<float>(k.tileSize);
    const float scaleX = downsampleFactor(info.downsampleX);
    const float scaleY = downsampleFactor(info.downsampleY);
    const float lockedSize = toSingle(info.patternSize) * tile;
    const float blockWidth = (info.scaleLock != 0 ? lockedSize : toSingle(info.horizontalDetail)) * scaleX;
    const float blockHeight = (info.scaleLock != 0 ? lockedSize : toSingle(info.verticalDetail)) * scaleY;
    const PF_LayerDef* input = info.inputWorld;
    k.blockWidth = blockSize(blockWidth, input != nullptr ? input->width : 1);
    k.blockHeight = blockSize(blockHeight, input != nullptr ? input->height : 1);

    k.contrastFactor = contrastFactor(info.contrast);
    k.brightness8 = brightnessOffset(info.brightness, PF_MAX_CHAN8);
    k.brightness16 = brightnessOffset(info.brightness, PF_MAX_CHAN16);

    // A cell size of zero, or one that is not finite, draws no cell; the kernels multiply by the
    // reciprocal of the size instead of dividing by it.
    for (int level = 1; level < PLAN_LEVEL_SLOTS; ++level) {
        const float cell = cellSize(info, level);
        const float width = cell * scaleX;
        const float height = cell * scaleY;
        k.drawsCells[level] = !(width == 0.0f || height == 0.0f || !std::isfinite(width) || !std::isfinite(height));
        k.columnScale[level] = k.drawsCells[level] ? 1.0f / width : 0.0f;
        k.rowScale[level] = k.drawsCells[level] ? 1.0f / height : 0.0f;
    }
    return k;
}

int toneLevel(const FrameConstants& k, A_u_short mean, bool deep)
{
    const A_u_short tone = deep ? bcControls16(k.contrastFactor, k.brightness16, mean)
                                : bcControls8(k.contrastFactor, k.brightness8, mean);
    return posterizePixel(tone, k.levels, deep) + 1;
}

/* For a finite position p, floor(fmodf(p, T)) wrapped into 0..T - 1 equals floor(p) mod T (the remainder
   that is never negative): fmodf is exact and leaves p - n*T for an integer n, so its floor is
   floor(p) - n*T, which lies in -T..T - 1 and, wrapped, in 0..T - 1. Below 2^24 in magnitude floor(p) is an
   int that the conversion reaches exactly (truncation, one less for a negative non-integer); beyond that,
   and for infinities and NaN, the exact rule answers. */
int fastCellIndex(float position, int tileSize)
{
    constexpr float exactLimit = 16777216.0f; // 2^24
    if (tileSize <= 0 || !(position > -exactLimit && position < exactLimit)) {
        return cellIndex(position, tileSize);
    }
    int whole = static_cast<int>(position);
    if (static_cast<float>(whole) > position) {
        --whole;
    }
    switch (tileSize) {
    case 5: return wrapInto<5>(whole);
    case 6: return wrapInto<6>(whole);
    case 8: return wrapInto<8>(whole);
    case 12: return wrapInto<12>(whole);
    default: {
        const int cell = whole % tileSize;
        return cell < 0 ? cell + tileSize : cell;
    }
    }
}

void buildKernelPlan(KernelPlan& plan, const RenderInfo& info, bool deep, A_long outputWidth, A_long outputHeight)
{
    const FrameConstants& k = plan.constants = frameConstants(info);
    plan.pixelBytes = deep ? static_cast<int>(sizeof(PF_Pixel16)) : static_cast<int>(sizeof(PF_Pixel));

    // Level 1 draws no pattern, whatever its bitmap holds.
    std::memset(plan.bits, 0, sizeof plan.bits);
    const unsigned tileMask = (1u << k.tileSize) - 1u;
    for (int level = 2; level <= k.levels; ++level) {
        for (int row = 0; row < k.tileSize; ++row) {
            plan.bits[level][row] = static_cast<std::uint16_t>(k.table->rows[level - 1][row] & tileMask);
        }
    }

    makeOutputRules(plan.output8, info, info.pixelColor, info.backgroundColor, PF_MAX_CHAN8);
    makeOutputRules(plan.output16, info, info.pixelColor16, info.backgroundColor16, A_u_short{0xFFFF});

    const PF_LayerDef* input = info.inputWorld;
    const bool hasInput = input != nullptr && input->data != nullptr && input->width > 0 && input->height > 0;
    plan.sampleBase = hasInput ? static_cast<const unsigned char*>(static_cast<const void*>(input->data)) : kZeroPixel;

    // The tone of a pixel never falls as its mean rises (contrast multiplies by a factor of at least 0, and
    // truncation, offset, clamp and posterizing all keep order), so each level covers one run of means.
    fillMonotone(plan.levelBySum8, 3 * PF_MAX_CHAN8 + 1,
                 [&k](int sum) { return toneLevel(k, static_cast<A_u_short>(sum / 3), false); });

    plan.levelByMean16.clear();
    plan.columns.clear();
    plan.rows.clear();
    if (outputWidth <= 0 || outputHeight <= 0 || outputWidth > PLAN_MAX_TABLE_SIDE ||
        outputHeight > PLAN_MAX_TABLE_SIDE) {
        return;
    }
    try {
        if (deep) {
            plan.levelByMean16.resize(0x10000);
            fillMonotone(plan.levelByMean16.data(), 0x10000,
                         [&k](int mean) { return toneLevel(k, static_cast<A_u_short>(mean), true); });
        }
        plan.columns.resize(static_cast<std::size_t>(outputWidth));
        plan.rows.resize(static_cast<std::size_t>(outputHeight));
    } catch (const std::bad_alloc&) {
        plan.levelByMean16.clear();
        plan.columns.clear();
        plan.rows.clear();
        return;
    }
    fillAxis(plan.columns, k, k.blockWidth, hasInput, hasInput ? input->width : 1, plan.pixelBytes, k.columnScale);
    fillAxis(plan.rows, k, k.blockHeight, hasInput, hasInput ? input->height : 1,
             hasInput ? static_cast<std::int64_t>(input->rowbytes) : 0, k.rowScale);
}
