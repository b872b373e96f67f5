/* The kernels with the frame's plan, per pixel and per row, draw exactly what the kernels as first written
   draw: every byte of every pixel, for random records and images of both depths, for damaged parameter
   values, for pixels the plan's tables do not cover, and without a plan at all. Also the plan's two shortcuts on their own: the tone
   table against the tone rules for every tone, and the integer cell index against the single-precision
   one. */
#include "BaselineKernel.h"
#include "TestWorlds.h"

#include "Crumbleforge_Helpers.h"
#include "KernelPlan.h"
#include "Patterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr float infF = std::numeric_limits<float>::infinity();
constexpr float nanF = std::numeric_limits<float>::quiet_NaN();

template <typename Pixel>
struct DepthOf;

template <>
struct DepthOf<PF_Pixel> {
    using Channel = A_u_char;
    static constexpr bool deep = false;
    static constexpr int max = PF_MAX_CHAN8;
    static constexpr int channelTop = 255; // largest value a channel can hold
    static PF_Err baseline(void* r, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) { return BaselineCrumbleforge_8(r, x, y, in, out); }
    static PF_Err fast(void* r, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) { return Crumbleforge_8(r, x, y, in, out); }
    static PF_Err row(void* r, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) { return CrumbleforgeRow_8(r, x, y, in, out); }
};

template <>
struct DepthOf<PF_Pixel16> {
    using Channel = A_u_short;
    static constexpr bool deep = true;
    static constexpr int max = PF_MAX_CHAN16;
    static constexpr int channelTop = 65535; // damaged layers may hold values past 32768
    static PF_Err baseline(void* r, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) { return BaselineCrumbleforge_16(r, x, y, in, out); }
    static PF_Err fast(void* r, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) { return Crumbleforge_16(r, x, y, in, out); }
    static PF_Err row(void* r, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) { return CrumbleforgeRow_16(r, x, y, in, out); }
};

/* Parameter values that sit on edges: level thresholds, cell boundaries, zero and negative sizes, and
   values no slider gives (NaN, infinities, huge and tiny magnitudes). */
const std::vector<double> kEdgeSizes = {1.0, 2.5, 3.0, 1.0 / 3.0, 0.1, 0.7, 7.0, 10.0, 0.5, 0.0, -0.0, -1.0, -2.5,
                                        -0.3, 1e-30, -1e-30, 1e-45, 1e30, 1e300, -1e300, inf, -inf, nan, 250.0,
                                        249.5, 0.4, 1.5, 3e9};
const std::vector<double> kEdgeBrightness = {0.0, 20.0, 1.0, -1.0, 100.0, -100.0, 50.0, 99.99, -37.3, 1e9, -1e9,
                                             1e300, inf, -inf, nan};
const std::vector<double> kEdgeContrast = {0.0, 150.0, -150.0, 50.0, 255.0, -255.0, 258.0, 259.0, 260.0, 1e10,
                                           -1e10, inf, -inf, nan, 12.5, -0.001};
const std::vector<float> kEdgeDownsample = {1.0f, 0.5f, 1.0f / 3.0f, 0.25f, 0.0f, -1.0f, 2.0f, nanF, infF, 1e-30f};
const std::vector<A_long> kEdgeOrigins = {std::numeric_limits<A_long>::min(), std::numeric_limits<A_long>::max(),
                                          -65536, 1 << 24, -1};
const std::vector<A_long> kPresets = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1, -7, 1 << 20};

struct Rng {
    std::mt19937 engine;
    explicit Rng(unsigned seed) : engine(seed) {}
    int upTo(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine); }
    double between(double low, double high) { return std::uniform_real_distribution<double>(low, high)(engine); }
    bool chance(int percent) { return upTo(100) < percent; }
    template <typename T>
    T pick(const std::vector<T>& values) { return values[static_cast<std::size_t>(upTo(static_cast<int>(values.size())))]; }
};

/* A frame to compare: the record, the input layer, and the output's size. The record points at the
   layer and the chaos values held here. */
template <typename Pixel>
struct Frame {
    using D = DepthOf<Pixel>;
    RenderInfo info{};
    ChaosValues chaos;
    TestWorld<Pixel> input;
    PF_LayerDef flipped{}; // the input seen bottom-up: data at the last row, negative rowbytes
    A_long width = 1;
    A_long height = 1;

    Frame(int inputWidth, int inputHeight, int padding) : input(inputWidth, inputHeight, padding) {}
    Frame(const Frame&) = delete; // the record points into the frame
    Frame& operator=(const Frame&) = delete;

