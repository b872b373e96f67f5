/* DirectRender.h — an 8-bit frame drawn without a host: parameter values and a frame time in, the effect's
   own chaos, plan and row kernels over pixels the caller owns out. The frei0r filter and the playground page
   (web/) are drawn through it. */
#pragma once

#include "AE_Effect.h"
#include "Crumbleforge.h"
#include "KernelPlan.h"
#include "RenderInfo.h"

#include <array>
#include <cstddef>
#include <cstdint>

/* One parameter's value as the host would hold it: sliders their number, popups their 1-based choice,
   checkboxes 0 or 1 (in number); colours their colour. Index 0 and the group rows are not read. */
struct DirectValue {
    double number;
    PF_Pixel color;
};
using DirectParams = std::array<DirectValue, PARAM_COUNT>;

/* The values the crumbleforge command starts from: the declared defaults, popups at their first choice. */
DirectParams directDefaults();

/* A frame made ready to draw: the render record, its chaos offsets and its plan. The record points into
   the frame itself, so a frame stays where it was made; its plan's tables are reused by the next frame. */
struct DirectFrame {
    DirectFrame() = default;
    DirectFrame(const DirectFrame&) = delete;
    DirectFrame& operator=(const DirectFrame&) = delete;

    RenderInfo info{};
    ChaosValues chaos;
    KernelPlan plan{};
    PF_LayerDef input{};
};

/* Prepares the frame for an input of width x height pixels (alpha, red, green, blue; rows rowbytes apart),
   which must stay in place until the frame is drawn. Chaos takes the frame at current_time / time_step, as
   the host's time values count it. The output is the input's size. Throws std::bad_alloc. */
void prepareDirectFrame(DirectFrame& frame, const DirectParams& params, const PF_Pixel* input, A_long rowbytes,
                        A_long width, A_long height, A_long current_time, A_long time_step);

/* Draws output rows [firstRow, endRow) of a prepared frame (rows rowbytes apart, row 0 at output): each
   cleared to transparent black, as the render command clears its output, then drawn by the row kernel.
   Several threads may draw different rows of one frame at once. */
void drawDirectRows(const DirectFrame& frame, PF_Pixel* output, A_long rowbytes, A_long firstRow, A_long endRow);

/* RGBA bytes (red, green, blue, alpha: the order of frei0r frames and of a browser canvas) to the effect's
   alpha, red, green, blue, and back where the pixels lie. rgba may be the memory argb points at. */
void rgbaToEffect(const std::uint8_t* rgba, PF_Pixel* argb, std::size_t count);
void effectToRgbaInPlace(std::uint8_t* pixels, std::size_t count);
