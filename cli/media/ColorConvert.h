/* ColorConvert.h — pixels between FFmpeg frames and host worlds: a decoded frame into a world's ARGB rows
   (8-bit through libswscale, 16-bit through the exact 0–32768 rules) and a world into an encoder's frame,
   each with the colour description the stream carries. Scalers and scratch rows are kept and reused. */
#pragma once

#include <cstdint>
#include <vector>

#include "cfhost/World.h"
#include "media/Av.h"

namespace cfcli::media {

/* How a stream's samples are to be read: matrix, range, primaries and transfer. */
struct Colour {
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
};

/* Untagged parts filled as players fill them: BT.709 from 720 lines up, BT.601 below (PAL primaries at 576
   lines, NTSC otherwise), limited range; a transfer left open follows the primaries. */
Colour resolveColour(Colour tagged, int height);

bool isRgbFormat(AVPixelFormat format);
bool hasAlpha(AVPixelFormat format);
/* The widest component of the format, in bits. */
int componentBits(AVPixelFormat format);

/* Decoded frames into worlds of the frame's size (either depth). One converter serves one stream: the colour
   description is set on its scaler when the scaler is made. */
class FrameToWorld {
public:
    void convert(const AVFrame& frame, const Colour& colour, cfhost::World& world);

private:
    Scaler owner_;
    std::vector<std::uint16_t> wide_; /* rgba64 rows of 16-bit conversions */
    std::vector<std::uint16_t> toHost_;
    std::vector<std::uint8_t> toHost8_;
};

/* Worlds into frames an encoder takes (the frame's format, size and buffers set by the caller). */
class WorldToFrame {
public:
    void convert(const cfhost::World& world, const Colour& colour, AVFrame& frame);

private:
    void toPalette(const cfhost::World& world, AVFrame& frame);

    Scaler owner_;
    std::vector<std::uint16_t> wide_;
    std::vector<std::uint16_t> toFile_;
};

/* True when some pixel of the world is not fully opaque. */
bool hasTransparency(const cfhost::World& world);

} // namespace cfcli::media
