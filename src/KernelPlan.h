/* KernelPlan.h — what the pixel kernels need of one frame, worked out once by the render driver before the
   iteration: the frame's constants (tile, levels, block size, tone adjustment, per-level cell reciprocals,
   the level bitmaps and the output colours) and lookup tables by tone and by output column and row, so that
   a pixel costs a handful of loads. Blocks and cells are measured from the layer's origin in the input
   buffer (RenderInfo::originX/Y), as the exact rules measure them. The kernels only read it; it lives as
   long as the frame's render call. */
#pragma once

#include "AE_Effect.h"
#include "Patterns.h"
#include "RenderInfo.h"

#include <cstdint>
#include <vector>

/* Index 0 is unused so that levels 1..15 index directly. */
constexpr int PLAN_LEVEL_SLOTS = MAX_LEVEL_COUNT + 1;

/* Cell index along an axis that selects no cell: bit 15 of every level row and row 15 of every level
   bitmap in the plan are clear (tiles are at most 12 cells wide). */
constexpr std::uint8_t NO_CELL = 15;

/* Constants of a frame that the exact per-pixel rules need; cheap to make from the record alone. */
struct FrameConstants {
    const PatternTable* table;
    int tileSize;
    int levels;
    int blockWidth;   // pixels, at least 1
    int blockHeight;
    float contrastFactor;
    A_long brightness8;  // brightness offset at 8 bits
    A_long brightness16; // and at 16 bits
    /* Per level: the reciprocal of the cell width and height in pixels (cell size plus chaos, scaled by the
       preview factor), and whether the level draws cells at all (both sizes non-zero and finite). */
    float columnScale[PLAN_LEVEL_SLOTS];
    float rowScale[PLAN_LEVEL_SLOTS];
    bool drawsCells[PLAN_LEVEL_SLOTS];
};

/* How an output pixel is made from the sample S and the input pixel I, per cell state c (0 unset, 1 set),
   as whole-pixel words: out = (S & keepSample[c]) | (I & keepInput[c]) | fixed[c]. */
template <typename Word>
struct OutputRules {
    Word keepSample[2];
    Word keepInput[2];
    Word fixed[2];
};

/* Cells per level in a row's table of set cells: bitmap columns 0..15, so that level * 16 + column is one
   byte index. */
constexpr int PLAN_CELLS_PER_LEVEL = 16;

/* One output column: per level, where the pixel's cell lies in a row's table of set cells
   (level * PLAN_CELLS_PER_LEVEL + its pattern column, NO_CELL as the column where the level draws none),
   and the byte offset of what its pixels read within a row of samples or block records. */
struct ColumnEntry {
    std::uint8_t pick[PLAN_LEVEL_SLOTS];
    std::int32_t offset;
    std::uint32_t unused[3]; // 32 bytes: an index is one shift
};

/* One output row: the first byte of the row of samples or block records its pixels read, and whether each
   cell of each level's bitmap row it selects is set (1) or not (0), by ColumnEntry::pick. All clear where
   the level draws none, for level 1, and for column NO_CELL. */
struct RowEntry {
    const unsigned char* base;
    std::uint8_t set[PLAN_LEVEL_SLOTS * PLAN_CELLS_PER_LEVEL];
};

/* A block as the plan keeps it for the 8-bit (Word 32 bits) or 16-bit kernel: its level, and what its
   pixels show on an unset ([0]) and a set ([1]) cell besides the bits they keep of the input pixel (the
   output rule applied to the block's sample): out = (in & keepInput[c]) | fixed[c]. */
template <typename Word>
struct BlockEntry {
    Word fixed[2];
    Word level; // 1..levels
};

/* One output row as the row kernels read it: the first byte of the row of block records or samples its
   blocks read (as RowEntry::base), and per level the offset in KernelPlan::masks of the mask of the bitmap
   row the level draws on this row (0, the empty mask, where it draws none). */
struct RowLine {
    const unsigned char* base;
    std::uint32_t mask[PLAN_LEVEL_SLOTS];
};

/* Which kernels a plan's coordinate tables serve: those called once per pixel, or the row kernels. */
enum class PlanFor { Pixels, Rows };

struct KernelPlan {
    FrameConstants constants;

    /* Level bitmaps by level and row, bit c for column c; level 1 (draws nothing), rows and columns past
       the tile, and row and column NO_CELL are clear. */
    std::uint16_t bits[PLAN_LEVEL_SLOTS][16];

