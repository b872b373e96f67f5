/* The pattern tables against hand-copied rows of their drawings, and the properties every table keeps. */
#include "Crumbleforge_Helpers.h"
#include "Patterns.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string rowText(const PatternTable& table, int level, int row)
{
    std::string text;
    for (int column = 0; column < table.tileSize; ++column) {
        text += cellIsSet(table, level, row, column) ? 'X' : '.';
    }
    return text;
}

std::string bitmapText(const PatternTable& table, int level)
{
    std::string text;
    for (int row = 0; row < table.tileSize; ++row) {
        text += rowText(table, level, row) + (row + 1 < table.tileSize ? "|" : "");
    }
    return text;
}

struct Preset {
    A_long value;
    const PatternTable* table;
};
const Preset presets[] = {{1, &highDetail},    {2, &numbersAndLetters}, {3, &horizontalLines}, {4, &dots},
                          {5, &verticalLines}, {6, &extraGrunge},       {7, &rings},           {8, &solid},
                          {9, &diagonalLeft},  {10, &diagonalRight}};

TEST(PatternTables, EachPresetSelectsItsTableWithItsTileSizeAndLevelCount)
{
    for (const Preset& p : presets) {
        EXPECT_EQ(&patternTable(p.value), p.table) << p.value;
        EXPECT_EQ(p.table->tileSize, getTileSize(p.value)) << p.value;
        EXPECT_EQ(p.table->levelCount, p.value == 1 ? 15 : 7) << p.value;
    }
    for (const A_long other : {0, 11, -1, 1000}) {
        EXPECT_EQ(&patternTable(other), &errorPattern) << other;
    }
    EXPECT_EQ(errorPattern.tileSize, 5);
    EXPECT_EQ(errorPattern.levelCount, 7);
}

TEST(PatternTables, LevelOneIsBlankAndNoCellLiesOutsideTheTile)
{
    for (const Preset& p : presets) {
        EXPECT_EQ(bitmapText(*p.table, 1).find('X'), std::string::npos) << p.value;
    }
    for (const Preset& p : presets) {
        for (int level = 1; level <= MAX_LEVEL_COUNT; ++level) {
            for (int row = 0; row < MAX_TILE_SIZE; ++row) {
                const unsigned bits = p.table->rows[level - 1][row];
                const bool inside = level <= p.table->levelCount && row < p.table->tileSize;
                EXPECT_EQ(bits >> (inside ? p.table->tileSize : 0), 0u)
                    << "preset " << p.value << " level " << level << " row " << row;
            }
        }
    }
}

TEST(PatternTables, RowsMatchTheDrawnGlyphs)
{
    EXPECT_EQ(bitmapText(highDetail, 2), "......|......|......|......|......|.....X");
    EXPECT_EQ(bitmapText(highDetail, 8), "X.X.X.|.X.X.X|X.X.X.|.X.X.X|X.X.XX|.X.XXX");
    EXPECT_EQ(bitmapText(highDetail, 11), ".X.X.X|X.X.XX|.X.XXX|X.XXXX|.XXXXX|XXXXXX");
    EXPECT_EQ(bitmapText(highDetail, 14), "X.XXXX|.XXXXX|XXXXXX|XXXXXX|XXXXXX|XXXXXX");
    EXPECT_EQ(rowText(numbersAndLetters, 2, 6), "......X.....");
    EXPECT_EQ(rowText(numbersAndLetters, 4, 5), "..XX..X.XX..");
    EXPECT_EQ(rowText(numbersAndLetters, 5, 4), "XX.XXXX.XX..");
    EXPECT_EQ(rowText(numbersAndLetters, 6, 7), ".XX.XXXXXX..");
    EXPECT_EQ(rowText(numbersAndLetters, 7, 4), "....XX......");
    EXPECT_EQ(rowText(numbersAndLetters, 7, 11), "............");
    EXPECT_EQ(bitmapText(horizontalLines, 3), "........|........|........|XXXXXXXX|XXXXXXXX|........|........|........");
    EXPECT_EQ(bitmapText(dots, 5), "X...X.|.X.X..|..X...|.X.X..|X...X.|......");
    EXPECT_EQ(bitmapText(dots, 7), "XXXXX.|X...X.|X.X.X.|X...X.|XXXXX.|......");
    EXPECT_EQ(rowText(verticalLines, 6, 3), ".XXXXX..");
    EXPECT_EQ(bitmapText(extraGrunge, 2), "XXXXXX|X.....|X.....|X.....|X.....|X.....");
    EXPECT_EQ(bitmapText(extraGrunge, 6), "....X.|.X.X.X|..X.X.|.X.X.X|X.X.X.|.X.X.X");
    EXPECT_EQ(bitmapText(rings, 4), ".....|.XXX.|.X.X.|.XXX.|.....");
    EXPECT_EQ(bitmapText(rings, 7), "XXXXX|X...X|X.X.X|X...X|XXXXX");
    EXPECT_EQ(bitmapText(diagonalLeft, 4), "XX...X|XXX...|.XXX..|..XXX.|...XXX|X...XX");
    EXPECT_EQ(bitmapText(diagonalRight, 6), "XX.XXX|X.XXXX|.XXXXX|XXXXX.|XXXX.X|XXX.XX");
}

TEST(PatternTables, SolidAndEmptyLevels)
{
    const std::string blank5 = ".....|.....|.....|.....|.....";
    const std::string full5 = "XXXXX|XXXXX|XXXXX|XXXXX|XXXXX";
    for (int level = 1; level <= 7; ++level) {
        EXPECT_EQ(bitmapText(solid, level), level <= 3 ? blank5 : full5) << level;
    }
    EXPECT_EQ(bitmapText(extraGrunge, 4), "......|......|......|......|......|......");
    EXPECT_EQ(bitmapText(highDetail, 15), "XXXXXX|XXXXXX|XXXXXX|XXXXXX|XXXXXX|XXXXXX");
    EXPECT_EQ(bitmapText(diagonalLeft, 7), bitmapText(highDetail, 15));
    EXPECT_EQ(bitmapText(diagonalRight, 7), bitmapText(highDetail, 15));
}

TEST(PatternTables, LinesRunStraightAndDiagonalsMirrorEachOther)
{
    for (int level = 2; level <= 7; ++level) {
        for (int row = 0; row < 8; ++row) {
            const std::string h = rowText(horizontalLines, level, row);
            EXPECT_TRUE(h == "........" || h == "XXXXXXXX") << level << "/" << row;
            EXPECT_EQ(rowText(verticalLines, level, row), rowText(verticalLines, level, 0));
        }
        for (int row = 0; row < 6; ++row) {
            const std::string left = rowText(diagonalLeft, level, row);
            EXPECT_EQ(rowText(diagonalRight, level, row), std::string(left.rbegin(), left.rend()))
                << level << "/" << row;
        }
    }
}

TEST(PatternTables, ErrorPatternIsTheMainDiagonalInEveryLevel)
{
    for (int level = 1; level <= 7; ++level) {
        EXPECT_EQ(bitmapText(errorPattern, level), "X....|.X...|..X..|...X.|....X") << level;
    }
}

} // namespace
