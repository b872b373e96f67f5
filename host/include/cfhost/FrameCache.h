/* FrameCache.h — the application's cache of rendered frames: a frame is rendered once and shown again while
   the input and the parameter values at its time stay the same, unless the effect said its output varies
   with something else (time, for one) through PF_OutFlag_NON_PARAM_VARY. After the user changes a value or
   a keyframe, the cache asks the effect again through PF_Cmd_QUERY_DYNAMIC_FLAGS (at the time of the frame
   it is rendering), if global setup declared that it answers it; keyframes changing a value from one frame
   to the next are no such change. */
#pragma once

#include <optional>
#include <vector>

#include "AE_Effect.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/World.h"

namespace cfhost {

class FrameCache {
public:
    explicit FrameCache(EffectInstance& effect) : effect_(effect) {}

    /* The frame for `time`: rendered, or copied from the cache. Returns the effect's result (0 for a copy);
       a failed render is not cached. Throws what EffectInstance throws. */
    PF_Err render(const World& input, World& output, const FrameTime& time);

    bool lastWasCached() const noexcept { return lastWasCached_; }
    long renders() const noexcept { return renders_; }
    long reuses() const noexcept { return reuses_; }
    long queries() const noexcept { return queries_; }

private:
    std::vector<PF_ParamDefUnion> valuesAt(const FrameTime& time) const;
    bool variesWithoutParameters() const;

    EffectInstance& effect_;
    std::optional<long> queriedEdits_;                             /* the effect's edits at the last query */
    std::optional<World> input_;                                   /* the cached frame's input */
    std::optional<World> frame_;                                   /* the cached frame */
    std::vector<PF_ParamDefUnion> values_;                         /* and its parameter values */
    FrameTime time_{};
    bool lastWasCached_ = false;
    long renders_ = 0;
    long reuses_ = 0;
    long queries_ = 0;
};

} // namespace cfhost
