/* Crumbleforge_Helpers.h — the small arithmetic rules of the pixel kernels: channel clamps, slider mapping,
   contrast and brightness, tile size, block origin, pattern cell, pixel address and posterizing. Pure and
   cheap: they run once or more per output pixel. */
#pragma once

#include "AE_Effect.h"

#include <cmath>
#include <cstdint>
#include <limits>

/* ---- safe narrowing ------------------------------------------------------------------------------- */

/* Double to single precision. Values beyond the float range become infinities instead of relying on the
   conversion of an unrepresentable value; NaN stays NaN. */
inline float toSingle(double value)
{
    constexpr double top = static_cast<double>(std::numeric_limits<float>::max());
    if (value > top) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -top) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

/* Truncation toward zero of a value that may be out of range or NaN: saturates at +-limit, NaN gives 0.
   Converting such a value to an integer directly would be undefined. */
inline A_long truncateClamped(double value, A_long limit)
{
    if (std::isnan(value)) {
        return 0;
    }
    const double bound = static_cast<double>(limit);
    if (value >= bound) {
        return limit;
    }
    if (value <= -bound) {
        return -limit;
    }
    return static_cast<A_long>(value);
}

inline A_long truncateClamped(float value, A_long limit)
{
    return truncateClamped(static_cast<double>(value), limit);
}

/* ---- channel clamps and tone arithmetic ------------------------------------------------------------ */

inline int truncate8(int value)
{
    return value < 0 ? 0 : (value > PF_MAX_CHAN8 ? PF_MAX_CHAN8 : value);
}

inline int truncate16(int value)
{
    return value < 0 ? 0 : (value > PF_MAX_CHAN16 ? PF_MAX_CHAN16 : value);
}

/* Linear map from [sourceLow, sourceHigh] onto [targetLow, targetHigh], unclamped. The source bounds
   must differ. */
inline double convertSlider(double value, double sourceLow, double sourceHigh, double targetLow, double targetHigh)
{
    const double sourceSpan = sourceHigh - sourceLow;
    const double targetSpan = targetHigh - targetLow;
    const double scaled = (value - sourceLow) * targetSpan;
    const double mapped = scaled / sourceSpan;
    return mapped + targetLow;
}

/* Tones, contrast-adjusted tones and brightness offsets saturate here before any integer conversion. Far
   beyond anything that can survive the final clamp (contrast at most multiplies by about 131), so legal
   values are never touched, and the sum of the two cannot overflow. */
constexpr A_long TONE_LIMIT = 1 << 24;

/* Brightness offset for "Brightness" -100..100 at a channel maximum of 255 or 32768, truncated toward
   zero: 20 gives 51 (8-bit) or 6553 (16-bit). */
inline A_long brightnessOffset(double brightness, int channelMax)
{
    const double range = static_cast<double>(channelMax);
    return truncateClamped(convertSlider(brightness, -100.0, 100.0, -range, range), TONE_LIMIT);
}

/* Contrast factor ((c + 255) * 259) / ((259 - c) * 255) in single precision: 1 at 0, about 3.774 at 150.
   The formula is only meaningful for c in -255..255 (it divides by zero at 259), so the value is held
   there; NaN counts as 0. */
inline float contrastFactor(double contrast)
{
    float c = toSingle(contrast);
    if (std::isnan(c)) {
        c = 0.0f;
    } else if (c > 255.0f) {
        c = 255.0f;
    } else if (c < -255.0f) {
        c = -255.0f;
    }
    const float numerator = (c + 255.0f) * 259.0f;
    const float denominator = (259.0f - c) * 255.0f;
    return numerator / denominator;
}

/* Contrast around the pivot, then brightness, clamped to 0..channelMax. The product and the sum are
   separate statements so that no compiler fuses them into one rounding. */
inline A_u_short adjustTone(float factor, A_long offset, A_u_short tone, int pivot, int channelMax)
{
    const float scaled = static_cast<float>(static_cast<int>(tone) - pivot) * factor;
    const float contrasted = scaled + static_cast<float>(pivot);
    const A_long heldOffset = offset < -TONE_LIMIT ? -TONE_LIMIT : (offset > TONE_LIMIT ? TONE_LIMIT : offset);
    const A_long sum = truncateClamped(contrasted, TONE_LIMIT) + heldOffset;
    return static_cast<A_u_short>(sum < 0 ? 0 : (sum > channelMax ? channelMax : sum));
}

inline A_u_short bcControls8(float factor, int offset, A_u_short tone)
{
    return adjustTone(factor, offset, tone, PF_HALF_CHAN8, PF_MAX_CHAN8);
}

