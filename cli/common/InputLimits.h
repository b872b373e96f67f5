/* InputLimits.h — how far the command believes what an input says of itself. Real footage stays far inside
   these bounds; a damaged or hostile file that claims more is refused (exit 2) before memory is asked for it,
   and an input that never ends (a device, a pipe) stops. The README's input contract states them. */
#pragma once

#include <cstdint>

#include "common/Options.h"

namespace cfcli::limits {

/* A frame or image: at most this many pixels a side and in all (16384 × 16384, FFmpeg's own decoders stop
   there too). */
inline constexpr std::int64_t kMaxSide = 65536;
inline constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;
/* Streams of one file (a Blu-ray has a few dozen). */
inline constexpr unsigned kMaxStreams = 256;
/* Frames a file may declare or hold: no more than a render can number. */
inline constexpr long kMaxFrames = kMaxFrame;
/* Input the demuxer may read without giving a packet, beyond two frames of raw pixels of the size the file
   declares (a raw frame is one packet). */
inline constexpr std::int64_t kBytesWithoutPacket = std::int64_t{64} << 20;
/* Video packets the decoder may take without giving a frame (a decoder holds a few dozen at most). */
inline constexpr long kPacketsWithoutFrame = 1000;

/* Whether a frame of this size is within the bounds above. */
constexpr bool frameSizeAllowed(std::int64_t width, std::int64_t height, std::int64_t maxPixels = kMaxPixels)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= maxPixels;
}

} // namespace cfcli::limits
