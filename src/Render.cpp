/* Render.cpp — the render command: read the parameters once into the frame's RenderInfo with its chaos
   offsets (RenderSetup.h), build the frame's plan, and have the host run the row kernel of the frame's
   depth over every output row (or, in a host that takes no area, the pixel kernel over every pixel). */
#include "Crumbleforge.h"

#include "Kernel.h"
#include "KernelPlan.h"
#include "RenderInfo.h"
#include "RenderSetup.h"
#include "Util/AEGP_SuiteHandler.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr A_long fourCharCode(const char (&code)[5])
{
    return static_cast<A_long>((static_cast<A_u_long>(static_cast<A_u_char>(code[0])) << 24) |
                               (static_cast<A_u_long>(static_cast<A_u_char>(code[1])) << 16) |
                               (static_cast<A_u_long>(static_cast<A_u_char>(code[2])) << 8) |
                               static_cast<A_u_long>(static_cast<A_u_char>(code[3])));
}

// Premiere Pro iterates 8-bit pixels only, through the utility callback, whatever the output depth.
constexpr A_long PREMIERE_PRO_APPL_ID = fourCharCode("PrMr");

/* Whether this frame runs the 16-bit kernel: a deep output in any host but Premiere Pro. */
bool runsDeepKernel(const PF_InData* in_data, const PF_LayerDef& output)
{
    return in_data->appl_id != PREMIERE_PRO_APPL_ID && (output.world_flags & PF_WorldFlag_DEEP) != 0;
}

/* A preview's scale as a single-precision factor; a damaged scale (no denominator, not above zero) counts
   as full resolution. */
float scaleFactor(const PF_RationalScale& scale)
{
    if (scale.num <= 0 || scale.den == 0) {
        return 1.0f;
    }
    return static_cast<float>(static_cast<double>(scale.num) / static_cast<double>(scale.den));
}

/* Lines for the host's progress display; a damaged extent cannot overflow the subtraction. */
A_long progressLines(const PF_LayerDef& output)
{
    const std::int64_t lines = static_cast<std::int64_t>(output.extent_hint.bottom) - output.extent_hint.top;
    if (lines > INT32_MAX) {
        return INT32_MAX;
    }
    return lines < INT32_MIN ? INT32_MIN : static_cast<A_long>(lines);
}

/* The host's iteration the frame runs through: Premiere's utility callback (8-bit kernels, whatever the
   output's depth), or the suite of the output's depth. */
struct IterationService {
    const PF_Iterate8Suite1* iterate8; // null: iterate16 runs
    const PF_Iterate16Suite1* iterate16;
    bool premiere;

    PF_Err run(PF_InData* in_data, A_long lines, PF_LayerDef* input, const PF_Rect* area, void* refcon,
               PF_LayerDef* output, PF_IteratePixel8Func kernel8, PF_IteratePixel16Func kernel16) const
    {
        if (premiere) {
            return in_data->utils->iterate(in_data, 0, lines, input, area, refcon, kernel8, output);
        }
        if (iterate16 != nullptr) {
            return iterate16->iterate(in_data, 0, lines, input, area, refcon, kernel16, output);
        }
        return iterate8->iterate(in_data, 0, lines, input, area, refcon, kernel8, output);
    }
};

IterationService iterationService(const PF_InData* in_data, AEGP_SuiteHandler& suites, bool deep)
{
    if (in_data->appl_id == PREMIERE_PRO_APPL_ID) {
        return IterationService{nullptr, nullptr, true};
    }
    // Version 2 of the iteration suites exists from interface 13.27 on. Major and minor are compared each on
    // its own, so 14.0 gets version 1, which hosts keep offering; both versions share one table.
    const bool suiteVersion2 = in_data->version.major >= 13 && in_data->version.minor >= 27;
    if (deep) {
        return IterationService{nullptr, suiteVersion2 ? suites.Iterate16Suite2() : suites.Iterate16Suite1(), false};
    }
    return IterationService{suiteVersion2 ? suites.Iterate8Suite2() : suites.Iterate8Suite1(), nullptr, false};
}

