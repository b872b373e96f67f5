/* The chaos offsets: known values, the two-draw construction of each value, how seed, speed and time move
   them, and inputs a host should never send. */
#include "Chaos.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace {

constexpr A_long STEP = 100; // time units per frame

ChaosValues chaosAt(double seed, double speed, double intensity, int behavior, A_long frame,
                    A_long timeStep = STEP)
{
    ChaosValues values;
    fillChaosValues(values, seed, speed, intensity, static_cast<A_u_char>(behavior), frame * timeStep, timeStep);
    return values;
}

/* The engine's first two outputs, low half first, as one double in [0, 1]. */
double canonical(std::uint32_t seed)
{
    std::mt19937 engine(seed);
    const double g1 = static_cast<double>(engine());
    const double g2 = static_cast<double>(engine());
    return (g1 + g2 * 4294967296.0) / 18446744073709551616.0;
}

TEST(Chaos, SeedZeroIntensityFiveGivesTheKnownFirstValues)
{
    const ChaosValues up = chaosAt(0, 0, 5, CHAOS_INCREASE, 0);
    const ChaosValues down = chaosAt(0, 0, 5, CHAOS_DECREASE, 0);
    const ChaosValues both = chaosAt(0, 0, 5, CHAOS_INCREASE_AND_DECREASE, 0);
    ASSERT_EQ(up.size(), 15u);
    ASSERT_EQ(down.size(), 15u);
    ASSERT_EQ(both.size(), 15u);
    const double expected[3][3] = {{4.986, 0.925, 0.354}, {-0.014, -4.075, -4.646}, {2.486, -1.575, -2.146}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(static_cast<double>(up[k]), expected[0][k], 0.0005) << k;
        EXPECT_NEAR(static_cast<double>(down[k]), expected[1][k], 0.0005) << k;
        EXPECT_NEAR(static_cast<double>(both[k]), expected[2][k], 0.0005) << k;
    }
}

TEST(Chaos, EachValueIsTheRangeScaledByTwoDrawsOfItsOwnEngine)
{
    struct Case {
        double seed, speed, intensity;
        int behavior;
        A_long frame;
    };
    for (const Case c : {Case{0, 0, 5, 1, 0}, Case{0, 0, 5, 2, 0}, Case{0, 0, 5, 3, 0}, Case{917.5, 37, 25, 1, 9999},
                         Case{3, 100, 7.3, 0, -42}, Case{1000, 50, 0.1, 2, 123456}}) {
        const ChaosValues values = chaosAt(c.seed, c.speed, c.intensity, c.behavior, c.frame);
        const A_long step = chaosFrameStep(c.speed, c.frame * STEP, STEP);
        const double half = static_cast<double>(static_cast<float>(c.intensity) * 0.5f);
        const double low = c.behavior == 1 ? 0.0 : (c.behavior == 2 ? -c.intensity : -half);
        const double high = c.behavior == 1 ? c.intensity : (c.behavior == 2 ? 0.0 : half);
        for (A_long k = 1; k <= 15; ++k) {
            const auto seed = static_cast<std::uint32_t>(static_cast<A_long>(c.seed) + k + step);
            const float expected = static_cast<float>(canonical(seed) * (high - low) + low);
            EXPECT_EQ(values[k - 1], expected) << "seed " << c.seed << ", level " << k;
        }
    }
}

TEST(Chaos, ZeroIntensityGivesZerosWhateverTheBehaviour)
{
    for (const int behavior : {0, 1, 2, 3, 4, 255}) {
        for (const float v : chaosAt(77, 20, 0, behavior, 5)) {
            EXPECT_EQ(v, 0.0f) << behavior;
        }
    }
}

TEST(Chaos, UnknownBehavioursIncreaseAndDecrease)
{
    const ChaosValues both = chaosAt(5, 0, 9, CHAOS_INCREASE_AND_DECREASE, 0);
    EXPECT_EQ(chaosAt(5, 0, 9, 0, 0), both) << "0, the value parameter setup gives";
    EXPECT_EQ(chaosAt(5, 0, 9, 4, 0), both);
    EXPECT_EQ(chaosAt(5, 0, 9, 200, 0), both);
    EXPECT_NE(chaosAt(5, 0, 9, CHAOS_INCREASE, 0), both);
}

TEST(Chaos, SeedShiftsTheValuesByOneLevelAndIsTruncated)
{
    const ChaosValues seed0 = chaosAt(0, 0, 5, 1, 0);
    const ChaosValues seed1 = chaosAt(1, 0, 5, 1, 0);
    for (int k = 0; k < 14; ++k) {
        EXPECT_EQ(seed1[k], seed0[k + 1]) << k;
    }
    EXPECT_EQ(chaosAt(12.9, 0, 5, 1, 0), chaosAt(12, 0, 5, 1, 0));
    EXPECT_EQ(chaosAt(-3.7, 0, 5, 1, 0), chaosAt(-3, 0, 5, 1, 0)) << "toward zero";
}

