/* Chaos.cpp — the chaos offsets: each level's value comes from its own freshly seeded Mersenne Twister, so
   it depends only on its seed and nothing carries from one value, frame or render to the next. */
#include "Chaos.h"

#include "Crumbleforge_Helpers.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

A_long chaosFrameStep(double chaosSpeed, A_long current_time, A_long time_step)
{
    if (!chaosSpeedMoves(chaosSpeed)) {
        return 0;
    }
    // A host never renders with a frame duration of 0; should one arrive, every time is frame 0. The
    // division runs in 64 bits: the lowest time divided by -1 does not fit 32.
    const std::int64_t frame =
        time_step == 0 ? 0 : static_cast<std::int64_t>(current_time) / static_cast<std::int64_t>(time_step);
    const double mapped = chaosSpeed / 100.0 * 1000.0;
    double divisor = (1000.0 - mapped) + 1.0;
    // Full speed changes the values every frame; nothing is faster, so speeds above 100, which would bring
    // the divisor to 0 or below, count as 100.
    if (divisor < 1.0) {
        divisor = 1.0;
    }
    return truncateClamped(static_cast<double>(frame) / divisor, std::numeric_limits<A_long>::max());
}

void fillChaosValues(ChaosValues& values, double chaosSeed, double chaosSpeed, double chaosIntensity,
                     A_u_char chaosBehavior, A_long current_time, A_long time_step)
{
    const A_long step = chaosFrameStep(chaosSpeed, current_time, time_step);
    const A_long seed = truncateClamped(chaosSeed, std::numeric_limits<A_long>::max());

    // The distribution needs a finite, non-negative width: a negative or NaN intensity counts as 0, and
    // one beyond the single-precision range as its largest value.
    double intensity = chaosIntensity;
    if (!(intensity >= 0.0)) {
        intensity = 0.0;
    } else if (intensity > static_cast<double>(std::numeric_limits<float>::max())) {
        intensity = static_cast<double>(std::numeric_limits<float>::max());
    }
    double low = 0.0;
    double high = intensity;
    if (chaosBehavior == CHAOS_DECREASE) {
        low = -intensity;
        high = 0.0;
    } else if (chaosBehavior != CHAOS_INCREASE) {
        const float half = static_cast<float>(intensity) * 0.5f;
        low = -static_cast<double>(half);
        high = static_cast<double>(half);
    }

    values.reserve(values.size() + CHAOS_LEVEL_COUNT);
    for (A_long k = 1; k <= CHAOS_LEVEL_COUNT; ++k) {
        // trunc(seed) + k + step, wrapping in 32 bits as the engine's unsigned seed.
        const std::uint32_t engineSeed =
            static_cast<std::uint32_t>(seed) + static_cast<std::uint32_t>(k) + static_cast<std::uint32_t>(step);
        std::mt19937 engine(engineSeed);
        std::uniform_real_distribution<double> offset(low, high);
        values.push_back(static_cast<float>(offset(engine)));
    }
}
