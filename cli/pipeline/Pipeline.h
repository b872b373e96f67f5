/* Pipeline.h — frames from a source through the effect into a sink with several in flight: one thread decodes
   frame N+1 while others render frame N (more than one frame at once when cores would idle) and this thread
   encodes frame N−1. Worlds come from fixed pools and are reused, so memory stays flat however long the input. */
#pragma once

#include <cstdint>
#include <functional>

#include "pipeline/EffectSession.h"
#include "pipeline/Media.h"
#include "common/Progress.h"

namespace cfcli {

struct PipelineSetup {
    FrameSource* source = nullptr;
    FrameSink* sink = nullptr;
    EffectSession* session = nullptr;
    cfhost::Depth depth = cfhost::Depth::Eight;
    long firstFrame = 0;                                       /* number of the first frame */
    /* The effect's time of a frame from its timestamp counted from the first frame's. */
    std::function<cfhost::FrameTime(std::int64_t sinceFirst)> timeOf;
    unsigned renderers = 2;                                    /* frames rendered at once */
    Progress* progress = nullptr;
};

/* Runs every frame through; returns how many were written. The first failure of any stage stops all of them
   and is rethrown here. */
long runPipeline(const PipelineSetup& setup);

} // namespace cfcli