    void useFlippedRows()
    {
        flipped = input.def;
        flipped.data = static_cast<PF_Pixel*>(static_cast<void*>(&input.at(0, input.def.height - 1)));
        flipped.rowbytes = -input.def.rowbytes;
        info.inputWorld = &flipped;
    }

    std::string describe() const
    {
        std::ostringstream text;
        text << "preset " << info.preset << ", brightness " << info.brightness << ", contrast " << info.contrast
             << ", pattern size " << info.patternSize << ", scale lock " << int(info.scaleLock) << ", detail "
             << info.horizontalDetail << " x " << info.verticalDetail << ", original colour "
             << int(info.useOriginalColor) << ", transparent " << int(info.transparentBackground) << ", chaos "
             << int(info.chaosEnabled) << " (" << (info.chaosValues ? info.chaosValues->size() : 0)
             << " values), downsample " << info.downsampleX << " x " << info.downsampleY << ", origin "
             << info.originX << ", " << info.originY << ", input "
             << input.def.width << " x " << input.def.height << (info.inputWorld == &flipped ? " bottom-up" : "")
             << ", output " << width << " x " << height;
        return text.str();
    }
};

template <typename Pixel>
typename DepthOf<Pixel>::Channel randomChannel(Rng& rng)
{
    using D = DepthOf<Pixel>;
    // Mostly the legal range, often a step edge (tone thresholds of either level count), now and then a
    // value past the channel maximum.
    const int mode = rng.upTo(10);
    int value;
    if (mode < 5) {
        value = rng.upTo(D::max + 1);
    } else if (mode < 9) {
        const int step = rng.chance(50) ? D::max / 7 : D::max / 15;
        value = step * rng.upTo(16) + rng.upTo(3) - 1;
    } else {
        value = rng.upTo(D::channelTop + 1);
    }
    value = value < 0 ? 0 : (value > D::channelTop ? D::channelTop : value);
    return static_cast<typename D::Channel>(value);
}

template <typename Pixel>
Pixel randomPixel(Rng& rng)
{
    using C = typename DepthOf<Pixel>::Channel;
    if (rng.chance(30)) { // grey: the mean is exactly the channel, so thresholds are hit exactly
        const C v = randomChannel<Pixel>(rng);
        return Pixel{randomChannel<Pixel>(rng), v, v, v};
    }
    return Pixel{randomChannel<Pixel>(rng), randomChannel<Pixel>(rng), randomChannel<Pixel>(rng),
                 randomChannel<Pixel>(rng)};
}

double sizeValue(Rng& rng, double low, double high)
{
    return rng.chance(40) ? rng.pick(kEdgeSizes) : rng.between(low, high);
}

