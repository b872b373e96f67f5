/* Iterate.h — iterate and iterate16: the pixel function runs once for every pixel of the destination
   (or of `area`, clipped to it), with in = the source pixel at the same (x, y) and out = the destination
   pixel. A source smaller than the destination is never read outside: x and y are clamped to its last
   column and row. Without a source (null, or no pixels) in points at a zero pixel private to the thread,
   reset before every call.

   Rows are cut into bands, several per thread, which the calling thread and the pool's workers claim
   one at a time. Before each row the abort request is checked; after an error or a cancel no new row
   starts. Progress (progress_base .. progress_final, by completed rows) is recorded after each band.
   Returns the first non-zero result of the pixel function, else PF_Interrupt_CANCEL when cancelled.

   iterateGeneric: fn(refcon, thread_index, i, count) once for every i in 0 .. count-1, on the calling
   thread and the pool's workers, which claim the indices in chunks. The calling thread passes thread_index
   0, each worker an index of its own (1 .. threads-1), so that no two calls running at once share one.
   count == PF_Iterations_ONCE_PER_PROCESSOR: one call per thread, i == thread_index, count == the number
   of threads; index 0 runs on the calling thread, and an index no worker has picked up by the time the
   calling thread is free runs there too. After an error no new index starts; the first error is returned.
   No abort check, no progress: that is the effect's business, on thread 0. The caller checks count and fn. */
#pragma once

#include "AE_Effect.h"
#include "cfhost/Host.h"

namespace cfhost::detail {

PF_Err iteratePixels8(Host::State& host, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                      void* refcon, PF_IteratePixel8Func fn, PF_EffectWorld* dst) noexcept;
PF_Err iteratePixels16(Host::State& host, A_long base, A_long final, PF_EffectWorld* src, const PF_Rect* area,
                       void* refcon, PF_IteratePixel16Func fn, PF_EffectWorld* dst) noexcept;

using GenericIterationFunc = PF_Err (*)(void* refcon, A_long threadIndex, A_long i, A_long count);

PF_Err iterateGeneric(Host::State& host, A_long count, void* refcon, GenericIterationFunc fn) noexcept;

} // namespace cfhost::detail
