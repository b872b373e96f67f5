/* DirectRender.cpp — the direct entry: the parameter values handed to the render's setup as the host's
   parameter records would carry them, the plan made for the row kernels, and the rows drawn one by one. */
#include "DirectRender.h"

#include "Kernel.h"
#include "ParamTable.h"
#include "RenderSetup.h"

#include <cstddef>
#include <cstring>

DirectParams directDefaults()
{
    DirectParams params{};
    for (const ParamRow& row : kParams) {
        DirectValue& value = params[static_cast<std::size_t>(row.index)];
        switch (row.type) {
        case PF_Param_POPUP:
            value.number = 1; // declared default 0 is no choice; the command starts at the first
            break;
        case PF_Param_FLOAT_SLIDER:
            value.number = static_cast<double>(row.dephault);
            break;
        case PF_Param_COLOR:
            value.color = row.color;
            break;
        default: // checkboxes start off; groups carry nothing
            break;
        }
    }
    return params;
}

void prepareDirectFrame(DirectFrame& frame, const DirectParams& params, const PF_Pixel* input, A_long rowbytes,
                        A_long width, A_long height, A_long current_time, A_long time_step)
{
    // The values as parameter records, in which the render's setup reads them.
    std::array<PF_ParamDef, PARAM_COUNT> defs{};
    std::array<PF_ParamDef*, PARAM_COUNT> pointers{};
    for (const ParamRow& row : kParams) {
        const DirectValue& value = params[static_cast<std::size_t>(row.index)];
        PF_ParamDef& def = defs[static_cast<std::size_t>(row.index)];
        def.param_type = row.type;
        switch (row.type) {
        case PF_Param_POPUP:
            def.u.pd.value = static_cast<A_long>(value.number);
            break;
        case PF_Param_FLOAT_SLIDER:
            def.u.fs_d.value = value.number;
            break;
        case PF_Param_CHECKBOX:
            def.u.bd.value = value.number != 0.0 ? 1 : 0;
            break;
        case PF_Param_COLOR:
            def.u.cd.value = value.color;
            break;
        default:
            break;
        }
    }
    for (std::size_t i = 0; i < defs.size(); ++i) {
        pointers[i] = &defs[i];
    }

    std::memset(&frame.info, 0, sizeof(frame.info));
    setUpFrame(frame.info, frame.chaos, pointers.data(), current_time, time_step);

    frame.input = PF_LayerDef{};
    frame.input.data = const_cast<PF_Pixel*>(input); // the kernels only read the input
    frame.input.rowbytes = rowbytes;
    frame.input.width = width;
    frame.input.height = height;
    frame.input.extent_hint = PF_UnionableRect{0, 0, width, height};
    frame.info.inputWorld = &frame.input;
    frame.info.downsampleX = 1.0f;
    frame.info.downsampleY = 1.0f;

    buildKernelPlan(frame.plan, frame.info, false, width, height, PlanFor::Rows);
    attachPlan(frame.info, frame.plan);
}

void drawDirectRows(const DirectFrame& frame, PF_Pixel* output, A_long rowbytes, A_long firstRow, A_long endRow)
{
    // The kernels take the record as the host's refcon, and only read it.
    void* refcon = const_cast<RenderInfo*>(&frame.info);
    const auto width = static_cast<std::size_t>(frame.input.width);
    auto* outBytes = static_cast<unsigned char*>(static_cast<void*>(output));
    auto* inBytes = static_cast<unsigned char*>(static_cast<void*>(frame.input.data));
    for (A_long y = firstRow; y < endRow; ++y) {
        auto* row = static_cast<PF_Pixel*>(static_cast<void*>(outBytes + static_cast<std::ptrdiff_t>(y) * rowbytes));
        auto* in = static_cast<PF_Pixel*>(
            static_cast<void*>(inBytes + static_cast<std::ptrdiff_t>(y) * frame.input.rowbytes));
        std::memset(row, 0, width * sizeof(PF_Pixel));
        (void)CrumbleforgeRow_8(refcon, 0, y, in, row);
    }
}

void rgbaToEffect(const std::uint8_t* rgba, PF_Pixel* argb, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        argb[i] = PF_Pixel{rgba[4 * i + 3], rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]};
    }
}

void effectToRgbaInPlace(std::uint8_t* pixels, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* p = pixels + 4 * i;
        const std::uint8_t alpha = p[0];
        p[0] = p[1];
        p[1] = p[2];
        p[2] = p[3];
        p[3] = alpha;
    }
}