template <typename Pixel>
std::unique_ptr<Frame<Pixel>> randomFrame(Rng& rng)
{
    const int inputWidth = 1 + rng.upTo(40);
    const int inputHeight = 1 + rng.upTo(30);
    auto made = std::make_unique<Frame<Pixel>>(inputWidth, inputHeight, rng.upTo(4));
    Frame<Pixel>& frame = *made;
    for (int y = 0; y < inputHeight; ++y) {
        for (int x = 0; x < inputWidth; ++x) {
            frame.input.at(x, y) = randomPixel<Pixel>(rng);
        }
    }
    // The output is mostly the input's size; sometimes larger (blocks clamp their samples into the input)
    // or smaller.
    frame.width = rng.chance(70) ? inputWidth : 1 + rng.upTo(48);
    frame.height = rng.chance(70) ? inputHeight : 1 + rng.upTo(36);

    RenderInfo& info = frame.info;
    info.preset = rng.chance(70) ? 1 + rng.upTo(10) : rng.pick(kPresets);
    info.brightness = rng.chance(30) ? rng.pick(kEdgeBrightness) : rng.between(-100.0, 100.0);
    info.contrast = rng.chance(30) ? rng.pick(kEdgeContrast) : rng.between(-150.0, 150.0);
    info.patternSize = sizeValue(rng, 1.0, 10.0);
    info.scaleLock = static_cast<A_u_char>(rng.chance(25) ? 1 + rng.upTo(255) : 0);
    info.horizontalDetail = rng.chance(30) ? 1.0 + rng.upTo(6) : sizeValue(rng, 1.0, 30.0);
    info.verticalDetail = rng.chance(30) ? 1.0 + rng.upTo(6) : sizeValue(rng, 1.0, 30.0);
    info.pixelColor = randomPixel<PF_Pixel>(rng);
    info.backgroundColor = randomPixel<PF_Pixel>(rng);
    info.pixelColor16 = colour16(info.pixelColor);
    info.backgroundColor16 = colour16(info.backgroundColor);
    if (rng.chance(10)) { // alpha of the colour fields is never read
        info.pixelColor16.alpha = static_cast<A_u_short>(rng.upTo(65536));
    }
    info.useOriginalColor = static_cast<A_u_char>(rng.chance(40) ? 1 : rng.upTo(3));
    info.transparentBackground = static_cast<A_u_char>(rng.chance(40) ? 1 : rng.upTo(3));
    info.chaosEnabled = static_cast<A_u_char>(rng.chance(50) ? 1 + rng.upTo(3) : 0);
    const int chaosCount = rng.chance(80) ? 15 : rng.upTo(16);
    for (int i = 0; i < chaosCount; ++i) {
        // Offsets around the cell size, including exactly minus the size (a zero cell) and beyond it.
        const double size = info.patternSize;
        const int mode = rng.upTo(6);
        float value = static_cast<float>(rng.between(-5.0, 5.0));
        if (mode == 0 && std::isfinite(size)) {
            value = -static_cast<float>(size);
        } else if (mode == 1) {
            value = static_cast<float>(rng.pick(kEdgeSizes));
        } else if (mode == 2) {
            value = static_cast<float>(rng.between(-2.0 * std::fabs(std::isfinite(size) ? size : 1.0), 0.0));
        }
        frame.chaos.push_back(value);
    }
    info.chaosValues = rng.chance(95) ? &frame.chaos : nullptr;
    info.inputWorld = &frame.input.def;
    if (rng.chance(10)) {
        frame.useFlippedRows();
    }
    info.downsampleX = rng.chance(60) ? 1.0f : rng.pick(kEdgeDownsample);
    info.downsampleY = rng.chance(60) ? 1.0f : rng.pick(kEdgeDownsample);
    // Now and then a layer inside a grown buffer (or one the buffer cuts), at times at damaged extremes.
    if (rng.chance(25)) {
        info.originX = rng.chance(90) ? rng.upTo(41) - 20 : rng.pick(kEdgeOrigins);
        info.originY = rng.chance(90) ? rng.upTo(31) - 15 : rng.pick(kEdgeOrigins);
    }
    return made;
}

enum class Way { Plan, PlanOfOtherDepth, NoPlan };

/* Runs both kernels over the output and a margin of two pixels on every side (coordinates the tables do not
   cover), each with its own copy of the same starting output and input pixels; true when every byte
   agrees, else a failure names the first pixel that differs. The kernels as first written know no layer
   origin: with one, the exact rules without a plan are the reference. */
template <typename Pixel>
bool drawsTheSame(Frame<Pixel>& frame, Way way, const std::string& what)
{
    using D = DepthOf<Pixel>;
    constexpr int margin = 2;
    const int columns = static_cast<int>(frame.width) + 2 * margin;
    const int rows = static_cast<int>(frame.height) + 2 * margin;
    std::vector<Pixel> inputs(static_cast<std::size_t>(columns * rows));
    std::mt19937 fill(static_cast<unsigned>(columns * 131 + rows));
    for (Pixel& p : inputs) {
        p = Pixel{static_cast<typename D::Channel>(fill()), static_cast<typename D::Channel>(fill()),
                  static_cast<typename D::Channel>(fill()), static_cast<typename D::Channel>(fill())};
    }
    std::vector<Pixel> expected = inputs; // outputs start as something the kernels must overwrite or keep
    std::vector<Pixel> actual = inputs;
    std::vector<Pixel> inputsForFast = inputs;

    RenderInfo reference = frame.info;
    detachPlan(reference);
    RenderInfo tried = frame.info;
    KernelPlan plan;
    if (way != Way::NoPlan) {
        const bool deep = way == Way::Plan ? D::deep : !D::deep;
        buildKernelPlan(plan, tried, deep, frame.width, frame.height);
        attachPlan(tried, plan);
    } else {
        detachPlan(tried);
    }
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const std::size_t i = static_cast<std::size_t>(row * columns + column);
            const A_long x = column - margin;
            const A_long y = row - margin;
            const bool layerAtBufferOrigin = reference.originX == 0 && reference.originY == 0;
            EXPECT_EQ((layerAtBufferOrigin ? D::baseline : D::fast)(&reference, x, y, &inputs[i], &expected[i]),
                      PF_Err_NONE);
            EXPECT_EQ(D::fast(&tried, x, y, &inputsForFast[i], &actual[i]), PF_Err_NONE);
            if (std::memcmp(&expected[i], &actual[i], sizeof(Pixel)) != 0) {
                ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") differs: expected ("
                              << int(expected[i].alpha) << ", " << int(expected[i].red) << ", "
                              << int(expected[i].green) << ", " << int(expected[i].blue) << "), drawn ("
                              << int(actual[i].alpha) << ", " << int(actual[i].red) << ", " << int(actual[i].green)
                              << ", " << int(actual[i].blue) << ")\n  " << frame.describe();
                return false;
            }
        }
    }
    EXPECT_EQ(std::memcmp(inputs.data(), inputsForFast.data(), inputs.size() * sizeof(Pixel)), 0)
        << what << ": the kernel wrote its input pixel";
    return true;
}

