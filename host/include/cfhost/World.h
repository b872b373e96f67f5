/* World.h — an image that owns its pixels and exposes them as a PF_LayerDef (PF_EffectWorld):
   8-bit (PF_Pixel) or 16-bit (PF_Pixel16, PF_WorldFlag_DEEP) with padded rows. */
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "AE_Effect.h"

namespace cfhost {

enum class Depth { Eight, Sixteen };

/* Channel conversions between the two depths (16-bit channels run 0..32768), rounded to nearest. */
A_u_short to16(A_u_char v) noexcept;
A_u_char to8(A_u_short v) noexcept;
PF_Pixel16 to16(const PF_Pixel& p) noexcept;
PF_Pixel to8(const PF_Pixel16& p) noexcept;

/* Layout:
   - rowbytes = width × pixel size + padding bytes. The padding defaults to kDefaultPaddingPixels pixels, so
     code that steps rows by width × pixel size instead of rowbytes goes wrong visibly.
   - The padding may be any byte count that keeps every pixel aligned to its channel size: any number for
     8-bit worlds (odd counts included), an even number for 16-bit worlds. Zero gives tightly packed rows.
   - Padding bytes are set to kGuardByte; paddingIntact() tells whether anybody wrote there.
   - extent_hint is the whole world, origin 0, pixel aspect 1/1, world_flags has PF_WorldFlag_WRITEABLE
     (and PF_WorldFlag_DEEP for 16 bits). Pixels start zeroed (transparent black).
   Moving a World keeps its pixel address; copying is explicit through clone(). */
class World {
public:
    static constexpr A_long kDefaultPaddingPixels = 8;
    static constexpr unsigned char kGuardByte = 0xA5;

    World(A_long width, A_long height, Depth depth = Depth::Eight);
    World(A_long width, A_long height, Depth depth, A_long paddingBytes);
    World(World&&) noexcept;
    World& operator=(World&&) noexcept;
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    ~World();

    World clone() const;

    A_long width() const noexcept { return layer_.width; }
    A_long height() const noexcept { return layer_.height; }
    A_long rowbytes() const noexcept { return layer_.rowbytes; }
    A_long paddingBytes() const noexcept;
    Depth depth() const noexcept { return depth_; }
    bool deep() const noexcept { return depth_ == Depth::Sixteen; }
    std::size_t pixelBytes() const noexcept { return deep() ? sizeof(PF_Pixel16) : sizeof(PF_Pixel); }

    /* The record handed to effects; it points at this world's pixels. */
    PF_LayerDef& layer() noexcept { return layer_; }
    const PF_LayerDef& layer() const noexcept { return layer_; }

    /* Pixel access; throws HostError for a coordinate outside the world or the wrong depth. */
    PF_Pixel& pixel8(A_long x, A_long y);
    const PF_Pixel& pixel8(A_long x, A_long y) const;
    PF_Pixel16& pixel16(A_long x, A_long y);
    const PF_Pixel16& pixel16(A_long x, A_long y) const;

    void fill(const PF_Pixel& colour);   /* 8-bit worlds */
    void fill(const PF_Pixel16& colour); /* 16-bit worlds */

    bool paddingIntact() const noexcept;

private:
    unsigned char* row(A_long y) const noexcept;

    Depth depth_;
    std::unique_ptr<unsigned char[]> pixels_;
    PF_LayerDef layer_{};
};

/* The world at 1/factorX of its columns and 1/factorY of its rows, sizes rounded up: each pixel is the
   top-left pixel of its factorX-by-factorY cell, as a host's draft preview reduces a layer. */
World reduced(const World& source, A_long factorX, A_long factorY);

/* Same size, same depth and same pixels (padding is not compared). */
bool samePixels(const World& a, const World& b);
/* The first pixel, in raster order, where two worlds of the same size and depth differ; nothing if they agree.
   Throws HostError when size or depth differ. */
std::optional<PF_Point> firstDifference(const World& a, const World& b);

} // namespace cfhost
