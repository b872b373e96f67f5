/* Kernel.cpp — one output pixel: find its block, reduce the block's top-left input pixel to a posterized
   level, and draw the cell of that level's bitmap that the pixel's position selects. One body serves both
   depths; the depth's constants come from a traits struct (KernelDepth.h).

   With the frame's plan (KernelPlan.h) a pixel inside the output is a few table loads: its row's and
   column's entries locate its block's record (its level and its two possible outputs, worked out once per
   frame); the level picks the column's cell, the row's table whether that cell is set, and the bit which
   output the pixel shows, with the input pixel's alpha where the rule keeps it. With blocks too small
   for records the sample is read per pixel and its level looked up by tone. Every other pixel, and every
   pixel of a record without a plan, takes the exact rules step by step; all ways give the same bits. */
#include "Kernel.h"

#include "Crumbleforge_Helpers.h"
#include "KernelDepth.h"
#include "KernelPlan.h"
#include "Patterns.h"
#include "RenderInfo.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

int clampInto(std::int64_t value, A_long high)
{
    return static_cast<int>(value < 0 ? 0 : (value > high ? high : value));
}

/* The block's top-left pixel, clamped into the input buffer so that a block reaching past a smaller input,
   or lying beside the layer in a grown buffer, still samples a real pixel. An input with no pixels samples
   as transparent black. */
template <typename Depth>
typename Depth::Pixel blockSample(const PF_LayerDef* input, std::int64_t x0, std::int64_t y0)
{
    if (!hasPixels(input)) {
        return typename Depth::Pixel{};
    }
    return *Depth::pixelAt(*input, clampInto(x0, input->width - 1), clampInto(y0, input->height - 1));
}

template <typename Pixel>
void setColour(Pixel* out, const Pixel& colour, decltype(Pixel::alpha) alpha)
{
    out->alpha = alpha;
    out->red = colour.red;
    out->green = colour.green;
    out->blue = colour.blue;
}

/* The exact rules, one step after the other, with the frame's constants already worked out. */
template <typename Depth>
void exactPixel(const FrameConstants& k, const RenderInfo& info, A_long x, A_long y, const typename Depth::Pixel* in,
                typename Depth::Pixel* out)
{
    using Pixel = typename Depth::Pixel;
    // Blocks and cells are measured from the layer's origin in the input buffer; the sample is read back in
    // buffer pixels.
    const std::int64_t layerX = static_cast<std::int64_t>(x) - info.originX;
    const std::int64_t layerY = static_cast<std::int64_t>(y) - info.originY;
    const Pixel sample = blockSample<Depth>(info.inputWorld, blockStart(layerX, k.blockWidth) + info.originX,
                                            blockStart(layerY, k.blockHeight) + info.originY);

    // Grey tone of the sample: plain mean, contrast, brightness, then posterized into a level from 1.
    const A_u_short mean = static_cast<A_u_short>((sample.red + sample.green + sample.blue) / 3);
    const int level = toneLevel(k, mean, Depth::deep);

    // The cell grid is anchored at the layer's origin and independent of the blocks; a negative cell size
    // mirrors it.
    bool set = false;
    if (level > 1 && k.drawsCells[level]) {
        const int column = cellIndex(static_cast<float>(layerX) * k.columnScale[level], k.tileSize);
        const int row = cellIndex(static_cast<float>(layerY) * k.rowScale[level], k.tileSize);
        set = column >= 0 && row >= 0 && cellIsSet(*k.table, level, row, column);
    }
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
}

#if defined(__GNUC__)
#define CRUMBLEFORGE_COLD __attribute__((noinline, cold))
#else
#define CRUMBLEFORGE_COLD
#endif

/* Entry i of a table of a coordinate checked against the table's length (at most PLAN_MAX_TABLE_SIDE): its
   byte offset is worked out in 32 bits, where it cannot wrap, so the coordinate needs no widening first. */
template <typename Entry>
inline const Entry& entryAt(const Entry* table, A_long i)
{
    static_assert(static_cast<std::uint64_t>(PLAN_MAX_TABLE_SIDE) * sizeof(Entry) <= UINT32_MAX, "offsets fit 32 bits");
    const std::uint32_t offset = static_cast<std::uint32_t>(i) * static_cast<std::uint32_t>(sizeof(Entry));
    return *static_cast<const Entry*>(static_cast<const void*>(static_cast<const unsigned char*>(
        static_cast<const void*>(table)) + offset));
}

