/* Patterns.cpp — the pattern tables, drawn as they look ('X' set, '.' unset) and packed into row bits at
   compile time. A drawing with a wrong row length, a stray character or a missing row does not compile. */
#include "Patterns.h"

#include <cstddef>

namespace {

/* Packs a drawing into a table. The drawing shows levels 2, 3, ... side by side, levelsPerLine glyphs to a
   line; wider tables continue in further bands of tileSize lines each. Level 1 is left all unset: the
   kernels never draw it. */
template <int tileSize, int levelsPerLine, std::size_t cellCount>
constexpr PatternTable drawnTable(const char* const (&cells)[cellCount])
{
    constexpr std::size_t band = static_cast<std::size_t>(tileSize) * levelsPerLine;
    static_assert(tileSize > 0 && tileSize <= MAX_TILE_SIZE, "tile too large");
    static_assert(cellCount % band == 0, "a band of the drawing is missing rows or glyphs");
    static_assert(cellCount / tileSize + 1 <= MAX_LEVEL_COUNT, "too many levels");

    PatternTable table{};
    table.tileSize = tileSize;
    table.levelCount = static_cast<int>(cellCount / tileSize) + 1;
    for (std::size_t i = 0; i < cellCount; ++i) {
        const std::size_t row = (i % band) / levelsPerLine;
        const std::size_t level = 2 + (i / band) * levelsPerLine + i % levelsPerLine;
        const char* text = cells[i];
        std::uint16_t bits = 0;
        int column = 0;
        for (; text[column] != '\0'; ++column) {
            if (column >= tileSize) {
                throw "row wider than the tile";
            }
            if (text[column] == 'X') {
                bits = static_cast<std::uint16_t>(bits | (1u << column));
            } else if (text[column] != '.') {
                throw "cells are drawn with 'X' and '.' only";
            }
        }
        if (column != tileSize) {
            throw "row narrower than the tile";
        }
        table.rows[level - 1][row] = bits;
    }
    return table;
}

/* Every level shows the same diagonal from top left to bottom right. */
constexpr PatternTable diagonalTable(int tileSize, int levelCount)
{
    PatternTable table{};
    table.tileSize = tileSize;
    table.levelCount = levelCount;
    for (int level = 0; level < levelCount; ++level) {
        for (int row = 0; row < tileSize; ++row) {
            table.rows[level][row] = static_cast<std::uint16_t>(1u << row);
        }
    }
    return table;
}

} // namespace

// "High Detail": preset 1, 6 x 6 cells, 15 levels
constexpr PatternTable highDetail = drawnTable<6, 7>({
  // 2         3         4         5         6         7         8
    "......", "......", "......", "....X.", "..X.X.", "X.X.X.", "X.X.X.",
    "......", "......", ".....X", "...X.X", ".X.X.X", ".X.X.X", ".X.X.X",
    "......", "......", "....X.", "..X.X.", "X.X.X.", "X.X.X.", "X.X.X.",
    "......", ".....X", "...X.X", ".X.X.X", ".X.X.X", ".X.X.X", ".X.X.X",
    "......", "....X.", "..X.X.", "X.X.X.", "X.X.X.", "X.X.X.", "X.X.XX",
    ".....X", "...X.X", ".X.X.X", ".X.X.X", ".X.X.X", ".X.X.X", ".X.XXX",
  // 9         10        11        12        13        14        15
    "X.X.X.", "X.X.XX", ".X.X.X", "X.X.XX", ".X.XXX", "X.XXXX", "XXXXXX",
    ".X.X.X", ".X.XXX", "X.X.XX", ".X.XXX", "X.XXXX", ".XXXXX", "XXXXXX",
    "X.X.XX", "X.XXXX", ".X.XXX", "X.XXXX", ".XXXXX", "XXXXXX", "XXXXXX",
    ".X.XXX", ".XXXXX", "X.XXXX", ".XXXXX", "XXXXXX", "XXXXXX", "XXXXXX",
    "X.XXXX", "XXXXXX", ".XXXXX", "XXXXXX", "XXXXXX", "XXXXXX", "XXXXXX",
    ".XXXXX", "XXXXXX", "XXXXXX", "XXXXXX", "XXXXXX", "XXXXXX", "XXXXXX",
});

