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

template <typename Word, typename Pixel>
Word wordOf(const Pixel& pixel)
{
    static_assert(sizeof(Word) == sizeof(Pixel), "one word per pixel");
    Word word;
    std::memcpy(&word, &pixel, sizeof word);
    return word;
}

/* One block record: its level, and the output rules applied to its sample. */
template <typename Pixel, typename Word>
void writeBlockEntry(unsigned char* entry, const unsigned char* sampleBytes, const KernelPlan& plan,
                     const OutputRules<Word>& rules)
{
    static_assert(sizeof(BlockEntry<Word>) == 3 * sizeof(Word), "packed records");
    Pixel sample;
    std::memcpy(&sample, sampleBytes, sizeof sample);
    const Word sampleWord = wordOf<Word>(sample);
    BlockEntry<Word> record{};
    for (int state = 0; state < 2; ++state) {
        record.fixed[state] = static_cast<Word>((sampleWord & rules.keepSample[state]) | rules.fixed[state]);
    }
    record.level = static_cast<Word>(levelOf(plan, sample));
    std::memcpy(entry, &record, sizeof record);
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

/* Which blocks an axis of the output touches. Blocks are measured from the layer's origin in the input
   buffer, so the first may start left of (or above) the buffer's 0 and the output's first pixel. */
struct AxisBlocks {
    std::int64_t origin;     // the layer's 0, in buffer pixels
    int side;                // block side in pixels
    std::int64_t first;      // number of the block holding the output's pixel 0 (floor division)
    std::size_t count;       // blocks the output touches
    A_long inputSide;        // pixels of the input along this axis; samples are clamped into them

    AxisBlocks(std::int64_t layerOrigin, int blockSide, A_long outputSide, A_long inputPixels)
        : origin(layerOrigin), side(blockSide), first(blockStart(-layerOrigin, blockSide) / blockSide),
          count(static_cast<std::size_t>(blockStart(outputSide - 1 - layerOrigin, blockSide) / blockSide - first + 1)),
          inputSide(inputPixels)
    {
    }

    /* The block (0..count - 1) output pixel i lies in. */
    std::size_t blockOf(std::size_t i) const
    {
        return static_cast<std::size_t>(blockStart(static_cast<std::int64_t>(i) - origin, side) / side - first);
    }
    /* The buffer coordinate of block b's sample: its first pixel, clamped into the input. */
    std::int64_t sampleOf(std::size_t b) const
    {
        const std::int64_t start = (first + static_cast<std::int64_t>(b)) * side + origin;
        return start < 0 ? 0 : (start > inputSide - 1 ? inputSide - 1 : start);
    }
};

/* The shape of one frame's coordinate tables: output size, blocks along each axis, where samples are read,
   and whether a record per block pays (blocks large enough for the records to take at most half the
   output's bytes). */
struct TableLayout {
    std::size_t width;
    std::size_t height;
    AxisBlocks columns;
    AxisBlocks rows;
    std::size_t pixelBytes;
    std::size_t entryBytes;        // one block record
    bool records;
    const unsigned char* data;     // the input's pixels, or the zero pixel when it has none
    std::int64_t rowbytes;         // 0 without input pixels: every sample is the zero pixel
    std::int64_t sampleStride;
};

/* Whether the tables can cover the output: a size they index, sample offsets that fit their 32 bits. */
bool tablesFit(const RenderInfo& info, bool deep, A_long outputWidth, A_long outputHeight)
{
    const std::int64_t pixelBytes = deep ? sizeof(PF_Pixel16) : sizeof(PF_Pixel);
    const bool offsetsFit =
        !hasPixels(info.inputWorld) || (static_cast<std::int64_t>(info.inputWorld->width) - 1) * pixelBytes <= INT32_MAX;
    return outputWidth > 0 && outputHeight > 0 && outputWidth <= PLAN_MAX_TABLE_SIDE &&
           outputHeight <= PLAN_MAX_TABLE_SIDE && offsetsFit;
}

TableLayout tableLayout(const RenderInfo& info, const FrameConstants& k, bool deep, A_long outputWidth,
                        A_long outputHeight)
{
    const PF_LayerDef* input = info.inputWorld;
    const bool pixels = hasPixels(input);
    const std::size_t pixelBytes = deep ? sizeof(PF_Pixel16) : sizeof(PF_Pixel);
    TableLayout layout{static_cast<std::size_t>(outputWidth),
                       static_cast<std::size_t>(outputHeight),
                       AxisBlocks(info.originX, k.blockWidth, outputWidth, pixels ? input->width : 1),
                       AxisBlocks(info.originY, k.blockHeight, outputHeight, pixels ? input->height : 1),
                       pixelBytes,
                       3 * pixelBytes,
                       false,
                       pixels ? static_cast<const unsigned char*>(static_cast<const void*>(input->data)) : kZeroPixel,
                       pixels ? static_cast<std::int64_t>(input->rowbytes) : 0,
                       pixels ? static_cast<std::int64_t>(pixelBytes) : 0};
    layout.records = layout.columns.count * layout.rows.count * layout.entryBytes * 2 <=
                     layout.width * layout.height * pixelBytes;
    return layout;
}

/* Step: the level bitmaps by level and row, bit c for column c. Level 1 draws no pattern, whatever its
   bitmap holds; rows and columns past the tile, and row NO_CELL, stay clear. */
void makeLevelBitmaps(KernelPlan& plan)
{
    const FrameConstants& k = plan.constants;
    std::memset(plan.bits, 0, sizeof plan.bits);
    const unsigned tileMask = (1u << k.tileSize) - 1u;
    for (int level = 2; level <= k.levels; ++level) {
        for (int row = 0; row < k.tileSize; ++row) {
            plan.bits[level][row] = static_cast<std::uint16_t>(k.table->rows[level - 1][row] & tileMask);
        }
    }
}

/* Step: the level of every red + green + blue of an 8-bit sample. The tone of a pixel never falls as its
   mean rises (contrast multiplies by a factor of at least 0, and truncation, offset, clamp and posterizing
   all keep order), so each level covers one run of means. */
void makeToneTable8(KernelPlan& plan)
{
    const FrameConstants& k = plan.constants;
    fillMonotone(plan.levelBySum8, 3 * PF_MAX_CHAN8 + 1,
                 [&k](int sum) { return toneLevel(k, static_cast<A_u_short>(sum / 3), false); });
}

/* Step: the level of every mean of a 16-bit sample. */
void makeToneTable16(KernelPlan& plan)
{
    const FrameConstants& k = plan.constants;
    fillMonotone(plan.levelByMean16.data(), 0x10000,
                 [&k](int mean) { return toneLevel(k, static_cast<A_u_short>(mean), true); });
}

void clearCoordinateTables(KernelPlan& plan)
{
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
    plan.blockStarts.clear();
    plan.sampleOffsets.clear();
    plan.lines.clear();
    plan.masks.clear();
    plan.lineCount = 0;
    plan.rowsDeep = false;
}

/* The memory of the tables for the kernels named; false (and nothing held) when it cannot be had. */
bool allocateTables(KernelPlan& plan, const TableLayout& layout, bool deep, PlanFor kernels,
                    std::vector<std::uint8_t>& scratch)
{
    try {
        if (deep) {
            plan.levelByMean16.resize(0x10000);
        }
        if (layout.records) {
            const std::size_t bytes = layout.columns.count * layout.rows.count * layout.entryBytes;
            plan.blocks.resize((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
        }
        if (kernels == PlanFor::Pixels) {
            plan.columns.resize(layout.width);
            plan.rows.resize(layout.height);
        } else {
            plan.blockStarts.resize(layout.columns.count + 1);
            if (!layout.records) {
                plan.sampleOffsets.resize(layout.columns.count);
            }
            plan.lines.resize(layout.height);
            plan.masks.resize(layout.width); // the empty mask; makeLevelMasks adds the others
        }
        scratch.resize(std::max(layout.width, layout.height));
        return true;
    } catch (const std::bad_alloc&) {
        clearCoordinateTables(plan);
        return false;
    }
}

/* Step: a record (sample and level) per block the output touches, row by row. */
void makeBlockRecords(KernelPlan& plan, const TableLayout& layout, bool deep)
{
    auto* entries = static_cast<unsigned char*>(static_cast<void*>(plan.blocks.data()));
    const std::size_t recordRow = layout.columns.count * layout.entryBytes;
    for (std::size_t by = 0; by < layout.rows.count; ++by) {
        const unsigned char* sampleRow = layout.data + layout.rows.sampleOf(by) * layout.rowbytes;
        for (std::size_t bx = 0; bx < layout.columns.count; ++bx) {
            const unsigned char* sample = sampleRow + layout.columns.sampleOf(bx) * layout.sampleStride;
            unsigned char* entry = entries + by * recordRow + bx * layout.entryBytes;
            if (deep) {
                writeBlockEntry<PF_Pixel16, std::uint64_t>(entry, sample, plan, plan.output16);
            } else {
                writeBlockEntry<PF_Pixel, std::uint32_t>(entry, sample, plan, plan.output8);
            }
        }
    }
}

/* The first byte of the row of block records, or of samples in the input buffer, that output row y reads. */
const unsigned char* rowBase(const KernelPlan& plan, const TableLayout& layout, std::size_t y)
{
    if (layout.records) {
        const auto* entries = static_cast<const unsigned char*>(static_cast<const void*>(plan.blocks.data()));
        return entries + layout.rows.blockOf(y) * layout.columns.count * layout.entryBytes;
    }
    return layout.data + layout.rows.sampleOf(layout.rows.blockOf(y)) * layout.rowbytes;
}

/* Step, for the pixel kernels: each output column and row finds its block's record, or without records
   its block's sample in the input buffer, at rows[y].base + columns[x].offset. */
void makePixelAddresses(KernelPlan& plan, const TableLayout& layout)
{
    for (std::size_t x = 0; x < layout.width; ++x) {
        const std::size_t block = layout.columns.blockOf(x);
        plan.columns[x].offset = static_cast<std::int32_t>(
            layout.records ? block * layout.entryBytes : layout.columns.sampleOf(block) * layout.sampleStride);
    }
    for (std::size_t y = 0; y < layout.height; ++y) {
        plan.rows[y].base = rowBase(plan, layout, y);
    }
}

/* Step, for the row kernels: where each block column starts in the output (the first at 0, a sentinel at
   the width), where its sample lies in a row of samples, and the row each output row reads. */
void makeRowAddresses(KernelPlan& plan, const TableLayout& layout)
{
    const AxisBlocks& columns = layout.columns;
    for (std::size_t b = 0; b < columns.count; ++b) {
        const std::int64_t start = (columns.first + static_cast<std::int64_t>(b)) * columns.side + columns.origin;
        plan.blockStarts[b] = static_cast<std::uint32_t>(std::max<std::int64_t>(start, 0));
        if (!layout.records) {
            plan.sampleOffsets[b] = static_cast<std::int32_t>(columns.sampleOf(b) * layout.sampleStride);
        }
    }
    plan.blockStarts[columns.count] = static_cast<std::uint32_t>(layout.width);
    for (std::size_t y = 0; y < layout.height; ++y) {
        plan.lines[y].base = rowBase(plan, layout, y);
    }
}

/* The pattern cells of every output coordinate 0..count - 1 along one axis, measured from the layer's
   origin, per level: handed to putLevel(level, cells), cells[i] the cell of coordinate i (NO_CELL where
   it has none), or null where the level draws none. Levels of the same cell size share one pass, made in
   `cells`, and are handed one after the other. */
template <typename PutLevel>
void forEachLevelCells(std::size_t count, std::int64_t origin, const FrameConstants& k,
                       const float (&scale)[PLAN_LEVEL_SLOTS], std::vector<std::uint8_t>& cells, PutLevel putLevel)
{
    bool done[PLAN_LEVEL_SLOTS] = {};
    for (int level = 2; level <= k.levels; ++level) {
        if (!k.drawsCells[level]) {
            putLevel(level, static_cast<const std::uint8_t*>(nullptr));
            continue;
        }
        if (done[level]) {
            continue;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const float position = static_cast<float>(static_cast<std::int64_t>(i) - origin) * scale[level];
            const int cell = fastCellIndex(position, k.tileSize);
            cells[i] = cell < 0 ? NO_CELL : static_cast<std::uint8_t>(cell);
        }
        for (int same = level; same <= k.levels; ++same) {
            if (k.drawsCells[same] && std::memcmp(&scale[same], &scale[level], sizeof(float)) == 0) {
                done[same] = true;
                putLevel(same, static_cast<const std::uint8_t*>(cells.data()));
            }
        }
    }
}

/* The same, cell by cell: put(coordinate, level, cell). */
template <typename Put>
void forEachCell(std::size_t count, std::int64_t origin, const FrameConstants& k,
                 const float (&scale)[PLAN_LEVEL_SLOTS], std::vector<std::uint8_t>& cells, Put put)
{
    forEachLevelCells(count, origin, k, scale, cells, [count, &put](int level, const std::uint8_t* levelCells) {
        for (std::size_t i = 0; i < count; ++i) {
            put(i, level, levelCells != nullptr ? levelCells[i] : NO_CELL);
        }
    });
}

/* Step: per output column, where its cell lies in a row's table of set cells in every level. */
void makeColumnCells(KernelPlan& plan, const TableLayout& layout, std::vector<std::uint8_t>& scratch)
{
    for (ColumnEntry& column : plan.columns) {
        for (int level = 0; level < PLAN_LEVEL_SLOTS; ++level) {
            column.pick[level] = static_cast<std::uint8_t>(level * PLAN_CELLS_PER_LEVEL + NO_CELL);
        }
    }
    forEachCell(layout.width, layout.columns.origin, plan.constants, plan.constants.columnScale, scratch,
                [&plan](std::size_t x, int level, std::uint8_t cell) {
                    plan.columns[x].pick[level] = static_cast<std::uint8_t>(level * PLAN_CELLS_PER_LEVEL + cell);
                });
}

/* Step: per output row, which cells of the bitmap row it selects in every level are set (none for level 1
   and levels past the preset's), one byte per cell. The rows come cleared from allocateTables. */
void makeRowBitmaps(KernelPlan& plan, const TableLayout& layout, std::vector<std::uint8_t>& scratch)
{
    std::uint8_t cellsOfRow[PLAN_LEVEL_SLOTS][16][PLAN_CELLS_PER_LEVEL];
    for (int level = 0; level < PLAN_LEVEL_SLOTS; ++level) {
        for (int row = 0; row < 16; ++row) {
            for (int column = 0; column < PLAN_CELLS_PER_LEVEL; ++column) {
                cellsOfRow[level][row][column] = static_cast<std::uint8_t>((plan.bits[level][row] >> column) & 1u);
            }
        }
    }
    forEachCell(layout.height, layout.rows.origin, plan.constants, plan.constants.rowScale, scratch,
                [&plan, &cellsOfRow](std::size_t y, int level, std::uint8_t cell) {
                    std::memcpy(plan.rows[y].set + level * PLAN_CELLS_PER_LEVEL, cellsOfRow[level][cell],
                                PLAN_CELLS_PER_LEVEL);
                });
}

/* Where the mask of each level's bitmap row lies in KernelPlan::masks; 0, the empty mask, for rows with no
   set cell, for level 1, levels that draw none, and bitmap row NO_CELL. */
using MaskOffsets = std::uint32_t[PLAN_LEVEL_SLOTS][16];

/* Step, for the row kernels: the level masks, one word per output column, all ones where the column's cell
   is set in a bitmap row. Levels of one cell size share their columns' cells, so one mask serves every
   level and bitmap row of that size with the same cells set. The masks are counted first and made in
   memory taken at once. */
void makeLevelMasks(KernelPlan& plan, const TableLayout& layout, std::vector<std::uint8_t>& scratch,
                    MaskOffsets& offsets)
{
    std::memset(offsets, 0, sizeof offsets);
    struct Mask {
        float scale;
        std::uint16_t bits;
        bool made;
    };
    std::vector<Mask> masks;
    const std::size_t width = layout.width;
    const FrameConstants& k = plan.constants;
    for (int level = 2; level <= k.levels; ++level) {
        if (!k.drawsCells[level]) {
            continue;
        }
        const float scale = k.columnScale[level];
        for (int row = 0; row < 16; ++row) {
            const std::uint16_t bits = plan.bits[level][row];
            if (bits == 0) {
                continue;
            }
            auto same = std::find_if(masks.begin(), masks.end(), [&](const Mask& m) {
                return m.bits == bits && std::memcmp(&m.scale, &scale, sizeof scale) == 0;
            });
            if (same == masks.end()) {
                same = masks.insert(masks.end(), Mask{scale, bits, false});
            }
            offsets[level][row] = static_cast<std::uint32_t>(static_cast<std::size_t>(same - masks.begin() + 1) * width);
        }
    }
    plan.masks.resize((masks.size() + 1) * width);
    forEachLevelCells(width, layout.columns.origin, k, k.columnScale, scratch,
                      [&](int level, const std::uint8_t* cells) {
                          if (cells == nullptr) {
                              return;
                          }
                          const float scale = k.columnScale[level];
                          for (std::size_t i = 0; i < masks.size(); ++i) {
                              Mask& m = masks[i];
                              if (m.made || std::memcmp(&m.scale, &scale, sizeof scale) != 0) {
                                  continue;
                              }
                              std::uint32_t wordOfCell[16];
                              for (unsigned cell = 0; cell < 16; ++cell) {
                                  wordOfCell[cell] = ((m.bits >> cell) & 1u) != 0 ? ~std::uint32_t{0} : 0;
                              }
                              std::uint32_t* mask = plan.masks.data() + (i + 1) * width;
                              for (std::size_t x = 0; x < width; ++x) {
                                  mask[x] = wordOfCell[cells[x]];
                              }
                              m.made = true;
                          }
                      });
}

/* Step, for the row kernels: per output row and level, the mask of the bitmap row the level draws there. */
void makeLineMasks(KernelPlan& plan, const TableLayout& layout, std::vector<std::uint8_t>& scratch,
                   const MaskOffsets& offsets)
{
    forEachCell(layout.height, layout.rows.origin, plan.constants, plan.constants.rowScale, scratch,
                [&plan, &offsets](std::size_t y, int level, std::uint8_t cell) {
                    plan.lines[y].mask[level] = offsets[level][cell];
                });
}

/* Step: tell the kernel of this depth which pixels the tables cover. */
void publishTables(KernelPlan& plan, const TableLayout& layout, bool deep, PlanFor kernels)
{
    if (kernels == PlanFor::Rows) {
        plan.lineCount = static_cast<A_u_long>(layout.height);
        plan.rowsDeep = deep;
        return;
    }
    const int depthIndex = deep ? 1 : 0;
    plan.recordColumns[depthIndex] = layout.records ? static_cast<A_u_long>(layout.width) : 0;
    plan.tableColumns[depthIndex] = static_cast<A_u_long>(layout.width);
    plan.tableRows = static_cast<A_u_long>(layout.height);
    plan.blockRecords = layout.records;
    plan.columnTable = plan.columns.data();
    plan.rowTable = plan.rows.data();
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

void attachPlan(RenderInfo& info, const KernelPlan& plan)
{
    info.plan = &plan;
    PlanTables& t = info.tables;
    t.recordColumns[0] = plan.recordColumns[0];
    t.recordColumns[1] = plan.recordColumns[1];
    t.rows = plan.tableRows;
    t.columns = plan.columnTable;
    t.rowEntries = plan.rowTable;
    t.keepInput8[0] = plan.output8.keepInput[0];
    t.keepInput8[1] = plan.output8.keepInput[1];
    t.keepInput16[0] = plan.output16.keepInput[0];
    t.keepInput16[1] = plan.output16.keepInput[1];
}

void detachPlan(RenderInfo& info)
{
    info.plan = nullptr;
    info.tables = PlanTables{};
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

void buildKernelPlan(KernelPlan& plan, const RenderInfo& info, bool deep, A_long outputWidth, A_long outputHeight,
                     PlanFor kernels)
{
    plan.constants = frameConstants(info);
    makeLevelBitmaps(plan);
    makeOutputRules(plan.output8, info, info.pixelColor, info.backgroundColor, PF_MAX_CHAN8);
    makeOutputRules(plan.output16, info, info.pixelColor16, info.backgroundColor16, A_u_short{0xFFFF});
    makeToneTable8(plan);

    // The coordinate tables, for the kernels of this depth; pixels they do not cover take the exact rules.
    clearCoordinateTables(plan);
    plan.rowWidth = outputWidth > 0 ? static_cast<A_u_long>(outputWidth) : 0;
    if (!tablesFit(info, deep, outputWidth, outputHeight)) {
        return;
    }
    const TableLayout layout = tableLayout(info, plan.constants, deep, outputWidth, outputHeight);
    std::vector<std::uint8_t> scratch;
    if (!allocateTables(plan, layout, deep, kernels, scratch)) {
        return;
    }
    if (deep) {
        makeToneTable16(plan);
    }
    if (layout.records) {
        makeBlockRecords(plan, layout, deep);
    }
    if (kernels == PlanFor::Pixels) {
        makePixelAddresses(plan, layout);
        makeColumnCells(plan, layout, scratch);
        makeRowBitmaps(plan, layout, scratch);
    } else {
        MaskOffsets offsets;
        try {
            makeLevelMasks(plan, layout, scratch, offsets);
        } catch (const std::bad_alloc&) {
            clearCoordinateTables(plan);
            return;
        }
        makeRowAddresses(plan, layout);
        makeLineMasks(plan, layout, scratch, offsets);
    }
    publishTables(plan, layout, deep, kernels);
}
