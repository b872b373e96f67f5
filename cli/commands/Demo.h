/* Demo.h — `crumbleforge demo [OUT.png]`: the built-in test card through each preset the module declares,
   as one labelled contact sheet. Layout: five columns of 320 × 240 tiles, each under a 24-pixel label
   strip, with 8-pixel gutters around everything — 1648 × 552 pixels for ten presets. */
#pragma once

#include <string>
#include <vector>

#include "common/Options.h"
#include "images/RgbaImage.h"

namespace cfcli {

inline constexpr int kTileWidth = 320;
inline constexpr int kTileHeight = 240;
inline constexpr int kSheetColumns = 5;
inline constexpr int kLabelHeight = 24;
inline constexpr int kGutter = 8;

/* Places the tiles (all kTileWidth × kTileHeight, 8-bit) on a sheet, each over a checkerboard that shows
   its transparency, with its label above it. */
RgbaImage contactSheet(const std::vector<RgbaImage>& tiles, const std::vector<std::string>& labels);

int runDemo(const Options& options);

} // namespace cfcli
