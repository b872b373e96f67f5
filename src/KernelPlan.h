/* KernelPlan.h — what the pixel kernels need of one frame, worked out once by the render driver before the
   iteration: the frame's constants (tile, levels, block size, tone adjustment, per-level cell reciprocals,
   the level bitmaps and the output colours) and lookup tables by tone and by output column and row, so that
   a pixel costs a handful of loads. The kernels only read it; it lives as long as the frame's render call. */
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

/* How an output pixel is made from the sample S and the input pixel I, per cell state (index 0 unset,
   1 set), as whole-pixel words: out = (S & keepSample) | (I & keepInput) | fixed. */
template <typename Word>
struct OutputRule {
    Word keepSample;
    Word keepInput;
    Word fixed;
};

/* One output column or row: where its block's sample lies along that axis, and the pattern cell it
   selects in each level's bitmap (NO_CELL where the level draws none there). */
struct CoordinateEntry {
    std::int64_t sampleOffset; // bytes from the input's first pixel
    std::uint8_t cell[PLAN_LEVEL_SLOTS];
};

struct KernelPlan {
    FrameConstants constants;
    int pixelBytes; // 4: made for the 8-bit kernel, 8: for the 16-bit kernel

    /* Level bitmaps by level and row, bit c for column c; level 1 (draws nothing), rows and columns past
       the tile, and row and column NO_CELL are clear. */
    std::uint16_t bits[PLAN_LEVEL_SLOTS][16];

    OutputRule<std::uint32_t> output8[2];
    OutputRule<std::uint64_t> output16[2];

    /* Sample address: sampleBase + column offset + row offset. Without an input layer it is a zero pixel
       and both offsets are 0. */
    const unsigned char* sampleBase;
    std::uint64_t zeroPixel;

    /* Level 1..levels by red + green + blue of an 8-bit sample; and by the mean of a 16-bit sample
       (made only for the 16-bit kernel). */
    std::uint8_t levelBySum8[3 * PF_MAX_CHAN8 + 1];
    std::vector<std::uint8_t> levelByMean16;

    /* One entry per output column and per output row, 0..count - 1; coordinates outside (or every one, when
       memory for the tables ran out) take the exact per-pixel rules. */
    std::vector<CoordinateEntry> columns;
    std::vector<CoordinateEntry> rows;
};

/* Largest output side the plan makes coordinate tables for; larger outputs take the exact rules. */
constexpr A_long PLAN_MAX_TABLE_SIDE = 1 << 16;

FrameConstants frameConstants(const RenderInfo& info);

/* Fills the plan for the kernel of one depth (deep: the 16-bit kernel) over an output of the given size.
   The record must be complete except for its plan pointer. Never throws: without memory for the tables
   the plan works without them. */
void buildKernelPlan(KernelPlan& plan, const RenderInfo& info, bool deep, A_long outputWidth, A_long outputHeight);

/* Level 1..levels of a mean tone (0..65535) at one depth: contrast, brightness and posterizing. */
int toneLevel(const FrameConstants& constants, A_u_short mean, bool deep);

/* Pattern cell along one axis of a position already scaled into cells, the same as cellIndex; exact
   integer arithmetic where the position allows it. */
int fastCellIndex(float position, int tileSize);
