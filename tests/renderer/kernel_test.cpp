/* The two pixel kernels on small hand-made worlds: levels and their thresholds, brightness and contrast,
   blocks, cells, colours and alpha, the error pattern, chaos offsets, and damaged parameter values. */
#include "TestWorlds.h"

#include "Crumbleforge_Helpers.h"
#include "Patterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

namespace {

template <typename Pixel>
struct Depth;

template <>
struct Depth<PF_Pixel> {
    static constexpr int max = 255;
    static constexpr int step7 = 36, step15 = 17;
    static constexpr int brightness20Edge = 21; // 21 + 51 = 72, the top of level 2
    static constexpr int highDetailLevel7 = 110;
    static PF_Pixel grey(int v, int alpha = 255)
    {
        return PF_Pixel{static_cast<A_u_char>(alpha), static_cast<A_u_char>(v), static_cast<A_u_char>(v),
                        static_cast<A_u_char>(v)};
    }
    /* Bright (level 7 of 7) and different at every position below 30 x 30. */
    static PF_Pixel unique(int x, int y) { return PF_Pixel{static_cast<A_u_char>(200 + y), static_cast<A_u_char>(220 + x), static_cast<A_u_char>(220 + y), 255}; }
    static const PF_Pixel& colour(const RenderInfo& info, bool set) { return set ? info.pixelColor : info.backgroundColor; }
};

template <>
struct Depth<PF_Pixel16> {
    static constexpr int max = 32768;
    static constexpr int step7 = 4681, step15 = 2184;
    static constexpr int brightness20Edge = 2809; // 2809 + 6553 = 9362, the top of level 2
    static constexpr int highDetailLevel7 = 14000;
    static PF_Pixel16 grey(int v, int alpha = 32768)
    {
        return PF_Pixel16{static_cast<A_u_short>(alpha), static_cast<A_u_short>(v), static_cast<A_u_short>(v),
                          static_cast<A_u_short>(v)};
    }
    static PF_Pixel16 unique(int x, int y) { return PF_Pixel16{static_cast<A_u_short>(20000 + y), static_cast<A_u_short>(30000 + x), static_cast<A_u_short>(30000 + y), 32768}; }
    static const PF_Pixel16& colour(const RenderInfo& info, bool set) { return set ? info.pixelColor16 : info.backgroundColor16; }
};

template <typename Pixel>
Pixel withAlpha(Pixel p, decltype(Pixel::alpha) alpha)
{
    p.alpha = alpha;
    return p;
}

/* One uniform block, one cell per pixel: the first tile of the output shows the level's bitmap. */
template <typename Pixel>
std::string drawnBitmap(bool planned, A_long preset, const Pixel& grey, double brightness = 0, double contrast = 0)
{
    TestWorld<Pixel> in(12, 12), out(12, 12);
    in.fill(grey);
    ChaosValues none;
    RenderInfo info = defaultInfo(preset, &in.def, &none);
    info.patternSize = 1;
    info.horizontalDetail = 250;
    info.verticalDetail = 250;
    info.brightness = brightness;
    info.contrast = contrast;
    runKernel(info, in, out, planned);
    std::string text;
    const int tile = getTileSize(preset);
    for (int row = 0; row < tile; ++row) {
        for (int column = 0; column < tile; ++column) {
            text += out.at(column, row) == withAlpha(Depth<Pixel>::colour(info, true), grey.alpha) ? 'X' : '.';
        }
        text += row + 1 < tile ? "|" : "";
    }
    return text;
}

std::string bitmap(const PatternTable& table, int level)
{
    std::string text;
    for (int row = 0; row < table.tileSize; ++row) {
        for (int column = 0; column < table.tileSize; ++column) {
            text += cellIsSet(table, level, row, column) ? 'X' : '.';
        }
        text += row + 1 < table.tileSize ? "|" : "";
    }
    return text;
}

/* Each behaviour through the exact rules and through the frame's plan, at both depths. */
template <typename P, bool Planned>
struct KernelPath {
    using Pixel = P;
    static constexpr bool planned = Planned;
};

template <typename Path>
class PixelEncoding : public ::testing::Test {
protected:
    ChaosValues noChaos;

