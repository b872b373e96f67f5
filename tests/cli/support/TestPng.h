/* TestPng.h — PNG files for tests, written and read with libpng's plain row interface and no conversion,
   so that tests see exactly the colour type, depth and sample values a file holds. */
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace cftest {

struct TestPng {
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = 6;                  /* PNG colour type: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA */
    std::vector<std::uint16_t> samples; /* channels per pixel as the colour type has them; palette: indices */
    std::vector<std::uint8_t> palette;  /* palette images: R, G, B per entry */
    std::vector<std::uint8_t> paletteAlpha; /* palette images: the tRNS alpha per entry (may be shorter) */

    int channels() const;
};

void writeTestPng(const std::filesystem::path& path, const TestPng& png);
/* Fails the current test (and returns an empty image) when the file cannot be read. */
TestPng readTestPng(const std::filesystem::path& path);

/* A deterministic image with gradients, noise and a spread of alpha values; 16-bit samples cover 0..65535
   with the edge values 0, 1, 32767, 32768, 65534 and 65535 among them. */
TestPng patternImage(int width, int height, int bitDepth, int colorType, unsigned seed);

} // namespace cftest
