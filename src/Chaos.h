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

/* Frames that share one set of values: frame / (1001 - 10 x speed), truncated toward zero; 0 when the
   speed is 0 (or NaN) or the frame duration is 0. Speeds above 100 count as 100. */
A_long chaosFrameStep(double chaosSpeed, A_long current_time, A_long time_step);

/* Appends CHAOS_LEVEL_COUNT offsets to values, element k - 1 for level k. */
void fillChaosValues(ChaosValues& values, double chaosSeed, double chaosSpeed, double chaosIntensity,
                     A_u_char chaosBehavior, A_long current_time, A_long time_step);