// "Numbers & Letters": preset 2, 12 x 12 cells, 7 levels
constexpr PatternTable numbersAndLetters = drawnTable<12, 6>({
  // 2               3               4               5               6               7
    "............", "............", "............", "XX......XX..", "...XXXXX....", "XX......XX..",
    "............", "............", "....XXXX....", "XXX....XXX..", ".XX.....XX..", "XX......XX..",
    "............", ".....XX.....", "...XX..XX...", "XXXX..XXXX..", ".XX..XX.XX..", "..XX..XX....",
    "............", "....XXXX....", "..XX....XX..", "XXXXXXXXXX..", ".XX.X.X.XX..", "..XX..XX....",
    ".....XX.....", "....XXXX....", "..XX...XXX..", "XX.XXXX.XX..", ".XX.X.X.XX..", "....XX......",
    ".....XX.....", ".....XX.....", "..XX..X.XX..", "XX..XX..XX..", ".XX.X.X.XX..", "....XX......",
    "......X.....", ".....XX.....", "..XX.X..XX..", "XX......XX..", ".XX.X.X.XX..", "..XX..XX....",
    ".....X......", ".....XX.....", "..XXX...XX..", "XX......XX..", ".XX.XXXXXX..", "..XX..XX....",
    "............", "............", "..XX....XX..", "XX......XX..", ".XX..XXX....", "XX......XX..",
    "............", ".....XX.....", "...XX..XX...", "XX......XX..", ".XX.........", "XX......XX..",
    "............", ".....XX.....", "....XXXX....", "............", "...XXXXX....", "............",
    "............", "............", "............", "............", "............", "............",
});

// "Horizontal Lines": preset 3, 8 x 8 cells, 7 levels
constexpr PatternTable horizontalLines = drawnTable<8, 6>({
  // 2           3           4           5           6           7
    "........", "........", "........", "........", "........", "........",
    "........", "........", "........", "........", "........", "XXXXXXXX",
    "........", "........", "........", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX",
    "........", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX",
    "XXXXXXXX", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX",
    "........", "........", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX", "XXXXXXXX",
    "........", "........", "........", "........", "XXXXXXXX", "XXXXXXXX",
    "........", "........", "........", "........", "........", "........",
});

// "Dots": preset 4, 6 x 6 cells, 7 levels
constexpr PatternTable dots = drawnTable<6, 6>({
  // 2         3         4         5         6         7
    "......", "......", "......", "X...X.", "..X.X.", "XXXXX.",
    "......", "......", ".....X", ".X.X..", ".X.X.X", "X...X.",
    "......", "......", "....X.", "..X...", "X.X.X.", "X.X.X.",
    "......", ".....X", "...X.X", ".X.X..", ".X.X.X", "X...X.",
    "......", "....X.", "..X.X.", "X...X.", "X.X.X.", "XXXXX.",
    ".....X", "...X.X", ".X.X.X", "......", ".X.X.X", "......",
});

// "Vertical Lines": preset 5, 8 x 8 cells, 7 levels
constexpr PatternTable verticalLines = drawnTable<8, 6>({
  // 2           3           4           5           6           7
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
    "...X....", "..XX....", "..XXX...", "..XXXX..", ".XXXXX..", ".XXXXXX.",
});

// "Extra Grunge": preset 6, 6 x 6 cells, 7 levels
constexpr PatternTable extraGrunge = drawnTable<6, 6>({
  // 2         3         4         5         6         7
    "XXXXXX", "......", "......", "X....X", "....X.", "X.X.X.",
    "X.....", "......", "......", ".X..X.", ".X.X.X", ".X.X.X",
    "X.....", "......", "......", "..XX..", "..X.X.", "X.X.X.",
    "X.....", "......", "......", "..XX..", ".X.X.X", ".X.X.X",
    "X.....", "......", "......", ".X..X.", "X.X.X.", "X.X.X.",
    "X.....", ".....X", "......", "X....X", ".X.X.X", ".X.X.X",
});