    /* The colour a pixel shows on a set or unset cell when the input there has this alpha. */
    template <typename Pixel>
    static Pixel shownAs(const RenderInfo& info, bool set, decltype(Pixel::alpha) alpha)
    {
        return withAlpha(Depth<Pixel>::colour(info, set), alpha);
    }
    static typename Path::Pixel shown(const RenderInfo& info, bool set,
                                      decltype(Path::Pixel::alpha) alpha = Depth<typename Path::Pixel>::grey(0).alpha)
    {
        return shownAs<typename Path::Pixel>(info, set, alpha);
    }
};

using Paths = ::testing::Types<KernelPath<PF_Pixel, false>, KernelPath<PF_Pixel, true>, KernelPath<PF_Pixel16, false>,
                               KernelPath<PF_Pixel16, true>>;
TYPED_TEST_SUITE(PixelEncoding, Paths);

TYPED_TEST(PixelEncoding, ToneThresholdsPickTheLevels)
{
    using D = Depth<typename TypeParam::Pixel>;
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(0)), bitmap(rings, 1));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::step7)), bitmap(rings, 1));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::step7 + 1)), bitmap(rings, 2));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::step7 * 4)), bitmap(rings, 4));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::step7 * 4 + 1)), bitmap(rings, 5));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::max)), bitmap(rings, 7)) << "the top tone stays in level 7";
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 1, D::grey(D::step15)), bitmap(highDetail, 1));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 1, D::grey(D::step15 + 1)), bitmap(highDetail, 2));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 1, D::grey(D::max)), bitmap(highDetail, 15));
}

TYPED_TEST(PixelEncoding, BrightnessTwentyAddsItsTruncatedOffset)
{
    using D = Depth<typename TypeParam::Pixel>;
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::brightness20Edge), 20), bitmap(rings, 2));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::brightness20Edge + 1), 20), bitmap(rings, 3));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::max), -100), bitmap(rings, 1));
}

TYPED_TEST(PixelEncoding, ContrastClampsAtBothEnds)
{
    using D = Depth<typename TypeParam::Pixel>;
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(0), 0, 150), bitmap(rings, 1)) << "black stays black";
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::max), 0, 150), bitmap(rings, 7));
    EXPECT_EQ(drawnBitmap(TypeParam::planned, 7, D::grey(D::max * 3 / 4), 0, 150), bitmap(rings, 7));
}

TEST(PixelEncoding8, ContrastFiftyStretchesTonesAroundTheMiddle)
{
    // Factor (305 x 259) / (209 x 255) = 1.48222: 164 -> 181.36 -> 181 (level 6), 163 -> 179.88 -> 179 (level 5).
    EXPECT_EQ(drawnBitmap(false, 7, Depth<PF_Pixel>::grey(164), 0, 50), bitmap(rings, 6));
    EXPECT_EQ(drawnBitmap(false, 7, Depth<PF_Pixel>::grey(163), 0, 50), bitmap(rings, 5));
}

TYPED_TEST(PixelEncoding, RingsExampleSetsOneCellAndLeavesItsNeighbour)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(30, 20);
    // Level 4: mean 120 of (200, 100, 60) in 8 bits; 16000 in 16 bits.
    in.at(20, 10) = sizeof(Pixel) == 4 ? Pixel{255, 200, 100, 60} : D::grey(16000);
    in.at(22, 11).alpha = 77;
    in.at(25, 13).alpha = 66;
    RenderInfo info = defaultInfo(7, &in.def, &this->noChaos);
    TestWorld<Pixel> out(30, 20);
    runKernel(info, in, out, TypeParam::planned);
    EXPECT_EQ(out.at(22, 11), withAlpha(D::colour(info, true), 77)) << "column 2, row 3 of the level-4 ring: set";
    EXPECT_EQ(out.at(25, 13), withAlpha(D::colour(info, false), 66)) << "column 3, row 4: unset";
}