/* The input pixel a host hands for output (x, y): the input layer's, its last column and row standing in
   beyond it; a zero pixel when it has none. */
template <typename Pixel>
Pixel hostInput(const PF_LayerDef* input, A_long x, A_long y)
{
    if (!hasPixels(input)) {
        return Pixel{};
    }
    const int column = std::min(x, input->width - 1);
    const int line = std::min(y, input->height - 1);
    if constexpr (DepthOf<Pixel>::deep) {
        return *getPixel16(*input, column, line);
    } else {
        return *getPixel8(*input, column, line);
    }
}

/* Draws the output with the row kernel, once per row as a host iterating a one-pixel-wide area calls it
   (now and then from a later column, as a host that ignores the area would), and compares every byte with
   the pixels the pixel kernels as first written draw from the input a host hands them. Columns before a
   row's start keep what they held. With pixelPlan the plan is made for the pixel kernels, so the rows go
   pixel by pixel. */
template <typename Pixel>
bool rowsDrawTheSame(Frame<Pixel>& frame, const std::string& what, bool pixelPlan = false)
{
    using D = DepthOf<Pixel>;
    const int width = static_cast<int>(frame.width);
    const int height = static_cast<int>(frame.height);
    std::vector<Pixel> expected(static_cast<std::size_t>(width * height));
    std::mt19937 junk(static_cast<unsigned>(width * 7 + height));
    for (Pixel& p : expected) {
        p = Pixel{static_cast<typename D::Channel>(junk()), static_cast<typename D::Channel>(junk()),
                  static_cast<typename D::Channel>(junk()), static_cast<typename D::Channel>(junk())};
    }
    std::vector<Pixel> actual = expected;

    RenderInfo reference = frame.info;
    detachPlan(reference);
    const bool layerAtBufferOrigin = reference.originX == 0 && reference.originY == 0;
    RenderInfo tried = frame.info;
    KernelPlan plan;
    buildKernelPlan(plan, tried, D::deep, frame.width, frame.height, pixelPlan ? PlanFor::Pixels : PlanFor::Rows);
    attachPlan(tried, plan);
    for (int y = 0; y < height; ++y) {
        const int start = (y % 5 == 3) ? std::min(width - 1, 1 + y % 7) : 0;
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * width + x);
            if (x >= start) {
                Pixel in = hostInput<Pixel>(reference.inputWorld, x, y);
                EXPECT_EQ((layerAtBufferOrigin ? D::baseline : D::fast)(&reference, x, y, &in, &expected[i]),
                          PF_Err_NONE);
            }
        }
        Pixel unused{};
        EXPECT_EQ(D::row(&tried, start, y, &unused, &actual[static_cast<std::size_t>(y * width + start)]), PF_Err_NONE);
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * width + x);
            if (std::memcmp(&expected[i], &actual[i], sizeof(Pixel)) != 0) {
                ADD_FAILURE() << what << " (rows from column " << start << "): pixel (" << x << ", " << y
                              << ") differs: expected (" << int(expected[i].alpha) << ", " << int(expected[i].red)
                              << ", " << int(expected[i].green) << ", " << int(expected[i].blue) << "), drawn ("
                              << int(actual[i].alpha) << ", " << int(actual[i].red) << ", " << int(actual[i].green)
                              << ", " << int(actual[i].blue) << ")\n  " << frame.describe();
                return false;
            }
        }
    }
    return true;
}

/* The pixel kernels with the frame's plan, and the row kernel, against the kernels as first written. */
template <typename Pixel>
bool bothDrawTheSame(Frame<Pixel>& frame, const std::string& what)
{
    return drawsTheSame(frame, Way::Plan, what) && rowsDrawTheSame(frame, what + " by rows");
}

