/* Fill.h — the fill / fill16 callbacks' pixel work: a colour (null = transparent black) over a rectangle
   (null = the whole world; otherwise clipped to the world, right and bottom exclusive). The world's
   PF_WorldFlag_DEEP decides its pixel format; the colour is converted when the depths differ. */
#pragma once

#include "AE_Effect.h"

#include <functional>

namespace cfhost::detail {

/* The part of `rect` (null: all) inside the world, right and bottom exclusive; false when nothing is left. */
bool clipToWorld(const PF_EffectWorld& world, const PF_Rect* rect, PF_Rect& out) noexcept;

PF_Err fillWorld(PF_EffectWorld* world, const PF_Pixel* colour, const PF_Rect* rect) noexcept;
PF_Err fillWorld16(PF_EffectWorld* world, const PF_Pixel16* colour, const PF_Rect* rect) noexcept;

class ThreadPool;

/* Runs fill over the rows of `rect` (null: all) clipped to the world: for a large world, cut into a band of
   rows per thread, the calling thread taking the first and the pool the others; else once over `rect`.
   Returns the first error of a band. */
PF_Err fillInBands(ThreadPool& pool, unsigned threads, PF_EffectWorld* world, const PF_Rect* rect,
                   const std::function<PF_Err(const PF_Rect*)>& fill) noexcept;

} // namespace cfhost::detail
