/* Kernel.h — the kernels, one per channel depth, that the render driver hands to the host's iteration
   service: per pixel, and per row. Declared here only so that the driver and the tests can reach them. */
#pragma once

#include "AE_Effect.h"

/* refcon is the frame's RenderInfo; in is the input pixel at (x, y), of which only alpha is read; out is
   the output pixel at (x, y). A null refcon leaves out unwritten. Always PF_Err_NONE. */
PF_Err Crumbleforge_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
PF_Err Crumbleforge_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);

/* The row kernels, for an iteration over an area one pixel wide: called for the pixel at (x, y), they draw
   output row y from column x to the width of the frame's plan (RenderInfo::plan, made for PlanFor::Rows),
   every pixel exactly as the pixel kernel of the same depth draws it when a host iterates the whole output
   with the input layer as source (a smaller layer's last column and row standing in beyond it). out is the
   output pixel at (x, y); in is not read. Without a plan they draw the one pixel handed, as the pixel
   kernel. Always PF_Err_NONE. */
PF_Err CrumbleforgeRow_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
PF_Err CrumbleforgeRow_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);
