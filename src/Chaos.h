/* Chaos.h — the frame's per-level cell-size offsets for "Enable Chaos": a pure function of seed, speed,
   intensity, behaviour and frame number, so every frame renders alone and in any order alike. */
#pragma once

#include "AE_Effect.h"
#include "RenderInfo.h"

constexpr int CHAOS_LEVEL_COUNT = 15;

/* "Chaos Behavior" choices; every other value, 0 included, behaves as CHAOS_INCREASE_AND_DECREASE. */
enum ChaosBehavior {
    CHAOS_INCREASE = 1,
    CHAOS_DECREASE = 2,
    CHAOS_INCREASE_AND_DECREASE = 3
};

/* Whether the offsets move with time at this "Animation Speed": only above 0. The slider runs from 0 to 100,
   so a damaged negative (or NaN) speed holds still, as 0 does. */
inline bool chaosSpeedMoves(double chaosSpeed)
{
    return chaosSpeed > 0.0;
}

/* Whether chaos animates: "Enable Chaos" on (its low byte, as the render record keeps it) at a speed that
   moves. The render's offsets and the answer to the host's dynamic-flags query both follow this. */
inline bool chaosAnimates(A_u_char chaosEnabled, double chaosSpeed)
{
    return chaosEnabled != 0 && chaosSpeedMoves(chaosSpeed);
}

/* Frames that share one set of values: frame / (1001 - 10 x speed), truncated toward zero; 0 when the
   speed does not move (0, below 0, NaN) or the frame duration is 0. Speeds above 100 count as 100. */
A_long chaosFrameStep(double chaosSpeed, A_long current_time, A_long time_step);

/* Appends CHAOS_LEVEL_COUNT offsets to values, element k - 1 for level k. */
void fillChaosValues(ChaosValues& values, double chaosSeed, double chaosSpeed, double chaosIntensity,
                     A_u_char chaosBehavior, A_long current_time, A_long time_step);