/* A pixel whose block has a record: the column's and row's entries locate the record; the record's level
   picks the column's cell, the row's table says whether it is set, and the bit what the pixel keeps of its
   input pixel and what the record adds. */
template <typename Depth>
inline void recordPixel(const ColumnEntry* columns, const RowEntry* rows, const typename Depth::Word* keepInput,
                        A_long x, A_long y, const typename Depth::Pixel* in, typename Depth::Pixel* out)
{
    using Word = typename Depth::Word;
    Word inputWord;
    std::memcpy(&inputWord, in, sizeof inputWord);
    const ColumnEntry& column = entryAt(columns, x);
    const RowEntry& row = entryAt(rows, y);
    const unsigned char* block = row.base + column.offset;
    Word level;
    std::memcpy(&level, block + 2 * sizeof(Word), sizeof level);
    const unsigned set = row.set[column.pick[level]];
    Word fixed;
    std::memcpy(&fixed, block + set * sizeof(Word), sizeof fixed);
    const Word result = (inputWord & keepInput[set]) | fixed;
    std::memcpy(out, &result, sizeof result);
}

/* A pixel of blocks too small for records: the sample is read from the input layer through the column's and
   row's entries, its level looked up by tone, and the output made by the frame's rule for the cell. */
template <typename Depth>
inline void samplePixel(const KernelPlan& plan, A_long x, A_long y, const typename Depth::Pixel* in,
                        typename Depth::Pixel* out)
{
    using Word = typename Depth::Word;
    const ColumnEntry& column = entryAt(plan.columnTable, x);
    const RowEntry& row = entryAt(plan.rowTable, y);
    typename Depth::Pixel sample;
    std::memcpy(&sample, row.base + column.offset, sizeof sample);
    const auto level = static_cast<std::size_t>(levelOf(plan, sample));
    const unsigned set = row.set[column.pick[level]];

    const OutputRules<Word>& rules = Depth::rules(plan);
    Word sampleWord;
    std::memcpy(&sampleWord, &sample, sizeof sampleWord);
    Word inputWord;
    std::memcpy(&inputWord, in, sizeof inputWord);
    const Word result = (sampleWord & rules.keepSample[set]) | (inputWord & rules.keepInput[set]) | rules.fixed[set];
    std::memcpy(out, &result, sizeof result);
}

/* A pixel the fast path does not take: blocks too small for records, no plan, a plan made for the other
   depth or not attached, or a coordinate outside the output the plan was made for. Kept out of line so that
   the fast path needs no stack frame. */
template <typename Depth>
CRUMBLEFORGE_COLD PF_Err uncoveredPixel(const RenderInfo& info, A_long x, A_long y, const typename Depth::Pixel* in,
                                        typename Depth::Pixel* out)
{
    const KernelPlan* plan = info.plan;
    const int depth = Depth::deep ? 1 : 0;
    if (plan == nullptr) {
        exactPixel<Depth>(frameConstants(info), info, x, y, in, out);
    } else if (static_cast<A_u_long>(x) < plan->tableColumns[depth] && static_cast<A_u_long>(y) < plan->tableRows) {
        if (plan->blockRecords) {
            recordPixel<Depth>(plan->columnTable, plan->rowTable, Depth::rules(*plan).keepInput, x, y, in, out);
        } else {
            samplePixel<Depth>(*plan, x, y, in, out);
        }
    } else {
        exactPixel<Depth>(plan->constants, info, x, y, in, out);
    }
    return PF_Err_NONE;
}

template <typename Depth>
PF_Err crumbleforgeKernel(void* refcon, A_long x, A_long y, const typename Depth::Pixel* in,
                          typename Depth::Pixel* out)
{
    if (refcon == nullptr) {
        return PF_Err_NONE;
    }
    const RenderInfo& info = *static_cast<const RenderInfo*>(refcon);
    const PlanTables& tables = info.tables;
    if (static_cast<A_u_long>(x) < tables.recordColumns[Depth::deep ? 1 : 0] &&
        static_cast<A_u_long>(y) < tables.rows) {
        recordPixel<Depth>(tables.columns, tables.rowEntries, Depth::keepInput(tables), x, y, in, out);
        return PF_Err_NONE;
    }
    return uncoveredPixel<Depth>(info, x, y, in, out);
}

} // namespace

PF_Err Crumbleforge_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out)
{
    return crumbleforgeKernel<Depth8>(refcon, x, y, in, out);
}

PF_Err Crumbleforge_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out)
{
    return crumbleforgeKernel<Depth16>(refcon, x, y, in, out);
}
