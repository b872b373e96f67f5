/* Rotation.h — the turn a stream's display matrix asks players to give its frames, and frames turned that way,
   so that the effect draws on the picture as it is seen. */
#pragma once

#include <cstdint>
#include <vector>

#include "cfhost/World.h"

namespace cfcli {

/* Clockwise quarter turns (0 to 3) a player gives frames stored with `displayMatrix` (empty: none). Mirroring
   matrices and angles that are no multiple of 90 degrees give 0. */
int quarterTurns(const std::vector<std::uint8_t>& displayMatrix);

/* `from` turned clockwise by `turns` quarters into `to`, which has the turned size and the same depth. */
void rotateWorld(const cfhost::World& from, cfhost::World& to, int turns);

} // namespace cfcli
