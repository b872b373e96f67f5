/* KernelPlan.cpp — the frame's constants and lookup tables for the pixel kernels. Every entry is made by
   the same single-precision and integer rules the kernels apply per pixel (Crumbleforge_Helpers.h), so a
   pixel looked up in the plan gets the very bits the exact rules give. */
#include "KernelPlan.h"

#include "Crumbleforge_Helpers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
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

/* Pattern cell of every coordinate 0..count - 1 along one axis, per level, NO_CELL where the level draws
   none; written through put(coordinate, level, cell). Levels with the same cell size share one computation,
   which is copied through get(coordinate, level). */
template <typename Put, typename Get>
void fillCells(int count, const FrameConstants& k, const float (&scale)[PLAN_LEVEL_SLOTS], Put put, Get get)
{
    for (int level = 2; level <= k.levels; ++level) {
        if (!k.drawsCells[level]) {
            for (int i = 0; i < count; ++i) {
                put(i, level, NO_CELL);
            }
            continue;
        }
        int same = 0;
        for (int earlier = 2; earlier < level && same == 0; ++earlier) {
            if (k.drawsCells[earlier] && std::memcmp(&scale[earlier], &scale[level], sizeof(float)) == 0) {
                same = earlier;
            }
        }
        for (int i = 0; i < count; ++i) {
            if (same != 0) {
                put(i, level, get(i, same));
                continue;
            }
            const int cell = fastCellIndex(static_cast<float>(i) * scale[level], k.tileSize);
            put(i, level, cell < 0 ? NO_CELL : static_cast<std::uint8_t>(cell));
        }
    }
}

/* Start of the block that holds coordinate i (blocks are anchored at 0), clamped into the input layer. */
int sampleCoordinate(int i, int blockSide, A_long inputSide)
{
    return clampInto(i - i % blockSide, 0, inputSide - 1);
}