TEST(Chaos, SpeedZeroOrBelowHoldsTheValuesAtEveryTime)
{
    EXPECT_EQ(chaosAt(4, 0, 5, 3, 123456), chaosAt(4, 0, 5, 3, 0));
    EXPECT_EQ(chaosAt(4, 0, 5, 3, -99), chaosAt(4, 0, 5, 3, 0));
    EXPECT_EQ(chaosFrameStep(0.0, 12345, 0), 0) << "time is not read at all";
    // Below the slider's range, as the answer to the host's dynamic-flags query says: still.
    EXPECT_EQ(chaosFrameStep(-5.0, 5000 * STEP, STEP), 0);
    EXPECT_FALSE(chaosAnimates(1, -5.0));
    EXPECT_TRUE(chaosAnimates(1, 0.01));
    EXPECT_FALSE(chaosAnimates(0, 100.0));
}

TEST(Chaos, FullSpeedMovesOneLevelPerFrame)
{
    EXPECT_EQ(chaosFrameStep(100.0, 37 * STEP, STEP), 37);
    const ChaosValues now = chaosAt(0, 100, 5, 1, 20);
    const ChaosValues next = chaosAt(0, 100, 5, 1, 21);
    for (int k = 0; k < 14; ++k) {
        EXPECT_EQ(next[k], now[k + 1]) << k;
    }
}

TEST(Chaos, HalfSpeedChangesEvery501FramesTruncatingTowardZero)
{
    struct Case {
        A_long frame, step;
    };
    for (const Case c : {Case{0, 0}, Case{500, 0}, Case{501, 1}, Case{1001, 1}, Case{1002, 2}, Case{-500, 0},
                         Case{-501, -1}, Case{-1002, -2}}) {
        EXPECT_EQ(chaosFrameStep(50.0, c.frame * STEP, STEP), c.step) << c.frame;
    }
    EXPECT_EQ(chaosAt(0, 50, 5, 1, 500), chaosAt(0, 50, 5, 1, 0));
    EXPECT_EQ(chaosAt(0, 50, 5, 1, -500), chaosAt(0, 50, 5, 1, 0));
    EXPECT_NE(chaosAt(0, 50, 5, 1, 501), chaosAt(0, 50, 5, 1, 0));
    EXPECT_EQ(chaosAt(0, 50, 5, 1, 501), chaosAt(1, 50, 5, 1, 0));
    EXPECT_EQ(chaosFrameStep(100.0, -250, 100), -2) << "frame -2.5 is frame -2";
    // The slowest speeds divide by just under 1001.
    EXPECT_EQ(chaosFrameStep(0.01, 1000 * STEP, STEP), 0);
    EXPECT_EQ(chaosFrameStep(0.01, 1001 * STEP, STEP), 1);
}

TEST(Chaos, SpeedsBeyondFullSpeedCountAsFullSpeed)
{
    EXPECT_EQ(chaosFrameStep(100.1, 37 * STEP, STEP), 37) << "the divisor would be 0";
    EXPECT_EQ(chaosFrameStep(150.0, -37 * STEP, STEP), -37);
    EXPECT_EQ(chaosFrameStep(std::numeric_limits<double>::infinity(), 37 * STEP, STEP), 37);
    EXPECT_EQ(chaosFrameStep(std::numeric_limits<double>::quiet_NaN(), 37 * STEP, STEP), 0) << "NaN: still";
}

TEST(Chaos, ZeroFrameDurationCountsAsFrameZero)
{
    EXPECT_EQ(chaosFrameStep(50.0, 123456, 0), 0);
    ChaosValues values;
    fillChaosValues(values, 8, 100, 5, 1, 987654, 0);
    EXPECT_EQ(values, chaosAt(8, 100, 5, 1, 0));
}

TEST(Chaos, DamagedInputsStillGiveFifteenFiniteValuesInRange)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double odd[] = {nan, inf, -inf, -1.0, 1e300, -1e300, 4e9, 100.1, 150.0};
    constexpr A_long lowest = std::numeric_limits<A_long>::min();
    for (const double value : odd) {
        for (const int behavior : {0, 1, 2}) {
            for (int which = 0; which < 3; ++which) {
                ChaosValues values;
                fillChaosValues(values, which == 0 ? value : 7.0, which == 1 ? value : 30.0,
                                which == 2 ? value : 5.0, static_cast<A_u_char>(behavior), lowest, -1);
                ASSERT_EQ(values.size(), 15u);
                const float bound = which == 2 ? std::numeric_limits<float>::max() : 5.0f;
                for (const float v : values) {
                    ASSERT_TRUE(std::isfinite(v)) << value << " in input " << which;
                    ASSERT_LE(std::fabs(v), bound) << value << " in input " << which;
                }
            }
        }
    }
    EXPECT_EQ(chaosAt(7, 0, -4, 1, 0), chaosAt(7, 0, 0, 1, 0)) << "negative intensity counts as 0";
}

TEST(Chaos, ValuesStayInsideTheirBehavioursRange)
{
    for (double seed = 0; seed < 300; seed += 1) {
        for (const float v : chaosAt(seed, 0, 6, CHAOS_INCREASE, 0)) {
            ASSERT_TRUE(v >= 0.0f && v <= 6.0f) << v;
        }
        for (const float v : chaosAt(seed, 0, 6, CHAOS_DECREASE, 0)) {
            ASSERT_TRUE(v >= -6.0f && v <= 0.0f) << v;
        }
        for (const float v : chaosAt(seed, 0, 6, CHAOS_INCREASE_AND_DECREASE, 0)) {
            ASSERT_TRUE(v >= -3.0f && v <= 3.0f) << v;
        }
    }
}

} // namespace
