/* Keyframes.cpp — a parameter's value at a moment, from its keyframes. */
#include "cfhost/Keyframes.h"

#include <algorithm>

namespace cfhost {

PF_ParamDef valueAt(const PF_ParamDef& def, const KeyframeList& keys, double seconds)
{
    PF_ParamDef at = def;
    if (keys.empty()) {
        return at;
    }
    // The first keyframe after the moment; the one before it holds (or starts the slope).
    const auto next = std::upper_bound(keys.begin(), keys.end(), seconds,
                                       [](double t, const Keyframe& k) { return t < k.seconds; });
    if (next == keys.begin()) {
        at.u = keys.front().value;
        return at;
    }
    const Keyframe& from = *(next - 1);
    at.u = from.value;
    if (def.param_type == PF_Param_FLOAT_SLIDER && next != keys.end() && next->seconds > from.seconds) {
        const double share = (seconds - from.seconds) / (next->seconds - from.seconds);
        at.u.fs_d.value = from.value.fs_d.value + (next->value.fs_d.value - from.value.fs_d.value) * share;
    }
    return at;
}

double secondsOf(A_long time, A_u_long timeScale)
{
    return timeScale == 0 ? 0.0 : static_cast<double>(time) / static_cast<double>(timeScale);
}

} // namespace cfhost
