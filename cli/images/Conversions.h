/* Conversions.h — the exact channel conversions between file samples and host worlds, and between the
   host's two depths. Checks elsewhere compare pixels bit for bit, so every rule here is integer
   arithmetic with truncating division, exactly as written:
     16-bit file p (0–65535) → host h (0–32768):  h = (p × 32768 + 32767) / 65535
     host h → 16-bit file p:                      p = (h × 65535 + 16384) / 32768
     host 8-bit v → host 16-bit:                  h = (v × 32768 + 128) / 255
     host 16-bit h → host 8-bit:                  v = (h × 255 + 16384) / 32768
   8-bit file samples are host 8-bit samples unchanged. Alpha is straight both ways. */
#pragma once

#include <cstdint>

#include "images/RgbaImage.h"
#include "cfhost/World.h"

namespace cfcli {

inline constexpr std::uint32_t kHostMax16 = 32768;

constexpr std::uint16_t fileToHost16(std::uint16_t p) noexcept
{
    return static_cast<std::uint16_t>((std::uint32_t{p} * 32768u + 32767u) / 65535u);
}

/* Host values above 32768 are not valid; they are treated as 32768. */
constexpr std::uint16_t host16ToFile(std::uint16_t h) noexcept
{
    const std::uint32_t v = h > kHostMax16 ? kHostMax16 : h;
    return static_cast<std::uint16_t>((v * 65535u + 16384u) / 32768u);
}

constexpr std::uint16_t host8ToHost16(std::uint8_t v) noexcept
{
    return static_cast<std::uint16_t>((std::uint32_t{v} * 32768u + 128u) / 255u);
}

constexpr std::uint8_t host16ToHost8(std::uint16_t h) noexcept
{
    const std::uint32_t v = h > kHostMax16 ? kHostMax16 : h;
    return static_cast<std::uint8_t>((v * 255u + 16384u) / 32768u);
}

/* Fills `world` (same size as `image`, either depth) from the image's samples. */
void imageToWorld(const RgbaImage& image, cfhost::World& world);

/* The world's pixels as file samples: 8-bit worlds give 8-bit images, 16-bit worlds 16-bit images. */
RgbaImage worldToImage(const cfhost::World& world);

} // namespace cfcli
