/* FrameCache.cpp — when a frame may be shown again, and when the effect is asked about its dynamic flags. */
#include "cfhost/FrameCache.h"

#include <cstring>

namespace cfhost {

namespace {

bool sameValues(const std::vector<PF_ParamDefUnion>& a, const std::vector<PF_ParamDefUnion>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(PF_ParamDefUnion)) == 0;
}

} // namespace

std::vector<PF_ParamDefUnion> FrameCache::valuesAt(const FrameTime& time) const
{
    // The input layer (index 0) is compared as pixels, not as a record.
    const std::vector<PF_ParamDef> params = effect_.parametersAt(time);
    std::vector<PF_ParamDefUnion> values;
    for (std::size_t i = 1; i < params.size(); ++i) {
        values.push_back(params[i].u);
    }
    return values;
}

bool FrameCache::variesWithoutParameters() const
{
    // A dynamic answer counts only for flags that global setup declared.
    const PF_OutFlags declared = effect_.outFlags();
    return (declared & effect_.dynamicOutFlags() & PF_OutFlag_NON_PARAM_VARY) != 0;
}

PF_Err FrameCache::render(const World& input, World& output, const FrameTime& time)
{
    const std::vector<PF_ParamDefUnion> values = valuesAt(time);
    const long edits = effect_.edits();
    if ((effect_.outFlags2() & PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS) != 0 &&
        (!queriedEdits_ || *queriedEdits_ != edits)) {
        ++queries_;
        const PF_Err err = effect_.queryDynamicFlags(time);
        if (err != PF_Err_NONE) {
            return err;
        }
        queriedEdits_ = edits;
    }

    const bool timeMatters = variesWithoutParameters();
    const bool reusable = frame_ && input_ && sameValues(values_, values) && samePixels(*input_, input) &&
                          frame_->width() == output.width() && frame_->height() == output.height() &&
                          frame_->depth() == output.depth() &&
                          (!timeMatters || (time_.current_time == time.current_time && time_.time_step == time.time_step &&
                                            time_.time_scale == time.time_scale));
    if (reusable) {
        for (A_long y = 0; y < output.height(); ++y) {
            for (A_long x = 0; x < output.width(); ++x) {
                if (output.deep()) {
                    output.pixel16(x, y) = frame_->pixel16(x, y);
                } else {
                    output.pixel8(x, y) = frame_->pixel8(x, y);
                }
            }
        }
        lastWasCached_ = true;
        ++reuses_;
        return PF_Err_NONE;
    }

    lastWasCached_ = false;
    ++renders_;
    const PF_Err err = effect_.render(input, output, time);
    if (err != PF_Err_NONE) {
        frame_.reset();
        return err;
    }
    input_ = input.clone();
    frame_ = output.clone();
    values_ = values;
    time_ = time;
    return PF_Err_NONE;
}

} // namespace cfhost