template <typename Pixel>
class KernelSameness : public ::testing::Test {};

using Depths = ::testing::Types<PF_Pixel, PF_Pixel16>;
TYPED_TEST_SUITE(KernelSameness, Depths);

TYPED_TEST(KernelSameness, RandomFramesDrawTheSameBitsWithAndWithoutThePlan)
{
    Rng rng(DepthOf<TypeParam>::deep ? 1602u : 801u);
    for (int round = 0; round < 400; ++round) {
        auto made = randomFrame<TypeParam>(rng);
        Frame<TypeParam>& frame = *made;
        const std::string what = "frame " + std::to_string(round);
        if (!bothDrawTheSame(frame, what + " with its plan") ||
            (round % 4 == 1 && !rowsDrawTheSame(frame, what + " by rows of the pixel kernels' plan", true)) ||
            !drawsTheSame(frame, Way::NoPlan, what + " without a plan") ||
            // An 8-bit plan over a 16-bit layer, as for a host that runs the 8-bit kernel on deep worlds.
            (DepthOf<TypeParam>::deep && round % 4 == 0 &&
             !drawsTheSame(frame, Way::PlanOfOtherDepth, what + " with the 8-bit kernel's plan"))) {
            return;
        }
    }
}

TYPED_TEST(KernelSameness, EveryPresetAndEveryEdgeValueDrawsTheSameBits)
{
    Rng rng(DepthOf<TypeParam>::deep ? 77u : 78u);
    // Each edge value of each parameter in an otherwise random frame.
    auto check = [&rng](const std::string& what, auto change) {
        auto frame = randomFrame<TypeParam>(rng);
        change(frame->info);
        return bothDrawTheSame(*frame, what);
    };
    for (const A_long preset : kPresets) {
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(check("preset " + std::to_string(preset), [preset](RenderInfo& info) { info.preset = preset; }));
        }
    }
    for (const double size : kEdgeSizes) {
        ASSERT_TRUE(check("pattern size", [size](RenderInfo& info) { info.patternSize = size; }));
        ASSERT_TRUE(check("pattern size, scale lock", [size](RenderInfo& info) {
            info.patternSize = size;
            info.scaleLock = 1;
        }));
        ASSERT_TRUE(check("horizontal detail", [size](RenderInfo& info) { info.horizontalDetail = size; }));
        ASSERT_TRUE(check("vertical detail", [size](RenderInfo& info) { info.verticalDetail = size; }));
    }
    for (const double brightness : kEdgeBrightness) {
        ASSERT_TRUE(check("brightness", [brightness](RenderInfo& info) { info.brightness = brightness; }));
    }
    for (const double contrast : kEdgeContrast) {
        ASSERT_TRUE(check("contrast", [contrast](RenderInfo& info) { info.contrast = contrast; }));
    }
    for (const float factor : kEdgeDownsample) {
        ASSERT_TRUE(check("downsample", [factor](RenderInfo& info) {
            info.downsampleX = factor;
            info.downsampleY = 1.0f / factor;
        }));
    }
    for (const A_long origin : kEdgeOrigins) {
        ASSERT_TRUE(check("origin", [origin](RenderInfo& info) {
            info.originX = origin;
            info.originY = ~origin; // the other end of the range
        }));
    }
}

TYPED_TEST(KernelSameness, ChaosThatShrinksCellsToZeroOrBelowDrawsTheSameBits)
{
    Rng rng(DepthOf<TypeParam>::deep ? 5u : 6u);
    for (int round = 0; round < 60; ++round) {
        auto made = randomFrame<TypeParam>(rng);
        Frame<TypeParam>& frame = *made;
        frame.info.chaosEnabled = 1;
        frame.info.patternSize = 1.0 + rng.upTo(4);
        frame.chaos.assign(15, 0.0f);
        for (std::size_t level = 0; level < frame.chaos.size(); ++level) {
            // Levels alternate between a vanishing cell, a negative one and a barely positive one.
            const float size = static_cast<float>(frame.info.patternSize);
            const float offsets[] = {-size, -size - 0.5f, -size + 1e-6f, -2.0f * size, -size + 0.25f};
            frame.chaos[level] = offsets[(level + static_cast<std::size_t>(round)) % 5];
        }
        frame.info.chaosValues = &frame.chaos;
        ASSERT_TRUE(bothDrawTheSame(frame, "shrinking chaos " + std::to_string(round)));
    }
}

