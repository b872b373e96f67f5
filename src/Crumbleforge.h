/* Crumbleforge.h — the effect's shared declarations: the two exported entries, the parameter positions,
   and the command handlers that the dispatcher hands work to. */
#pragma once

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "AE_PluginData.h"
#include "entry.h"

#include <cstddef>

#include "Crumbleforge_Identity.h"
#include "Crumbleforge_Strings.h"

/* Positions in the host's parameter array; 0 is the input layer, which the host supplies itself. */
enum ParamIndex {
    PARAM_INPUT = 0,
    PARAM_PRESETS,
    PARAM_BRIGHTNESS,
    PARAM_CONTRAST,
    PARAM_SCALE_GROUP_START,
    PARAM_PATTERN_SIZE,
    PARAM_SCALE_LOCK,
    PARAM_HORIZONTAL_DETAIL,
    PARAM_VERTICAL_DETAIL,
    PARAM_SCALE_GROUP_END,
    PARAM_COLOR_GROUP_START,
    PARAM_PIXEL_COLOR,
    PARAM_BACKGROUND_COLOR,
    PARAM_USE_ORIGINAL_COLOR,
    PARAM_TRANSPARENT_BACKGROUND,
    PARAM_COLOR_GROUP_END,
    PARAM_CHAOS_GROUP_START,
    PARAM_ENABLE_CHAOS,
    PARAM_INTENSITY,
    PARAM_ANIMATION_SPEED,
    PARAM_SEED,
    PARAM_CHAOS_BEHAVIOR,
    PARAM_CHAOS_GROUP_END,
    PARAM_COUNT
};

/* A checkbox's or popup's value as the effect reads it, wherever it reads it: its low byte. */
inline A_u_char lowByte(A_long value)
{
    return static_cast<A_u_char>(static_cast<A_u_long>(value) & 0xFFu);
}

extern "C" {
DllExport PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                         SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                         const char* inHostVersion);

DllExport PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            PF_LayerDef* output, void* extra);
}

/* The about message: name and version, then the description, framed by hyphens; line breaks are carriage
   returns. Cut to fit `size` bytes, terminator included. */
void composeAboutText(char* text, std::size_t size, const char* name, const char* description);

/* Parameter setup: declares the 22 parameters, in order, through the host's add_param. */
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);

/* The render command: one frame through the host's pixel iteration. */
PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
