/* ExpandedInputTest.cpp — an earlier effect on the layer (a glow, a drop shadow) hands the effect a buffer
   larger than the layer: the blocks and the pattern stay on the layer, so the layer's pixels come out the
   same with and without the expansion, at full and at reduced resolution. */
#include "EffectFixture.h"

#include "Crumbleforge.h"

namespace {

class ExpandedInputTest : public EffectFixture {
protected:
    static constexpr A_long kWidth = 160;
    static constexpr A_long kHeight = 120;
    static constexpr A_long kGrowth = 10; // pixels the earlier effect added on every side

    void SetUp() override
    {
        EffectFixture::SetUp();
        ASSERT_EQ(fx().globalSetup(), PF_Err_NONE);
        ASSERT_EQ(fx().paramsSetup(), PF_Err_NONE);
        fx().setPopup(PARAM_PRESETS, 7);
        fx().setFloat(PARAM_HORIZONTAL_DETAIL, 16);
        fx().setFloat(PARAM_VERTICAL_DETAIL, 12);
        fx().setFloat(PARAM_PATTERN_SIZE, 3);
    }

    /* The layer, 8- or 16-bit: gradients and a disc. */
    cfhost::World layer(cfhost::Depth depth) const
    {
        cfhost::World world(kWidth, kHeight, depth);
        for (A_long y = 0; y < kHeight; ++y) {
            for (A_long x = 0; x < kWidth; ++x) {
                const A_long dx = x - 80, dy = y - 60;
                const bool disc = dx * dx + dy * dy < 40 * 40;
                const PF_Pixel p{255, static_cast<A_u_char>(x * 255 / (kWidth - 1)),
                                 static_cast<A_u_char>(disc ? 255 - y * 2 : y * 2), static_cast<A_u_char>(disc ? 40 : 200)};
                put(world, x, y, p);
            }
        }
        return world;
    }

    /* The layer grown by kGrowth on every side, the new border a soft glow of its own colours. */
    cfhost::World grown(const cfhost::World& inner) const
    {
        cfhost::World world(kWidth + 2 * kGrowth, kHeight + 2 * kGrowth, inner.depth());
        for (A_long y = 0; y < world.height(); ++y) {
            for (A_long x = 0; x < world.width(); ++x) {
                put(world, x, y, PF_Pixel{static_cast<A_u_char>(60 + x), 250, static_cast<A_u_char>(3 * y), 120});
            }
        }
        for (A_long y = 0; y < kHeight; ++y) {
            for (A_long x = 0; x < kWidth; ++x) {
                if (inner.deep()) {
                    world.pixel16(x + kGrowth, y + kGrowth) = inner.pixel16(x, y);
                } else {
                    world.pixel8(x + kGrowth, y + kGrowth) = inner.pixel8(x, y);
                }
            }
        }
        return world;
    }

    static void put(cfhost::World& world, A_long x, A_long y, const PF_Pixel& p)
    {
        if (world.deep()) {
            world.pixel16(x, y) = cfhost::to16(p);
        } else {
            world.pixel8(x, y) = p;
        }
    }

    /* The part of `world` from (left, top) of the given size. */
    static cfhost::World cut(const cfhost::World& world, A_long left, A_long top, A_long width, A_long height)
    {
        cfhost::World part(width, height, world.depth());
        for (A_long y = 0; y < height; ++y) {
            for (A_long x = 0; x < width; ++x) {
                if (world.deep()) {
                    part.pixel16(x, y) = world.pixel16(x + left, y + top);
                } else {
                    part.pixel8(x, y) = world.pixel8(x + left, y + top);
                }
            }
        }
        return part;
    }

    /* The layer's part of a render of the grown buffer, at 1/factor, told (or not) where the layer lies. */
    cfhost::World layerOfGrownRender(const cfhost::World& buffer, A_long factor, bool tellOrigin)
    {
        const A_long side = (buffer.width() + factor - 1) / factor;
        cfhost::World output(side, (buffer.height() + factor - 1) / factor, buffer.depth());
        const cfhost::LayerOrigin origin = tellOrigin ? cfhost::LayerOrigin{kGrowth, kGrowth} : cfhost::LayerOrigin{};
        EXPECT_EQ(fx().render(buffer, output, cfhost::FrameTime{}, cfhost::Downsample{factor, factor}, origin),
                  PF_Err_NONE);
        return cut(output, kGrowth / factor, kGrowth / factor, (kWidth + factor - 1) / factor,
                   (kHeight + factor - 1) / factor);
    }
};

TEST_F(ExpandedInputTest, TheLayersPixelsRenderTheSameInsideAGrownBuffer)
{
    for (const cfhost::Depth depth : {cfhost::Depth::Eight, cfhost::Depth::Sixteen}) {
        SCOPED_TRACE(depth == cfhost::Depth::Eight ? "8-bit" : "16-bit");
        for (const bool chaos : {false, true}) {
            fx().setCheckbox(PARAM_ENABLE_CHAOS, chaos);
            const cfhost::World input = layer(depth);
            cfhost::World alone(kWidth, kHeight, depth);
            ASSERT_EQ(fx().render(input, alone), PF_Err_NONE);
            const cfhost::World buffer = grown(input);
            EXPECT_TRUE(cfhost::samePixels(layerOfGrownRender(buffer, 1, true), alone)) << "chaos " << chaos;
            // Anchored at the buffer's corner instead, every block would move by the growth.
            EXPECT_FALSE(cfhost::samePixels(layerOfGrownRender(buffer, 1, false), alone));
        }
    }
}

TEST_F(ExpandedInputTest, HalfResolutionOfAGrownBufferKeepsTheLayersLook)
{
    // The origin arrives in pixels of the reduced buffer: 10 at full resolution is 5 at half.
    const cfhost::World input = layer(cfhost::Depth::Eight);
    const cfhost::World buffer = grown(input);
    cfhost::World full(kWidth, kHeight);
    ASSERT_EQ(fx().render(input, full), PF_Err_NONE);
    const cfhost::World reference = cfhost::reduced(full, 2, 2);
    const cfhost::World preview = layerOfGrownRender(buffer, 2, true);
    EXPECT_EQ(misplacedPixels(preview, reference), 0);

    cfhost::World previewAlone(kWidth / 2, kHeight / 2);
    ASSERT_EQ(fx().render(input, previewAlone, cfhost::FrameTime{}, cfhost::Downsample{2, 2}), PF_Err_NONE);
    EXPECT_TRUE(cfhost::samePixels(preview, previewAlone));
    EXPECT_GT(misplacedPixels(layerOfGrownRender(buffer, 2, false), reference), kWidth * kHeight / 4 / 20);
}

} // namespace