TYPED_TEST(PixelEncoding, CellLookupMultipliesByTheSinglePrecisionReciprocal)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(30, 2);
    in.fill(D::grey(D::highDetailLevel7)); // High Detail level 7, row 0: X.X.X.
    RenderInfo info = defaultInfo(1, &in.def, &this->noChaos);
    info.patternSize = 1.08;
    TestWorld<Pixel> out(30, 2);
    runKernel(info, in, out, TypeParam::planned);
    EXPECT_EQ(out.at(26, 0), this->shown(info, true)) << "26 x (1 / 1.08) = 24.07: column 0";
    // 27 x (1 / 1.08f) lands just above 25 (column 1, unset); 27 / 1.08f would land just below (column 0).
    EXPECT_EQ(out.at(27, 0), this->shown(info, false));
}

TYPED_TEST(PixelEncoding, UnsetCellsAndLevelOneShowTheBackgroundWithTheInputsAlpha)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(8, 8), out(8, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            in.at(x, y) = D::grey(0, x * 8 + y); // black: level 1 everywhere; alpha differs per pixel
        }
    }
    RenderInfo info = defaultInfo(4, &in.def, &this->noChaos);
    info.backgroundColor = PF_Pixel{9, 10, 20, 30};
    info.backgroundColor16 = colour16(info.backgroundColor);
    runKernel(info, in, out, TypeParam::planned);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(out.at(x, y), withAlpha(D::colour(info, false), in.at(x, y).alpha)) << x << "," << y;
        }
    }
}

TYPED_TEST(PixelEncoding, TransparentBackgroundClearsAllFourChannels)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    for (const int tone : {0, D::step7 * 3 + 1}) { // level 1, and level 4 with its unset cells
        TestWorld<Pixel> in(10, 10), out(10, 10);
        in.fill(D::grey(tone, 99));
        out.fill(D::grey(123, 45)); // whatever the host left there
        RenderInfo info = defaultInfo(7, &in.def, &this->noChaos);
        info.transparentBackground = 1;
        info.patternSize = 1;
        runKernel(info, in, out, TypeParam::planned);
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 10; ++x) {
                const bool set = tone > 0 && cellIsSet(rings, 4, y % 5, x % 5);
                ASSERT_EQ(out.at(x, y), set ? withAlpha(D::colour(info, true), 99) : Pixel{}) << x << "," << y;
            }
        }
    }
}

TYPED_TEST(PixelEncoding, OriginalColourCopiesTheBlockSampleWithItsAlpha)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(10, 5), out(10, 5);
    in.fill(D::grey(D::step7 * 3 + 1, 200)); // level 4 of Rings
    Pixel sample = D::grey(D::step7 * 3 + 1, 10);
    sample.red = static_cast<decltype(sample.red)>(sample.red + 3);
    sample.blue = static_cast<decltype(sample.blue)>(sample.blue - 3);
    in.at(0, 0) = sample;
    RenderInfo info = defaultInfo(7, &in.def, &this->noChaos);
    info.useOriginalColor = 1;
    info.patternSize = 1;
    runKernel(info, in, out, TypeParam::planned);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool set = cellIsSet(rings, 4, y, x % 5);
            ASSERT_EQ(out.at(x, y), set ? sample : withAlpha(D::colour(info, false), in.at(x, y).alpha)) << x << "," << y;
        }
    }
    info.useOriginalColor = 2; // only 1 means on
    runKernel(info, in, out, TypeParam::planned);
    EXPECT_EQ(out.at(1, 1), withAlpha(D::colour(info, true), 200));
}