PF_Err renderFrame(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output)
{
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    RenderInfo info;
    std::memset(&info, 0, sizeof(info));

    // The output starts as transparent black, so rows a cancelled or failed iteration never reaches stay
    // clean. A failed fill does not stop the frame.
    (void)in_data->utils->fill(in_data->effect_ref, nullptr, nullptr, output);

    const A_long lines = progressLines(*output);
    ChaosValues chaos;
    setUpFrame(info, chaos, params, in_data->current_time, in_data->time_step);
    PF_LayerDef* input = &params[PARAM_INPUT]->u.ld;
    info.inputWorld = input;
    info.downsampleX = scaleFactor(in_data->downsample_x);
    info.downsampleY = scaleFactor(in_data->downsample_y);
    // An earlier effect may have grown the buffer around the layer; the grid stays on the layer.
    info.originX = in_data->pre_effect_source_origin_x;
    info.originY = in_data->pre_effect_source_origin_y;

    // Everything that depends on the frame alone, worked out once for the kernels that run.
    const bool deep = runsDeepKernel(in_data, *output);
    KernelPlan plan;
    buildKernelPlan(plan, info, deep, output->width, output->height, PlanFor::Rows);
    attachPlan(info, plan);

    // The host calls the row kernel once per row: an area one pixel wide, as tall as the output.
    const PF_Rect rowStarts{0, 0, 1, output->height};
    std::atomic<bool> rowsDrawn{false};
    info.rowsDrawn = &rowsDrawn;
    const IterationService service = iterationService(in_data, suites, deep);
    const PF_Err err = service.run(in_data, lines, input, &rowStarts, &info, output, CrumbleforgeRow_8,
                                   CrumbleforgeRow_16);
    if (err == PF_Err_NONE || err == PF_Interrupt_CANCEL || rowsDrawn.load()) {
        return err;
    }
    // A host that takes no area refuses before drawing: every pixel through the pixel kernel, as it is
    // called without one.
    info.rowsDrawn = nullptr;
    buildKernelPlan(plan, info, deep, output->width, output->height, PlanFor::Pixels);
    attachPlan(info, plan);
    return service.run(in_data, lines, input, nullptr, &info, output, Crumbleforge_8, Crumbleforge_16);
}

/* A host renders only after parameter setup succeeded, handing over every parameter; a call without them
   (setup refused by the host, a damaged call) has nothing to draw with. */
bool hasEveryParam(const PF_InData* in_data, PF_ParamDef* params[])
{
    if (params == nullptr || in_data->num_params < PARAM_COUNT) {
        return false;
    }
    for (int i = 0; i < PARAM_COUNT; ++i) {
        if (params[i] == nullptr) {
            return false;
        }
    }
    return true;
}

/* Hosts hand the input and the output at one depth. The 16-bit kernel over an 8-bit input would read its
   pixels as twice their size, past the input's rows; Premiere's 8-bit iteration of deep worlds reads less
   than there is. An input without pixel memory is no input at all. */
bool inputReadableAtDepth(const PF_InData* in_data, const PF_LayerDef& input, const PF_LayerDef& output)
{
    return !runsDeepKernel(in_data, output) || input.data == nullptr || (input.world_flags & PF_WorldFlag_DEEP) != 0;
}

} // namespace

PF_Err Render(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output)
{
    if (output == nullptr || !hasEveryParam(in_data, params) ||
        !inputReadableAtDepth(in_data, params[PARAM_INPUT]->u.ld, *output)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // A thrown PF_Err (a suite the host cannot supply) passes on to the entry point; running out of memory
    // for the chaos values ends here, after the suites have been released.
    try {
        return renderFrame(in_data, params, output);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
}
