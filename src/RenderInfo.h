/* RenderInfo.h — the per-frame record that the render driver fills once and the pixel kernels and the chaos
   generator only read, plus the rule that derives the 16-bit copies of the two colours. */
#pragma once

#include "AE_Effect.h"

#include <atomic>
#include <cstdint>
#include <vector>

/* The frame's chaos offsets: empty while chaos is off, CHAOS_LEVEL_COUNT values while it is on; element
   k - 1 belongs to brightness level k. */
using ChaosValues = std::vector<float>;

struct KernelPlan;
struct ColumnEntry;
struct RowEntry;

/* The plan's coordinate tables as the kernels read them for every pixel, kept in the record itself so that
   a pixel reaches them in one step (attachPlan, KernelPlan.h): the output columns they cover with block
   records for the 8-bit ([0]) and the 16-bit kernel ([1]), the rows, the tables, and which bits of the input
   pixel an unset ([0]) and a set ([1]) cell keep. All zero: no such tables; pixels go the slower ways. */
struct PlanTables {
    A_u_long recordColumns[2];
    A_u_long rows;
    const ColumnEntry* columns;
    const RowEntry* rowEntries;
    std::uint32_t keepInput8[2];
    std::uint64_t keepInput16[2];
};

struct RenderInfo {
    A_long preset;                  // "Presets" popup, 1..10; 0 and anything else draw the error pattern
    double brightness;              // -100..100
    double contrast;                // -150..150
    double patternSize;             // 1..10, pixels per pattern cell
    A_u_char scaleLock;             // non-zero: square blocks of one whole tile
    double horizontalDetail;        // 1..250, block width
    double verticalDetail;          // 1..250, block height
    PF_Pixel pixelColor;            // 8-bit kernel
    PF_Pixel16 pixelColor16;        // 16-bit kernel; alpha stays 0
    PF_Pixel backgroundColor;       // 8-bit kernel
    PF_Pixel16 backgroundColor16;   // 16-bit kernel; alpha stays 0
    A_u_char useOriginalColor;      // 1: set cells take the block's sampled pixel
    A_u_char transparentBackground; // 1: unset cells become transparent black
    A_u_char chaosEnabled;          // non-zero: add chaosValues[level - 1] to the cell size
    double chaosIntensity;          // 0..25
    double chaosSeed;               // 0..1000
    double chaosSpeed;              // 0..100
    A_u_char chaosBehavior;         // 1 increase, 2 decrease, anything else both ways
    const ChaosValues* chaosValues; // always set by the driver, even when empty
    const PF_LayerDef* inputWorld;  // the input layer the kernels sample
    float downsampleX;              // preview scale of the layer's columns (1/2 at half resolution);
    float downsampleY;              // and rows; 0 or anything not above 0 means full resolution
    A_long originX;                 // where the layer's (0, 0) lies in the input buffer, in buffer pixels at
    A_long originY;                 // the preview's resolution; (0, 0) unless an earlier effect grew the buffer
    const KernelPlan* plan;         // the frame's constants and tables (KernelPlan.h), made from the fields
                                    // above; null: the kernels work everything out per pixel
    PlanTables tables;              // the plan's per-pixel tables, set with the plan by attachPlan
    std::atomic<bool>* rowsDrawn;   // set by the row kernels once they draw; null: not asked for
};

/* 8-bit channel to the host's 16-bit range 0..32768, rounded: 0 -> 0, 128 -> 16448, 255 -> 32768. */
constexpr A_u_short channel16(A_u_char v)
{
    return static_cast<A_u_short>((static_cast<A_long>(v) * PF_MAX_CHAN16 + 128) / PF_MAX_CHAN8);
}

/* The 16-bit copy of a colour parameter. Alpha is not derived: the kernels take alpha from the input. */
constexpr PF_Pixel16 colour16(PF_Pixel c)
{
    return PF_Pixel16{0, channel16(c.red), channel16(c.green), channel16(c.blue)};
}