// "Rings": preset 7, 5 x 5 cells, 7 levels
constexpr PatternTable rings = drawnTable<5, 6>({
  // 2        3        4        5        6        7
    ".....", ".....", ".....", "..X..", ".XXX.", "XXXXX",
    ".....", "..X..", ".XXX.", ".X.X.", "X...X", "X...X",
    "..X..", ".X.X.", ".X.X.", "X...X", "X...X", "X.X.X",
    ".....", "..X..", ".XXX.", ".X.X.", "X...X", "X...X",
    ".....", ".....", ".....", "..X..", ".XXX.", "XXXXX",
});

// "Solid": preset 8, 5 x 5 cells, 7 levels
constexpr PatternTable solid = drawnTable<5, 6>({
  // 2        3        4        5        6        7
    ".....", ".....", "XXXXX", "XXXXX", "XXXXX", "XXXXX",
    ".....", ".....", "XXXXX", "XXXXX", "XXXXX", "XXXXX",
    ".....", ".....", "XXXXX", "XXXXX", "XXXXX", "XXXXX",
    ".....", ".....", "XXXXX", "XXXXX", "XXXXX", "XXXXX",
    ".....", ".....", "XXXXX", "XXXXX", "XXXXX", "XXXXX",
});

// "Diagonal (Left)": preset 9, 6 x 6 cells, 7 levels
constexpr PatternTable diagonalLeft = drawnTable<6, 6>({
  // 2         3         4         5         6         7
    "X.....", "XX....", "XX...X", "XXX..X", "XXX.XX", "XXXXXX",
    ".X....", ".XX...", "XXX...", "XXXX..", "XXXX.X", "XXXXXX",
    "..X...", "..XX..", ".XXX..", ".XXXX.", "XXXXX.", "XXXXXX",
    "...X..", "...XX.", "..XXX.", "..XXXX", ".XXXXX", "XXXXXX",
    "....X.", "....XX", "...XXX", "X..XXX", "X.XXXX", "XXXXXX",
    ".....X", "X....X", "X...XX", "XX..XX", "XX.XXX", "XXXXXX",
});

// "Diagonal (Right)": preset 10, 6 x 6 cells, 7 levels
constexpr PatternTable diagonalRight = drawnTable<6, 6>({
  // 2         3         4         5         6         7
    ".....X", "....XX", "X...XX", "X..XXX", "XX.XXX", "XXXXXX",
    "....X.", "...XX.", "...XXX", "..XXXX", "X.XXXX", "XXXXXX",
    "...X..", "..XX..", "..XXX.", ".XXXX.", ".XXXXX", "XXXXXX",
    "..X...", ".XX...", ".XXX..", "XXXX..", "XXXXX.", "XXXXXX",
    ".X....", "XX....", "XXX...", "XXX..X", "XXXX.X", "XXXXXX",
    "X.....", "X....X", "XX...X", "XX..XX", "XXX.XX", "XXXXXX",
});

// Drawn for a preset value the choice list does not have: a plain diagonal, so the fault is visible.
constexpr PatternTable errorPattern = diagonalTable(5, 7);

static_assert(highDetail.levelCount == 15, "High Detail has 15 levels");
static_assert(numbersAndLetters.levelCount == 7 && horizontalLines.levelCount == 7 && dots.levelCount == 7 &&
                  verticalLines.levelCount == 7 && extraGrunge.levelCount == 7 && rings.levelCount == 7 &&
                  solid.levelCount == 7 && diagonalLeft.levelCount == 7 && diagonalRight.levelCount == 7,
              "every other preset has 7 levels");

const PatternTable& patternTable(A_long preset)
{
    switch (preset) {
    case 1: return highDetail;
    case 2: return numbersAndLetters;
    case 3: return horizontalLines;
    case 4: return dots;
    case 5: return verticalLines;
    case 6: return extraGrunge;
    case 7: return rings;
    case 8: return solid;
    case 9: return diagonalLeft;
    case 10: return diagonalRight;
    default: return errorPattern;
    }
}
