/* PngIO.h — PNG stills through libpng. Reading accepts every PNG colour type and depth: grey and palette
   images become RGB, images without alpha become opaque (a tRNS chunk becomes alpha), depths below 8
   become 8; 16-bit images stay 16-bit. Writing produces 8- or 16-bit RGBA. Errors name the file. */
#pragma once

#include <filesystem>
#include <vector>

#include "RgbaImage.h"

namespace cfcli {

/* Throws UsageError for a missing, unreadable, non-PNG, damaged or truncated file. */
RgbaImage readPng(const std::filesystem::path& path);

/* The PNG encoding of `image` (RGBA at the image's depth); `name` only labels errors. */
std::vector<unsigned char> encodePng(const RgbaImage& image, const std::string& name);

/* True when the path names a PNG by its extension (case-insensitive). */
bool hasPngExtension(const std::filesystem::path& path);

} // namespace cfcli