/* One block record: the sample's bytes as a word, and its level. */
template <typename Pixel, typename Word, typename LevelOf>
void writeBlockEntry(unsigned char* entry, const unsigned char* sampleBytes, LevelOf levelOf)
{
    static_assert(sizeof(Pixel) == sizeof(Word) && sizeof(BlockEntry<Word>) == 2 * sizeof(Word), "packed records");
    Pixel sample;
    std::memcpy(&sample, sampleBytes, sizeof sample);
    const BlockEntry<Word> record{0, static_cast<Word>(levelOf(sample))};
    std::memcpy(entry, &record, sizeof record);
    std::memcpy(entry, &sample, sizeof sample);
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
void makeOutputRules(OutputRules<Word>& rules, const RenderInfo& info, const Pixel& pixelColour,
                     const Pixel& backgroundColour, decltype(Pixel::alpha) opaque)
{
    const Word alpha = wordOf<Word>(Pixel{opaque, 0, 0, 0});
    Pixel colour = pixelColour;
    colour.alpha = 0;
    const bool original = info.useOriginalColor == 1;
    rules.keepSample[1] = original ? static_cast<Word>(~Word{0}) : 0;
    rules.keepInput[1] = original ? 0 : alpha;
    rules.fixed[1] = original ? 0 : wordOf<Word>(colour);
    colour = backgroundColour;
    colour.alpha = 0;
    const bool transparent = info.transparentBackground == 1;
    rules.keepSample[0] = 0;
    rules.keepInput[0] = transparent ? 0 : alpha;
    rules.fixed[0] = transparent ? 0 : wordOf<Word>(colour);
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

    // The tone of a pixel never falls as its mean rises (contrast multiplies by a factor of at least 0, and
    // truncation, offset, clamp and posterizing all keep order), so each level covers one run of means.
    fillMonotone(plan.levelBySum8, 3 * PF_MAX_CHAN8 + 1,
                 [&k](int sum) { return toneLevel(k, static_cast<A_u_short>(sum / 3), false); });

    plan.levelByMean16.clear();
    plan.blocks.clear();
    plan.columns.clear();
    plan.rows.clear();
    plan.recordColumns[0] = 0;
    plan.recordColumns[1] = 0;
    plan.tableColumns[0] = 0;
    plan.tableColumns[1] = 0;
    plan.tableRows = 0;
    plan.blockRecords = false;
    plan.columnTable = nullptr;
    plan.rowTable = nullptr;
    plan.levelByMean16Table = nullptr;

    const PF_LayerDef* input = info.inputWorld;
    const bool hasInput = input != nullptr && input->data != nullptr && input->width > 0 && input->height > 0;
    const std::int64_t pixelBytes = deep ? static_cast<std::int64_t>(sizeof(PF_Pixel16)) : static_cast<std::int64_t>(sizeof(PF_Pixel));
    const bool offsetsFit = !hasInput || (static_cast<std::int64_t>(input->width) - 1) * pixelBytes <= INT32_MAX;
    if (outputWidth <= 0 || outputHeight <= 0 || outputWidth > PLAN_MAX_TABLE_SIDE ||
        outputHeight > PLAN_MAX_TABLE_SIDE || !offsetsFit) {
        return;
    }
    const auto width = static_cast<std::size_t>(outputWidth);
    const auto height = static_cast<std::size_t>(outputHeight);
    const auto blockColumns = static_cast<std::size_t>((outputWidth - 1) / k.blockWidth + 1);
    const auto blockRows = static_cast<std::size_t>((outputHeight - 1) / k.blockHeight + 1);
    const auto entryBytes = static_cast<std::size_t>(2 * pixelBytes);
    const bool records = blockColumns * blockRows * entryBytes * 2 <= width * height * static_cast<std::size_t>(pixelBytes);
    try {
        if (deep) {
            plan.levelByMean16.resize(0x10000);
        }
        if (records) {
            plan.blocks.resize(blockColumns * blockRows * entryBytes / sizeof(std::uint64_t));
        }
        plan.columns.resize(width);
        plan.rows.resize(height);
    } catch (const std::bad_alloc&) {
        plan.levelByMean16.clear();
        plan.blocks.clear();
        plan.columns.clear();
        plan.rows.clear();
        return;
    }
    if (deep) {
        fillMonotone(plan.levelByMean16.data(), 0x10000,
                     [&k](int mean) { return toneLevel(k, static_cast<A_u_short>(mean), true); });
    }

    // Samples: the block's top-left pixel, clamped into the input layer; without input pixels every sample
    // is the zero pixel.
    const auto* data = hasInput ? static_cast<const unsigned char*>(static_cast<const void*>(input->data)) : kZeroPixel;
    const A_long inputWidth = hasInput ? input->width : 1;
    const A_long inputHeight = hasInput ? input->height : 1;
    const std::int64_t rowbytes = hasInput ? static_cast<std::int64_t>(input->rowbytes) : 0;
    const std::int64_t sampleStride = hasInput ? pixelBytes : 0;
    if (records) {
        auto* entries = static_cast<unsigned char*>(static_cast<void*>(plan.blocks.data()));
        for (std::size_t by = 0; by < blockRows; ++by) {
            const int y0 = static_cast<int>(by) * k.blockHeight;
            const unsigned char* sampleRow = data + sampleCoordinate(y0, k.blockHeight, inputHeight) * rowbytes;
            for (std::size_t bx = 0; bx < blockColumns; ++bx) {
                const int x0 = static_cast<int>(bx) * k.blockWidth;
                const unsigned char* sample = sampleRow + sampleCoordinate(x0, k.blockWidth, inputWidth) * sampleStride;
                unsigned char* entry = entries + (by * blockColumns + bx) * entryBytes;
                if (deep) {
                    writeBlockEntry<PF_Pixel16, std::uint64_t>(entry, sample, [&plan](const PF_Pixel16& p) {
                        return plan.levelByMean16[(static_cast<unsigned>(p.red) + p.green + p.blue) / 3u];
                    });
                } else {
                    writeBlockEntry<PF_Pixel, std::uint32_t>(entry, sample, [&plan](const PF_Pixel& p) {
                        return plan.levelBySum8[p.red + p.green + p.blue];
                    });
                }
            }
        }
        for (std::size_t x = 0; x < width; ++x) {
            plan.columns[x].offset = static_cast<std::int32_t>(x / static_cast<std::size_t>(k.blockWidth) * entryBytes);
        }
        for (std::size_t y = 0; y < height; ++y) {
            plan.rows[y].base = entries + y / static_cast<std::size_t>(k.blockHeight) * blockColumns * entryBytes;
        }
    } else {
        for (std::size_t x = 0; x < width; ++x) {
            plan.columns[x].offset =
                static_cast<std::int32_t>(sampleCoordinate(static_cast<int>(x), k.blockWidth, inputWidth) * sampleStride);
        }
        for (std::size_t y = 0; y < height; ++y) {
            plan.rows[y].base = data + sampleCoordinate(static_cast<int>(y), k.blockHeight, inputHeight) * rowbytes;
        }
    }

    // Cells: the pattern column of every output column, and the bitmap row (through the pattern row) of
    // every output row, per level.
    for (ColumnEntry& column : plan.columns) {
        std::memset(column.cell, NO_CELL, sizeof column.cell);
    }
    fillCells(outputWidth, k, k.columnScale,
              [&plan](int x, int level, std::uint8_t cell) { plan.columns[static_cast<std::size_t>(x)].cell[level] = cell; },
              [&plan](int x, int level) { return plan.columns[static_cast<std::size_t>(x)].cell[level]; });
    for (RowEntry& row : plan.rows) {
        std::fill(std::begin(row.bits), std::end(row.bits), static_cast<std::uint16_t>(NO_CELL));
    }
    fillCells(outputHeight, k, k.rowScale,
              [&plan](int y, int level, std::uint8_t cell) { plan.rows[static_cast<std::size_t>(y)].bits[level] = cell; },
              [&plan](int y, int level) { return static_cast<std::uint8_t>(plan.rows[static_cast<std::size_t>(y)].bits[level]); });
    for (std::size_t y = 0; y < height; ++y) {
        std::uint16_t* bits = plan.rows[y].bits;
        bits[0] = 0;
        bits[1] = 0;
        for (int level = 2; level < PLAN_LEVEL_SLOTS; ++level) {
            bits[level] = level <= k.levels ? plan.bits[level][bits[level]] : 0;
        }
    }

    const int depthIndex = deep ? 1 : 0;
    plan.recordColumns[depthIndex] = records ? static_cast<A_u_long>(outputWidth) : 0;
    plan.tableColumns[depthIndex] = static_cast<A_u_long>(outputWidth);
    plan.tableRows = static_cast<A_u_long>(outputHeight);
    plan.blockRecords = records;
    plan.columnTable = plan.columns.data();
    plan.rowTable = plan.rows.data();
    plan.levelByMean16Table = deep ? plan.levelByMean16.data() : nullptr;
}
