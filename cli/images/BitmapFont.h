/* BitmapFont.h — a built-in 5×7 pixel font (with two rows below the line for descenders) for printable ASCII, for labels on pictures we make ourselves
   (the demo's contact sheet and test card). No font files needed. */
#pragma once

#include <cstdint>
#include <string>

#include "images/RgbaImage.h"

namespace cfcli {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kCapHeight = 7;   /* capitals and digits */
inline constexpr int kGlyphHeight = 9; /* the cell, descenders included */
inline constexpr int kGlyphAdvance = 6; /* glyph plus one column of space, in font pixels */

/* Whether font pixel (x, y) of character c is set; characters outside ' '..'~' draw as '?'. */
bool glyphPixel(char c, int x, int y);

/* Width in image pixels of `text` drawn at `scale`. */
int textWidth(const std::string& text, int scale);

/* Draws `text` with its top-left corner at (x, y), each font pixel a scale × scale square of `rgba`
   (8-bit values); pixels outside the image are skipped. */
void drawText(RgbaImage& image, int x, int y, const std::string& text, int scale, const std::uint8_t rgba[4]);

} // namespace cfcli