TYPED_TEST(KernelSameness, LayersWithoutPixelsAndSmallBlocksDrawTheSameBits)
{
    Rng rng(DepthOf<TypeParam>::deep ? 9u : 10u);
    for (int round = 0; round < 40; ++round) {
        auto made = randomFrame<TypeParam>(rng);
        Frame<TypeParam>& frame = *made;
        switch (round % 4) {
        case 0: frame.info.inputWorld = nullptr; break;
        case 1:
            frame.info.inputWorld = &frame.input.def;
            frame.input.def.data = nullptr;
            break;
        case 2:
            frame.info.inputWorld = &frame.input.def;
            frame.input.def.width = 0;
            break;
        default: // blocks of one or two pixels: no block records, samples read per pixel
            frame.info.scaleLock = 0;
            frame.info.horizontalDetail = 1.0 + rng.upTo(2);
            frame.info.verticalDetail = 1.0 + rng.upTo(2);
            break;
        }
        ASSERT_TRUE(bothDrawTheSame(frame, "round " + std::to_string(round)));
        ASSERT_TRUE(drawsTheSame(frame, Way::NoPlan, "round " + std::to_string(round) + " without a plan"));
    }
}

/* ---- the plan's shortcuts on their own ------------------------------------------------------------ */

TEST(ToneTable, EveryToneOfBothDepthsGetsTheLevelOfTheToneRules)
{
    for (const A_long preset : {1, 4}) {
        for (const double contrast : kEdgeContrast) {
            for (const double brightness : kEdgeBrightness) {
                RenderInfo info{};
                info.preset = preset;
                info.contrast = contrast;
                info.brightness = brightness;
                const int levels = preset == 1 ? 15 : 7;
                const float factor = contrastFactor(contrast);
                for (const bool deep : {false, true}) {
                    KernelPlan plan;
                    buildKernelPlan(plan, info, deep, 4, 4);
                    const A_long offset = brightnessOffset(brightness, deep ? PF_MAX_CHAN16 : PF_MAX_CHAN8);
                    if (!deep) {
                        for (int sum = 0; sum <= 3 * 255; ++sum) {
                            const auto mean = static_cast<A_u_short>(sum / 3);
                            const int expected = posterizePixel(bcControls8(factor, offset, mean), levels, false) + 1;
                            ASSERT_EQ(plan.levelBySum8[sum], expected)
                                << "8-bit sum " << sum << ", contrast " << contrast << ", brightness " << brightness;
                        }
                        continue;
                    }
                    ASSERT_EQ(plan.levelByMean16.size(), 0x10000u);
                    for (int mean = 0; mean <= 0xFFFF; ++mean) {
                        const int expected =
                            posterizePixel(bcControls16(factor, offset, static_cast<A_u_short>(mean)), levels, true) + 1;
                        ASSERT_EQ(plan.levelByMean16[static_cast<std::size_t>(mean)], expected)
                            << "16-bit mean " << mean << ", contrast " << contrast << ", brightness " << brightness;
                    }
                }
            }
        }
    }
}

TEST(CellIndex, IntegerCellAgreesWithTheSinglePrecisionCellEverywhere)
{
    std::vector<float> positions = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 4.999999f, 5.0f, 5.000001f, -5.0f,
                                    -4.999999f, -5.000001f, 11.99999f, 12.0f, -12.0f, 1e-45f, -1e-45f, 1e-38f,
                                    infF, -infF, nanF, std::numeric_limits<float>::max(),
                                    std::numeric_limits<float>::lowest()};
    for (const float edge : {16777216.0f, 8388608.0f, 2147483648.0f}) {
        for (const float p : {edge, -edge}) {
            positions.push_back(p);
            positions.push_back(std::nextafter(p, 0.0f));
            positions.push_back(std::nextafter(p, 2.0f * p));
        }
    }
    Rng rng(42u);
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::pow(10.0, rng.between(-3.0, 9.0));
        positions.push_back(static_cast<float>(rng.chance(50) ? magnitude : -magnitude));
        // An integer coordinate times the reciprocal of a cell size, as the kernels form it.
        const float size = static_cast<float>(rng.between(-12.0, 12.0));
        positions.push_back(static_cast<float>(rng.upTo(70000)) * (1.0f / size));
    }
    for (int tile = -1; tile <= 13; ++tile) {
        for (const float p : positions) {
            ASSERT_EQ(fastCellIndex(p, tile), cellIndex(p, tile)) << "position " << p << ", tile " << tile;
        }
    }
}

} // namespace
