/* RenderCommand.h — `crumbleforge render IN OUT`: every frame of the input through the effect, in
   order, numbered from --frame, into the output; progress on a terminal. */
#pragma once

#include "common/Options.h"

namespace cfcli {

int runRender(const Options& options);

} // namespace cfcli
