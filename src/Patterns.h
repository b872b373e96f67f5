/* Patterns.h — the eleven constant bitmap tables the kernels draw from: per preset one square bitmap per
   brightness level, each cell set (pattern colour) or unset (background). */
#pragma once

#include "AE_Effect.h"

#include <cstdint>

constexpr int MAX_TILE_SIZE = 12;
constexpr int MAX_LEVEL_COUNT = 15;

/* One preset's bitmaps. rows[level - 1][row] holds the cells of that row, bit c for column c; every row
   past tileSize and every level past levelCount is zero, and so is level 1 of the ten preset tables. */
struct PatternTable {
    int tileSize;
    int levelCount;
    std::uint16_t rows[MAX_LEVEL_COUNT][MAX_TILE_SIZE];
};

extern const PatternTable highDetail;        // preset 1
extern const PatternTable numbersAndLetters; // preset 2
extern const PatternTable horizontalLines;   // preset 3
extern const PatternTable dots;              // preset 4
extern const PatternTable verticalLines;     // preset 5
extern const PatternTable extraGrunge;       // preset 6
extern const PatternTable rings;             // preset 7
extern const PatternTable solid;             // preset 8
extern const PatternTable diagonalLeft;      // preset 9
extern const PatternTable diagonalRight;     // preset 10
extern const PatternTable errorPattern;      // any other preset value

/* The table of a "Presets" value; values outside 1..10 get errorPattern. */
const PatternTable& patternTable(A_long preset);

/* Whether the cell at (row, column) of a level's bitmap is set. The caller keeps level in
   1..levelCount and row, column in 0..tileSize - 1. */
inline bool cellIsSet(const PatternTable& table, int level, int row, int column)
{
    return ((table.rows[level - 1][row] >> column) & 1u) != 0;
}
