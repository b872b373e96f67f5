/* JoinCommand.h — `crumbleforge join OUT CHUNK... [--audio-from IN]`: chunks rendered with `render --range` put
   back together by stream copy after checking that they belong together. */
#pragma once

#include "common/Options.h"

namespace cfcli {

int runJoin(const Options& options);

} // namespace cfcli
