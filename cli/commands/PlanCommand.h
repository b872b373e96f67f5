/* PlanCommand.h — `crumbleforge plan IN --chunks N | --chunk-seconds S [--json]`: the input cut into ranges of
   frames for `render --range`, one a line, for a render farm's job template. */
#pragma once

#include "common/Options.h"

namespace cfcli {

int runPlan(const Options& options);

} // namespace cfcli