inline A_u_short bcControls16(float factor, int offset, A_u_short tone)
{
    return adjustTone(factor, offset, tone, PF_HALF_CHAN16, PF_MAX_CHAN16);
}

/* Level index 0..levels - 1 of a tone: 0 up to one step (channel maximum / levels), else the tone divided
   by the step rounded up, minus 1, at most levels - 1. No levels at all gives -1. */
inline int posterizePixel(A_u_short tone, int levels, bool is16)
{
    if (levels <= 0) {
        return -1;
    }
    const int full = is16 ? PF_MAX_CHAN16 : PF_MAX_CHAN8;
    const int step = full / levels;
    if (tone <= step) {
        return 0;
    }
    if (step == 0) { // more levels than tone values: every tone above 0 is the top level
        return levels - 1;
    }
    const int level = (tone + step - 1) / step - 1;
    return level < levels - 1 ? level : levels - 1;
}

/* ---- geometry -------------------------------------------------------------------------------------- */

/* Cells per side of a preset's pattern tile. */
inline int getTileSize(int preset)
{
    constexpr int sizes[] = {6, 12, 8, 6, 8, 6, 5, 5, 6, 6};
    return preset >= 1 && preset <= 10 ? sizes[preset - 1] : 5;
}

/* Largest block side: far beyond any image, and exact in single precision. */
constexpr int MAX_BLOCK_SIZE = 1 << 30;

/* Block side in pixels: at least 1, rounded half away from zero in single precision, at most limit. NaN
   counts as 1 and +infinity as limit. */
inline int blockSize(float size, int limit)
{
    const int bound = limit < 1 ? 1 : (limit > MAX_BLOCK_SIZE ? MAX_BLOCK_SIZE : limit);
    const float top = static_cast<float>(bound);
    if (!(size >= 1.0f)) {
        size = 1.0f;
    } else if (size > top) {
        size = top;
    }
    return static_cast<int>(std::round(size));
}

/* Start of the block of `side` pixels that holds a layer position; blocks are anchored at the layer's 0, and
   positions left of or above the layer (negative) continue the grid: floor division, the remainder never
   negative. */
inline std::int64_t blockStart(std::int64_t position, int side)
{
    const std::int64_t remainder = position % side;
    return position - (remainder < 0 ? remainder + side : remainder);
}

/* Start of the block that holds the layer coordinate, at a block size of `size` pixels (blockSize). */
inline int getBlock(int coordinate, float size)
{
    return static_cast<int>(blockStart(coordinate, blockSize(size, MAX_BLOCK_SIZE)));
}

/* Pattern cell 0..tileSize - 1 of a position already scaled into cell units. A negative position (cell
   size below zero) wraps into the tile like a positive one; a position that is not finite (cell size zero
   or too small to divide by) has no cell and gives -1. */
inline int cellIndex(float position, int tileSize)
{
    if (tileSize <= 0 || !std::isfinite(position)) {
        return -1;
    }
    const float tile = static_cast<float>(tileSize);
    float cell = std::floor(std::fmod(position, tile));
    if (cell < 0.0f) {
        cell += tile;
    }
    return static_cast<int>(cell);
}

/* Pattern cell of a pixel coordinate at a cell size of scale pixels; -1 when the scale is zero or not
   finite. The kernels multiply by the reciprocal of the scale instead of dividing, which can differ in the
   last bit exactly at a cell boundary. */
inline int scalePattern(int coordinate, float scale, int tileSize)
{
    if (scale == 0.0f || !std::isfinite(scale)) {
        return -1;
    }
    return cellIndex(static_cast<float>(coordinate) / scale, tileSize);
}

/* ---- pixel addresses ------------------------------------------------------------------------------- */

/* Address of pixel (x, y); rowbytes may be padded or negative. No bounds check. */
inline PF_Pixel* getPixel8(const PF_LayerDef& world, int x, int y)
{
    char* base = reinterpret_cast<char*>(world.data);
    const std::int64_t offset = static_cast<std::int64_t>(y) * static_cast<std::int64_t>(world.rowbytes) +
                                static_cast<std::int64_t>(x) * static_cast<std::int64_t>(sizeof(PF_Pixel));
    return static_cast<PF_Pixel*>(static_cast<void*>(base + offset));
}

inline PF_Pixel16* getPixel16(const PF_LayerDef& world, int x, int y)
{
    char* base = reinterpret_cast<char*>(world.data);
    const std::int64_t offset = static_cast<std::int64_t>(y) * static_cast<std::int64_t>(world.rowbytes) +
                                static_cast<std::int64_t>(x) * static_cast<std::int64_t>(sizeof(PF_Pixel16));
    return static_cast<PF_Pixel16*>(static_cast<void*>(base + offset));
}
