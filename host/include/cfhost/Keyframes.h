/* Keyframes.h — parameters that change over time: a parameter's keyframes and its value at any moment, as
   the host hands it to the effect for that moment and reports its keyframe count. */
#pragma once

#include <vector>

#include "AE_Effect.h"

namespace cfhost {

/* A parameter's value from the keyframe's moment (in seconds) on. */
struct Keyframe {
    double seconds = 0.0;
    PF_ParamDefUnion value{};
};

/* One parameter's keyframes in time order; empty: the parameter is constant. */
using KeyframeList = std::vector<Keyframe>;

/* The parameter as it stands at `seconds`: `def` unchanged without keyframes; else the value of the last
   keyframe at or before that moment (the first keyframe's before it). Float sliders run in a straight line
   from one keyframe to the next; every other kind holds its value until the next keyframe. */
PF_ParamDef valueAt(const PF_ParamDef& def, const KeyframeList& keys, double seconds);

/* Seconds of a host time; 0 for a time scale of 0. */
double secondsOf(A_long time, A_u_long timeScale);

} // namespace cfhost
