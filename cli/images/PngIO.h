/* PngIO.h — PNG stills through libpng. Reading accepts every PNG colour type and depth: grey and palette
   images become RGB, images without alpha become opaque (a tRNS chunk becomes alpha), depths below 8
   become 8; 16-bit images stay 16-bit. Writing produces 8- or 16-bit RGBA. Errors name the file. */
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "images/RgbaImage.h"
#include "cfhost/World.h"

namespace cfcli {

/* How a PNG says its colours are to be shown (gAMA, cHRM, sRGB, iCCP); passed from PNG input to PNG output. */
struct PngColourChunks {
    std::optional<std::int32_t> gamma;                /* gAMA, × 100000 */
    std::optional<std::array<std::int32_t, 8>> chrm;  /* white, red, green, blue x/y, × 100000 */
    std::optional<int> srgbIntent;                    /* sRGB */
    std::string iccName;                              /* iCCP */
    std::vector<unsigned char> iccProfile;
};

/* Throws UsageError for a missing, unreadable, non-PNG, damaged or truncated file. */
RgbaImage readPng(const std::filesystem::path& path, PngColourChunks* chunks = nullptr);

/* The PNG encoding of `image` (RGBA at the image's depth); `name` only labels errors. */
std::vector<unsigned char> encodePng(const RgbaImage& image, const std::string& name,
                                     const PngColourChunks* chunks = nullptr);
/* The same straight from a host world: 8-bit worlds give 8-bit RGBA, 16-bit worlds 16-bit RGBA by the exact
   rule. Rows are filtered by "up" only (no trial of every filter) and deflated at level 6: the effect's frames
   come out smaller than FFmpeg's own PNG encoder makes them. */
std::vector<unsigned char> encodePng(const cfhost::World& world, const std::string& name,
                                     const PngColourChunks* chunks = nullptr);

/* True when the file is an animated PNG (it has an acTL chunk before its image data). */
bool isAnimatedPng(const std::filesystem::path& path);

/* True when the path names a PNG by its extension (case-insensitive). */
bool hasPngExtension(const std::filesystem::path& path);

} // namespace cfcli
