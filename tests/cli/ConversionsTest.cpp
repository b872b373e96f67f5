/* ConversionsTest.cpp — the exact channel conversions at their edges, and pixels moving between file images
   and host worlds with padded rows. */
#include <gtest/gtest.h>

#include "images/Conversions.h"

namespace cfcli {
namespace {

TEST(Conversions, SixteenBitFileValuesMapOntoTheHostRangeAtTheEdges)
{
    /* hand-computed: h = (p × 32768 + 32767) / 65535 */
    EXPECT_EQ(fileToHost16(0), 0);
    EXPECT_EQ(fileToHost16(1), 1);
    EXPECT_EQ(fileToHost16(2), 1);
    EXPECT_EQ(fileToHost16(32767), 16384);
    EXPECT_EQ(fileToHost16(32768), 16384);
    EXPECT_EQ(fileToHost16(65534), 32767);
    EXPECT_EQ(fileToHost16(65535), 32768);
}

TEST(Conversions, HostValuesMapBackOntoSixteenBitFileValuesAtTheEdges)
{
    /* hand-computed: p = (h × 65535 + 16384) / 32768 */
    EXPECT_EQ(host16ToFile(0), 0);
    EXPECT_EQ(host16ToFile(1), 2);
    EXPECT_EQ(host16ToFile(16384), 32768);
    EXPECT_EQ(host16ToFile(32767), 65533);
    EXPECT_EQ(host16ToFile(32768), 65535);
    EXPECT_EQ(host16ToFile(40000), 65535) << "values past the host maximum are taken as the maximum";
}

TEST(Conversions, DepthChangesBetweenHostDepthsAtTheEdges)
{
    EXPECT_EQ(host8ToHost16(0), 0);
    EXPECT_EQ(host8ToHost16(1), 129);
    EXPECT_EQ(host8ToHost16(128), 16448);
    EXPECT_EQ(host8ToHost16(255), 32768);
    EXPECT_EQ(host16ToHost8(0), 0);
    EXPECT_EQ(host16ToHost8(64), 0);
    EXPECT_EQ(host16ToHost8(65), 1);
    EXPECT_EQ(host16ToHost8(32768), 255);
}

TEST(Conversions, EveryHostValueSurvivesAFileRoundTrip)
{
    for (std::uint32_t h = 0; h <= 32768; ++h) {
        ASSERT_EQ(fileToHost16(host16ToFile(static_cast<std::uint16_t>(h))), h);
    }
    for (std::uint32_t v = 0; v <= 255; ++v) {
        ASSERT_EQ(host16ToHost8(host8ToHost16(static_cast<std::uint8_t>(v))), v);
    }
}

TEST(Conversions, FileValuesNeverDecreaseThroughTheHostRange)
{
    for (std::uint32_t p = 1; p <= 65535; ++p) {
        ASSERT_LE(fileToHost16(static_cast<std::uint16_t>(p - 1)), fileToHost16(static_cast<std::uint16_t>(p)));
    }
}

RgbaImage sample(int bits)
{
    RgbaImage image(5, 3, bits);
    for (std::size_t i = 0; i < image.samples.size(); ++i) {
        image.samples[i] = static_cast<std::uint16_t>((i * 2711u) % (bits == 16 ? 65536u : 256u));
    }
    return image;
}

TEST(Conversions, ImagesFillPaddedWorldsChannelByChannelInHostOrder)
{
    const RgbaImage eight = sample(8);
    cfhost::World w8(5, 3, cfhost::Depth::Eight, 3); /* odd padding */
    imageToWorld(eight, w8);
    const std::uint16_t* s = eight.pixel(4, 2);
    const PF_Pixel& p = w8.pixel8(4, 2);
    EXPECT_EQ(p.red, s[0]);
    EXPECT_EQ(p.green, s[1]);
    EXPECT_EQ(p.blue, s[2]);
    EXPECT_EQ(p.alpha, s[3]);
    EXPECT_TRUE(w8.paddingIntact());
    EXPECT_EQ(worldToImage(w8).samples, eight.samples);

    const RgbaImage sixteen = sample(16);
    cfhost::World w16(5, 3, cfhost::Depth::Sixteen, 6);
    imageToWorld(sixteen, w16);
    const std::uint16_t* t = sixteen.pixel(1, 1);
    EXPECT_EQ(w16.pixel16(1, 1).alpha, fileToHost16(t[3]));
    EXPECT_EQ(w16.pixel16(1, 1).red, fileToHost16(t[0]));
    EXPECT_TRUE(w16.paddingIntact());
    const RgbaImage back = worldToImage(w16);
    EXPECT_EQ(back.bits, 16);
    EXPECT_EQ(back.pixel(1, 1)[2], host16ToFile(fileToHost16(t[2])));
}

TEST(Conversions, ImagesMoveAcrossDepthsByTheDepthChangeRules)
{
    const RgbaImage eight = sample(8);
    cfhost::World deep(5, 3, cfhost::Depth::Sixteen);
    imageToWorld(eight, deep);
    EXPECT_EQ(deep.pixel16(2, 1).green, host8ToHost16(static_cast<std::uint8_t>(eight.pixel(2, 1)[1])));

    const RgbaImage sixteen = sample(16);
    cfhost::World shallow(5, 3, cfhost::Depth::Eight);
    imageToWorld(sixteen, shallow);
    EXPECT_EQ(shallow.pixel8(3, 0).blue, host16ToHost8(fileToHost16(sixteen.pixel(3, 0)[2])));
}

} // namespace
} // namespace cfcli