TYPED_TEST(PixelEncoding, DetailSlidersRoundBlockSizes)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(20, 6), out(20, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 20; ++x) {
            in.at(x, y) = D::unique(x, y);
        }
    }
    // Solid draws every cell of bright blocks, and original colour shows which pixel each block sampled.
    RenderInfo info = defaultInfo(8, &in.def, &this->noChaos);
    info.useOriginalColor = 1;
    info.horizontalDetail = 2.5; // 3 wide
    info.verticalDetail = 1.0;   // 1 high
    runKernel(info, in, out, TypeParam::planned);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(out.at(x, y), in.at(x - x % 3, y)) << x << "," << y;
        }
    }
}

TYPED_TEST(PixelEncoding, ScaleLockMakesSquareBlocksOneTileWide)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(30, 30), out(30, 30);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 30; ++x) {
            in.at(x, y) = D::unique(x, y);
        }
    }
    // Dots, Pattern Size 2.5: blocks of 6 x 2.5 = 15 whatever the detail sliders say. Level 7 of Dots
    // sets cells (row 0, column 4) at x = 12 and (row 0, column 0) again at x = 15, and rows 4 and 0 at
    // y = 12 and y = 15, so these four pixels show which block they belong to.
    RenderInfo info = defaultInfo(4, &in.def, &this->noChaos);
    info.useOriginalColor = 1;
    info.scaleLock = 1;
    info.patternSize = 2.5;
    info.horizontalDetail = 1;
    info.verticalDetail = 1;
    runKernel(info, in, out, TypeParam::planned);
    EXPECT_EQ(out.at(12, 0), in.at(0, 0));
    EXPECT_EQ(out.at(15, 0), in.at(15, 0));
    EXPECT_EQ(out.at(0, 12), in.at(0, 0));
    EXPECT_EQ(out.at(0, 15), in.at(0, 15));
    EXPECT_EQ(out.at(27, 27), in.at(15, 15));
}

TYPED_TEST(PixelEncoding, BlocksAndCellsAreMeasuredFromTheLayersOriginInAGrownBuffer)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    constexpr int kOriginX = 6, kOriginY = 3;
    TestWorld<Pixel> layer(14, 9), layerOut(14, 9), buffer(14 + 2 * kOriginX, 9 + 2 * kOriginY),
        bufferOut(14 + 2 * kOriginX, 9 + 2 * kOriginY);
    for (int y = 0; y < buffer.def.height; ++y) {
        for (int x = 0; x < buffer.def.width; ++x) {
            buffer.at(x, y) = D::unique(x, y); // around the layer: what an earlier glow left
        }
    }
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 14; ++x) {
            layer.at(x, y) = D::grey(D::max - 3 * (x + 5 * y), 40 + x);
            buffer.at(x + kOriginX, y + kOriginY) = layer.at(x, y);
        }
    }
    // Rings at one cell per pixel shows the cell grid; Solid in original colour which pixel each block sampled.
    for (const auto& [preset, original] : {std::pair<A_long, A_u_char>{7, 0}, {7, 1}, {8, 1}}) {
        RenderInfo info = defaultInfo(preset, &layer.def, &this->noChaos);
        info.patternSize = 1;
        info.horizontalDetail = 4;
        info.verticalDetail = 2;
        info.useOriginalColor = original;
        runKernel(info, layer, layerOut, TypeParam::planned);
        info.inputWorld = &buffer.def;
        info.originX = kOriginX;
        info.originY = kOriginY;
        runKernel(info, buffer, bufferOut, TypeParam::planned);
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 14; ++x) {
                ASSERT_EQ(bufferOut.at(x + kOriginX, y + kOriginY), layerOut.at(x, y))
                    << "layer pixel " << x << "," << y << ", preset " << preset << ", original colour " << int(original);
            }
        }
        if (preset == 8) {
            // Left of and above the layer the grid goes on: layer column -5 lies in the block [-8, -4), whose
            // sample (buffer column -2) is held at the buffer's edge; column -4 starts the block [-4, 0).
            EXPECT_EQ(bufferOut.at(1, 0), buffer.at(0, 0));
            EXPECT_EQ(bufferOut.at(2, 0), buffer.at(2, 0));
            EXPECT_EQ(bufferOut.at(2, 2), buffer.at(2, 1)) << "layer row -1 lies in the block [-2, 0)";
        }
    }
}

