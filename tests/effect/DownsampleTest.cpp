/* DownsampleTest.cpp — a preview at reduced resolution keeps the look of the full render: block and cell
   sizes are in pixels of the full-resolution layer, so the reduced render lands its blocks where the full
   render, reduced, has them. */
#include "EffectFixture.h"

#include "Crumbleforge.h"


namespace {

class DownsampleTest : public EffectFixture {
protected:
    static constexpr A_long kWidth = 160;
    static constexpr A_long kHeight = 120;

    void SetUp() override
    {
        EffectFixture::SetUp();
        ASSERT_EQ(fx().globalSetup(), PF_Err_NONE);
        ASSERT_EQ(fx().paramsSetup(), PF_Err_NONE);
        for (A_long y = 0; y < kHeight; ++y) {
            for (A_long x = 0; x < kWidth; ++x) {
                const int dx = static_cast<int>(x) - 80;
                const int dy = static_cast<int>(y) - 60;
                const bool disc = dx * dx + dy * dy < 40 * 40;
                input.pixel8(x, y) = PF_Pixel{255, static_cast<A_u_char>(x * 255 / (kWidth - 1)),
                                              static_cast<A_u_char>(disc ? 255 - y * 2 : y * 2),
                                              static_cast<A_u_char>(disc ? 40 : 200)};
            }
        }
    }

    /* The full render reduced, beside the preview at the same factor. */
    long misplacedAt(A_long factor)
    {
        cfhost::World full(kWidth, kHeight);
        EXPECT_EQ(fx().render(input, full), PF_Err_NONE);
        const cfhost::World reference = cfhost::reduced(full, factor, factor);
        cfhost::World preview(reference.width(), reference.height());
        EXPECT_EQ(fx().render(input, preview, cfhost::FrameTime{}, cfhost::Downsample{factor, factor}), PF_Err_NONE);
        return misplacedPixels(preview, reference);
    }

    cfhost::World input{kWidth, kHeight};
};

TEST_F(DownsampleTest, HalfResolutionLandsBlocksAndCellsWhereTheFullRenderHasThem)
{
    fx().setPopup(PARAM_PRESETS, 7);
    fx().setFloat(PARAM_PATTERN_SIZE, 3);
    EXPECT_EQ(misplacedAt(2), 0);
}

TEST_F(DownsampleTest, QuarterResolutionWithScaleLockKeepsTheLook)
{
    fx().setPopup(PARAM_PRESETS, 4);
    fx().setCheckbox(PARAM_SCALE_LOCK, true);
    fx().setFloat(PARAM_PATTERN_SIZE, 4);
    EXPECT_EQ(misplacedAt(4), 0);
}

TEST_F(DownsampleTest, AnUnscaledPreviewWouldNotMatch)
{
    // The same reduced input rendered as if it were full resolution: blocks twice as coarse.
    fx().setPopup(PARAM_PRESETS, 7);
    fx().setFloat(PARAM_PATTERN_SIZE, 3);
    cfhost::World full(kWidth, kHeight);
    ASSERT_EQ(fx().render(input, full), PF_Err_NONE);
    const cfhost::World reference = cfhost::reduced(full, 2, 2);
    const cfhost::World smallInput = cfhost::reduced(input, 2, 2);
    cfhost::World naive(reference.width(), reference.height());
    ASSERT_EQ(fx().render(smallInput, naive), PF_Err_NONE);
    EXPECT_GT(misplacedPixels(naive, reference), reference.width() * reference.height() / 20);
}

TEST_F(DownsampleTest, DamagedScalesRenderAsFullResolution)
{
    fx().setPopup(PARAM_PRESETS, 2);
    cfhost::World expected(kWidth, kHeight);
    ASSERT_EQ(fx().render(input, expected), PF_Err_NONE);
    for (const PF_RationalScale scale : {PF_RationalScale{0, 0}, PF_RationalScale{1, 0}, PF_RationalScale{-1, 2},
                                         PF_RationalScale{0, 5}}) {
        cfhost::World output(kWidth, kHeight);
        cfhost::CommandFrame frame = fx().prepare(PF_Cmd_RENDER, &input, &output);
        frame.in.downsample_x = scale;
        frame.in.downsample_y = scale;
        ASSERT_EQ(fx().send(frame), PF_Err_NONE);
        EXPECT_TRUE(cfhost::samePixels(expected, output)) << scale.num << "/" << scale.den;
    }
}

} // namespace
