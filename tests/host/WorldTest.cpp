/* WorldTest.cpp — image layout, padding, pixel access, comparison and depth conversion. */
#include <gtest/gtest.h>

#include <cstring>

#include "cfhost/HostError.h"
#include "cfhost/World.h"

using namespace cfhost;

namespace {

unsigned char* rawPixel(World& w, A_long x, A_long y)
{
    return static_cast<unsigned char*>(static_cast<void*>(w.layer().data)) + y * w.rowbytes() +
           x * static_cast<A_long>(w.pixelBytes());
}

} // namespace

TEST(WorldLayout, RowsArePaddedByDefaultAndDescribeTheWholeWorld)
{
    World eight(10, 3);
    EXPECT_EQ(eight.rowbytes(), 10 * 4 + World::kDefaultPaddingPixels * 4);
    EXPECT_EQ(eight.layer().world_flags & PF_WorldFlag_DEEP, 0);
    World deep(10, 3, Depth::Sixteen);
    EXPECT_EQ(deep.rowbytes(), 10 * 8 + World::kDefaultPaddingPixels * 8);
    EXPECT_NE(deep.layer().world_flags & PF_WorldFlag_DEEP, 0);
    for (const World* w : {&eight, &deep}) {
        const PF_LayerDef& l = w->layer();
        EXPECT_EQ(l.width, 10);
        EXPECT_EQ(l.height, 3);
        EXPECT_EQ(l.extent_hint.left, 0);
        EXPECT_EQ(l.extent_hint.top, 0);
        EXPECT_EQ(l.extent_hint.right, 10);
        EXPECT_EQ(l.extent_hint.bottom, 3);
        EXPECT_EQ(l.pix_aspect_ratio.num, 1);
        EXPECT_EQ(l.pix_aspect_ratio.den, 1u);
        EXPECT_TRUE(w->paddingIntact());
    }
}

TEST(WorldLayout, NewPixelsAreTransparentBlack)
{
    World w(4, 4, Depth::Sixteen, 6);
    for (A_long y = 0; y < 4; ++y) {
        for (A_long x = 0; x < 4; ++x) {
            const PF_Pixel16 p = w.pixel16(x, y);
            EXPECT_EQ(p.alpha | p.red | p.green | p.blue, 0);
        }
    }
}

TEST(WorldLayout, AcceptsAnyPaddingThatKeepsPixelsAligned)
{
    EXPECT_EQ(World(5, 2, Depth::Eight, 0).rowbytes(), 20);
    EXPECT_EQ(World(5, 2, Depth::Eight, 3).rowbytes(), 23);
    EXPECT_EQ(World(5, 2, Depth::Sixteen, 2).rowbytes(), 42);
    EXPECT_THROW(World(5, 2, Depth::Sixteen, 3), HostError);
    EXPECT_THROW(World(5, 2, Depth::Eight, -1), HostError);
    EXPECT_THROW(World(-1, 2), HostError);
}

TEST(WorldPixels, AccessorsAddressRowsThroughRowbytes)
{
    World w(6, 4, Depth::Eight, 5);
    w.pixel8(3, 2) = PF_Pixel{1, 2, 3, 4};
    const unsigned char* raw = rawPixel(w, 3, 2);
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(raw[3], 4);

    World d(6, 4, Depth::Sixteen, 2);
    d.pixel16(5, 3) = PF_Pixel16{100, 200, 300, 32768};
    PF_Pixel16 back;
    std::memcpy(&back, rawPixel(d, 5, 3), sizeof back);
    EXPECT_EQ(back.blue, 32768);
    EXPECT_TRUE(d.paddingIntact());
}

TEST(WorldPixels, RefusesOutsideCoordinatesAndTheWrongDepth)
{
    World w(3, 3);
    EXPECT_THROW(w.pixel8(3, 0), HostError);
    EXPECT_THROW(w.pixel8(0, -1), HostError);
    EXPECT_THROW(w.pixel16(0, 0), HostError);
    EXPECT_THROW(w.fill(PF_Pixel16{}), HostError);
}

TEST(WorldPixels, PaddingCheckNoticesAStrayWrite)
{
    World w(3, 3, Depth::Eight, 4);
    rawPixel(w, 3, 1)[1] = 0;
    EXPECT_FALSE(w.paddingIntact());
}

TEST(WorldPixels, FillSetsEveryPixelButNoPadding)
{
    World w(7, 3, Depth::Eight, 1);
    w.fill(PF_Pixel{9, 8, 7, 6});
    EXPECT_EQ(w.pixel8(6, 2).blue, 6);
    EXPECT_EQ(w.pixel8(0, 0).alpha, 9);
    EXPECT_TRUE(w.paddingIntact());
}

TEST(WorldOwnership, MovingKeepsThePixelsAndCloningCopiesThem)
{
    World w(4, 2, Depth::Eight, 3);
    w.pixel8(1, 1).red = 77;
    PF_PixelPtr data = w.layer().data;
    World moved(std::move(w));
    EXPECT_EQ(moved.layer().data, data);
    EXPECT_EQ(moved.pixel8(1, 1).red, 77);

    World copy = moved.clone();
    EXPECT_NE(copy.layer().data, data);
    EXPECT_EQ(copy.rowbytes(), moved.rowbytes());
    EXPECT_TRUE(samePixels(copy, moved));
    copy.pixel8(1, 1).red = 78;
    EXPECT_EQ(moved.pixel8(1, 1).red, 77);
}

TEST(WorldComparison, FindsTheFirstDifferenceInRasterOrderIgnoringPadding)
{
    World a(5, 4, Depth::Eight, 0), b(5, 4, Depth::Eight, 12);
    EXPECT_TRUE(samePixels(a, b));
    b.pixel8(4, 1).green = 1;
    b.pixel8(0, 3).green = 1;
    const auto diff = firstDifference(a, b);
    ASSERT_TRUE(diff.has_value());
    EXPECT_EQ(diff->h, 4);
    EXPECT_EQ(diff->v, 1);
    EXPECT_FALSE(samePixels(a, World(5, 3)));
    EXPECT_FALSE(samePixels(a, World(5, 4, Depth::Sixteen)));
    EXPECT_THROW(firstDifference(a, World(4, 4)), HostError);
}

TEST(DepthConversion, MapsEndpointsAndRoundTripsEveryEightBitValue)
{
    EXPECT_EQ(to16(A_u_char{0}), 0);
    EXPECT_EQ(to16(A_u_char{255}), PF_MAX_CHAN16);
    EXPECT_EQ(to16(A_u_char{128}), (128 * 32768 + 128) / 255);
    EXPECT_EQ(to8(A_u_short{PF_MAX_CHAN16}), 255);
    EXPECT_EQ(to8(A_u_short{PF_HALF_CHAN16}), 128);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(to8(to16(static_cast<A_u_char>(v))), v);
    }
    const PF_Pixel16 p = to16(PF_Pixel{255, 0, 128, 1});
    EXPECT_EQ(p.alpha, PF_MAX_CHAN16);
    EXPECT_EQ(p.red, 0);
}
