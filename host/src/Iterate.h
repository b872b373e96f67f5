/* Iterate.h — iterate and iterate16: the pixel function runs once for every pixel of the destination
   (or of `area`, clipped to it), with in = the source pixel at the same (x, y) and out = the destination
   pixel. A source smaller than the destination is never read outside: x and y are clamped to its last
   column and row. Without a source (null, or no pixels) in points at a zero pixel private to the thread,
   reset before every call.

   Rows are cut into bands, several per thread, which the calling thread and the pool's workers claim
   one at a time. Before each row the abort request is checked; after an error or a cancel no new row
   starts. Progress (progress_base .. progress_final, by completed rows) is recorded after each band.
   Returns the first non-zero result of the pixel function, else PF_Interrupt_CANCEL when cancelled. */
#pragma once

#include "AE_Effect.h"
#include "cfhost/Host.h"

namespace cfhost::detail {

PF_Err iteratePixels8(Host::State& host, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                      void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst) noexcept;
PF_Err iteratePixels16(Host::State& host, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                       void* refcon, PF_IteratePixel16Func fn, PF_EffectWorld* dst) noexcept;

} // namespace cfhost::detail