TYPED_TEST(PixelEncoding, PresetOutsideTheListDrawsTheErrorDiagonal)
{
    using D = Depth<typename TypeParam::Pixel>;
    for (const A_long preset : {0, 11, -7, std::numeric_limits<A_long>::max()}) {
        EXPECT_EQ(drawnBitmap(TypeParam::planned, preset, D::grey(D::max)), "X....|.X...|..X..|...X.|....X") << preset;
        EXPECT_EQ(drawnBitmap(TypeParam::planned, preset, D::grey(D::step7 + 1)), "X....|.X...|..X..|...X.|....X") << preset;
        EXPECT_EQ(drawnBitmap(TypeParam::planned, preset, D::grey(D::step7)), ".....|.....|.....|.....|.....") << "7 levels";
    }
}

TYPED_TEST(PixelEncoding, ChaosOffsetsTheCellSizeOfEachLevelAlone)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(30, 30), plain(30, 30), chaotic(30, 30);
    in.fill(D::grey(D::max)); // Rings level 7
    RenderInfo info = defaultInfo(7, &in.def, &this->noChaos);
    info.patternSize = 3;
    runKernel(info, in, plain, TypeParam::planned);

    ChaosValues chaos(15, 100.0f);
    chaos[6] = 2.0f; // level 7 only: Pattern Size 1 + 2 draws as Pattern Size 3
    info.patternSize = 1;
    info.chaosEnabled = 1;
    info.chaosValues = &chaos;
    runKernel(info, in, chaotic, TypeParam::planned);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 30; ++x) {
            ASSERT_EQ(chaotic.at(x, y), plain.at(x, y)) << x << "," << y;
        }
    }

    ChaosValues tooShort(3, 2.0f); // never sent; counts as no offset
    info.chaosValues = &tooShort;
    runKernel(info, in, chaotic, TypeParam::planned);
    EXPECT_EQ(chaotic.at(1, 1), this->shown(info, false)) << "Pattern Size 1: row 1, column 1 of X...X";
    info.chaosValues = nullptr;
    runKernel(info, in, chaotic, TypeParam::planned);
    EXPECT_EQ(chaotic.at(1, 1), this->shown(info, false));
}

TYPED_TEST(PixelEncoding, CellSizesShrunkToZeroOrBelowStayInsideTheTile)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> in(12, 12), out(12, 12);
    in.fill(D::grey(D::max)); // Rings level 7: XXXXX|X...X|X.X.X|X...X|XXXXX
    ChaosValues chaos(15, 0.0f);
    RenderInfo info = defaultInfo(7, &in.def, &chaos);
    info.patternSize = 1;
    info.chaosEnabled = 1;

    chaos[6] = -2.0f; // size -1 mirrors the grid: pixel (x, y) reads column -x, row -y, wrapped into 0..4
    runKernel(info, in, out, TypeParam::planned);
    EXPECT_EQ(out.at(1, 0), this->shown(info, true)) << "column 4, row 0";
    EXPECT_EQ(out.at(2, 2), this->shown(info, false)) << "column 3, row 3";
    EXPECT_EQ(out.at(3, 3), this->shown(info, true)) << "column 2, row 2";
    EXPECT_EQ(out.at(2, 3), this->shown(info, false)) << "column 3, row 2";
    EXPECT_EQ(out.at(4, 1), this->shown(info, true)) << "column 1, row 4";

    for (const float offset : {-1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity()}) {
        chaos[6] = offset; // size 0 or not finite: no cell is drawn
        runKernel(info, in, out, TypeParam::planned);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 12; ++x) {
                ASSERT_EQ(out.at(x, y), this->shown(info, false)) << offset << ": " << x << "," << y;
            }
        }
    }
}

