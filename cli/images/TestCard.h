/* TestCard.h — the demo's built-in test picture: a grey ramp, fifteen grey steps (one per level of the
   finest preset), colour bars, a shaded disc, concentric rings, text-like shapes and an alpha ramp, so
   that every brightness level and the alpha channel show up in a render. */
#pragma once

#include "images/RgbaImage.h"

namespace cfcli {

/* An 8-bit test card of the given size (laid out for 320 × 240; other sizes scale the layout). */
RgbaImage makeTestCard(int width, int height);

} // namespace cfcli
