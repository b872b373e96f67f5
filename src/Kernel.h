/* Kernel.h — the per-pixel kernels, one per channel depth, that the render driver hands to the host's
   iteration service. Declared here only so that the driver and the tests can reach them. */
#pragma once

#include "AE_Effect.h"

/* refcon is the frame's RenderInfo; in is the input pixel at (x, y), of which only alpha is read; out is
   the output pixel at (x, y). A null refcon leaves out unwritten. Always PF_Err_NONE. */
PF_Err Crumbleforge_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
PF_Err Crumbleforge_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);