TYPED_TEST(PixelEncoding, SmallerInputIsSampledAtItsNearestEdge)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    TestWorld<Pixel> small(4, 4), alpha(10, 10), out(10, 10);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            small.at(x, y) = D::unique(x, y);
        }
    }
    RenderInfo info = defaultInfo(8, &small.def, &this->noChaos);
    info.useOriginalColor = 1;
    info.horizontalDetail = 3;
    info.verticalDetail = 250; // held at the input's height: blocks of 3 x 4
    runKernel(info, alpha, out, TypeParam::planned);
    EXPECT_EQ(out.at(2, 3), small.at(0, 0));
    EXPECT_EQ(out.at(3, 3), small.at(3, 0));
    EXPECT_EQ(out.at(9, 9), small.at(3, 3)) << "block (9, 8) lies outside; its sample is clamped in";
    EXPECT_EQ(out.at(5, 9), small.at(3, 3));

    TestWorld<Pixel> empty(0, 0);
    info.inputWorld = &empty.def;
    info.useOriginalColor = 0;
    runKernel(info, alpha, out, TypeParam::planned);
    EXPECT_EQ(out.at(5, 5), this->shown(info, false, 0)) << "no pixels: samples as transparent black, level 1";
}

TYPED_TEST(PixelEncoding, DamagedParameterValuesStillDrawOnlyDefinedPixels)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    TestWorld<Pixel> in(9, 7), out(9, 7);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            in.at(x, y) = D::grey((x * 7 + y * 13) * D::max / 120, 50 + x);
        }
    }
    ChaosValues chaos(15, 0.0f);
    for (const double value : {nan, inf, -inf, 0.0, -1.0, -1e300, 1e300, 1e-40, 3e9, -3e9}) {
        for (const A_long preset : {1, 2, 7, 0, std::numeric_limits<A_long>::min()}) {
            for (int field = 0; field < 6; ++field) {
                RenderInfo info = defaultInfo(preset, &in.def, &chaos);
                info.scaleLock = static_cast<A_u_char>(field == 3);
                info.useOriginalColor = static_cast<A_u_char>(field % 2);
                double* fields[] = {&info.brightness, &info.contrast, &info.patternSize, &info.patternSize,
                                    &info.horizontalDetail, &info.verticalDetail};
                *fields[field] = value;
                info.chaosEnabled = 1;
                std::fill(chaos.begin(), chaos.end(), toSingle(field == 2 ? value : -value));
                runKernel(info, in, out, TypeParam::planned);
                for (int y = 0; y < 7; ++y) {
                    for (int x = 0; x < 9; ++x) {
                        const Pixel p = out.at(x, y);
                        const bool known = p == withAlpha(D::colour(info, true), in.at(x, y).alpha) ||
                                           p == withAlpha(D::colour(info, false), in.at(x, y).alpha);
                        bool sampled = false;
                        for (int sy = 0; sy < 7 && !sampled; ++sy) {
                            for (int sx = 0; sx < 9 && !sampled; ++sx) {
                                sampled = info.useOriginalColor == 1 && p == in.at(sx, sy);
                            }
                        }
                        ASSERT_TRUE(known || sampled) << "value " << value << ", field " << field << ", preset "
                                                      << preset << " at " << x << "," << y;
                    }
                }
            }
        }
    }
}

TYPED_TEST(PixelEncoding, NullRecordLeavesTheOutputUntouched)
{
    using D = Depth<typename TypeParam::Pixel>;
    using Pixel = typename TypeParam::Pixel;
    Pixel in = D::grey(7), out = D::grey(99, 3);
    EXPECT_EQ(callKernel(nullptr, 0, 0, &in, &out), PF_Err_NONE);
    EXPECT_EQ(out, D::grey(99, 3));
}

} // namespace
