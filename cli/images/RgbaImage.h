/* RgbaImage.h — an image as files and pipes carry it: straight (unpremultiplied) RGBA samples in the
   file's own range, 0–255 for 8-bit images and 0–65535 for 16-bit ones, rows packed, top row first. */
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cfcli {

struct RgbaImage {
    int width = 0;
    int height = 0;
    int bits = 8;                        /* 8 or 16 */
    std::vector<std::uint16_t> samples;  /* R, G, B, A for each pixel */

    RgbaImage() = default;
    RgbaImage(int w, int h, int b)
        : width(w), height(h), bits(b),
          samples(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4u, 0)
    {
    }

    std::size_t pixelCount() const noexcept
    {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    std::uint16_t maxValue() const noexcept { return bits == 16 ? 65535 : 255; }
    std::uint16_t* pixel(int x, int y) noexcept
    {
        return samples.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 4u;
    }
    const std::uint16_t* pixel(int x, int y) const noexcept
    {
        return samples.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 4u;
    }
};

} // namespace cfcli