    OutputRules<std::uint32_t> output8;
    OutputRules<std::uint64_t> output16;

    /* Level 1..levels by red + green + blue of an 8-bit sample; and by the mean of a 16-bit sample
       (made only for the 16-bit kernel). */
    std::uint8_t levelBySum8[3 * PF_MAX_CHAN8 + 1];
    std::vector<std::uint8_t> levelByMean16;

    /* Every block of the output, row by row, as BlockEntry records: made when blocks are large enough for
       the records to take at most half the output's bytes. */
    std::vector<std::uint64_t> blocks;

    /* Per output column x and row y, the address of what the pixel reads is rows[y].base +
       columns[x].offset: with block records, its block's record; else the block's sample in the input
       buffer (or a zero pixel when the input has no pixels). Blocks left of or above the output's first
       pixel (a layer origin inside the buffer) have records too. */
    std::vector<ColumnEntry> columns;
    std::vector<RowEntry> rows;

    /* What the kernels read of the tables: the output columns and rows they cover, for the 8-bit kernel
       ([0]) and the 16-bit kernel ([1]). 0 for the other depth's kernel, and for both when the output is too
       large or memory for the tables ran out; other pixels take the exact rules. recordColumns is
       tableColumns with block records, else 0. */
    A_u_long recordColumns[2];
    A_u_long tableColumns[2];
    A_u_long tableRows;
    bool blockRecords;
    const ColumnEntry* columnTable;
    const RowEntry* rowTable;

    /* The row kernels' tables (PlanFor::Rows). Per block column the output column it starts at, the last
       entry the output's width; per block column the byte offset of its sample in a row of samples
       (without block records); per output row its RowLine; and the level masks: per output column one word,
       all ones where the column's cell is set in the level's bitmap row, the first mask empty. Offsets into
       the masks count words. */
    std::vector<std::uint32_t> blockStarts;
    std::vector<std::int32_t> sampleOffsets;
    std::vector<RowLine> lines;
    std::vector<std::uint32_t> masks;
    /* The output rows the row tables cover (0: none, the row kernels take the pixel kernels' way), and the
       output's width, to which every row is drawn. */
    A_u_long lineCount;
    A_u_long rowWidth;
    /* The kernel depth the row tables were made for (deep: the 16-bit kernel). */
    bool rowsDeep;
};

/* The level a block draws at, from its sample (at the plan's depth). */
inline int levelOf(const KernelPlan& plan, const PF_Pixel& sample)
{
    return plan.levelBySum8[sample.red + sample.green + sample.blue];
}
inline int levelOf(const KernelPlan& plan, const PF_Pixel16& sample)
{
    return plan.levelByMean16[(static_cast<unsigned>(sample.red) + sample.green + sample.blue) / 3u];
}

/* Whether a layer has pixels to sample; one without samples as transparent black. */
inline bool hasPixels(const PF_LayerDef* input)
{
    return input != nullptr && input->data != nullptr && input->width > 0 && input->height > 0;
}

/* Largest output side the plan makes coordinate tables for; larger outputs take the exact rules. */
constexpr A_long PLAN_MAX_TABLE_SIDE = 1 << 16;

FrameConstants frameConstants(const RenderInfo& info);

/* Fills the plan for the kernel of one depth (deep: the 16-bit kernel) over an output of the given size.
   The record must be complete except for its plan, and its input layer must hold pixels of at least the
   kernel's size (the 8-bit kernel may run on a 16-bit layer, not the other way round). Built one named step
   per table (KernelPlan.cpp). Never throws: without memory for the tables the plan works without them. */
void buildKernelPlan(KernelPlan& plan, const RenderInfo& info, bool deep, A_long outputWidth, A_long outputHeight,
                     PlanFor kernels = PlanFor::Pixels);

/* Hands the plan to the kernels: record.plan, and record.tables for the pixels its block records cover.
   detachPlan takes both away (the kernels then apply the exact rules). */
void attachPlan(RenderInfo& info, const KernelPlan& plan);
void detachPlan(RenderInfo& info);

/* Level 1..levels of a mean tone (0..65535) at one depth: contrast, brightness and posterizing. */
int toneLevel(const FrameConstants& constants, A_u_short mean, bool deep);

/* Pattern cell along one axis of a position already scaled into cells, the same as cellIndex; exact
   integer arithmetic where the position allows it. */
int fastCellIndex(float position, int tileSize);
