/* BaselineKernel.h — the pixel kernels in their first, straightforward form: every pixel recomputes the
   whole frame's constants from the render record. Kept as the yardstick for the benchmarks and as the
   reference the fast kernels are compared with, pixel for pixel. */
#pragma once

#include "AE_Effect.h"

/* Same contract as Crumbleforge_8 and Crumbleforge_16 (Kernel.h); the record's plan is never read. */
PF_Err BaselineCrumbleforge_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
PF_Err BaselineCrumbleforge_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);
