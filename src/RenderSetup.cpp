/* RenderSetup.cpp — reading the parameter values into the render record and making the frame's chaos
   offsets: how each value is read (checkboxes and the behaviour popup by their low byte) lives here alone. */
#include "RenderSetup.h"

#include "Chaos.h"
#include "Crumbleforge.h"

namespace {

void readParams(RenderInfo& info, PF_ParamDef* params[])
{
    info.preset = params[PARAM_PRESETS]->u.pd.value;
    info.brightness = params[PARAM_BRIGHTNESS]->u.fs_d.value;
    info.contrast = params[PARAM_CONTRAST]->u.fs_d.value;
    info.patternSize = params[PARAM_PATTERN_SIZE]->u.fs_d.value;
    info.scaleLock = lowByte(params[PARAM_SCALE_LOCK]->u.bd.value);
    info.horizontalDetail = params[PARAM_HORIZONTAL_DETAIL]->u.fs_d.value;
    info.verticalDetail = params[PARAM_VERTICAL_DETAIL]->u.fs_d.value;
    info.pixelColor = params[PARAM_PIXEL_COLOR]->u.cd.value;
    info.backgroundColor = params[PARAM_BACKGROUND_COLOR]->u.cd.value;
    info.useOriginalColor = lowByte(params[PARAM_USE_ORIGINAL_COLOR]->u.bd.value);
    info.transparentBackground = lowByte(params[PARAM_TRANSPARENT_BACKGROUND]->u.bd.value);
    info.chaosEnabled = lowByte(params[PARAM_ENABLE_CHAOS]->u.bd.value);
    info.chaosIntensity = params[PARAM_INTENSITY]->u.fs_d.value;
    info.chaosSeed = params[PARAM_SEED]->u.fs_d.value;
    info.chaosSpeed = params[PARAM_ANIMATION_SPEED]->u.fs_d.value;
    info.chaosBehavior = lowByte(params[PARAM_CHAOS_BEHAVIOR]->u.pd.value);
}

} // namespace

void setUpFrame(RenderInfo& info, ChaosValues& chaos, PF_ParamDef* params[], A_long current_time, A_long time_step)
{
    readParams(info, params);
    info.pixelColor16 = colour16(info.pixelColor);
    info.backgroundColor16 = colour16(info.backgroundColor);
    chaos.clear();
    if (info.chaosEnabled != 0) {
        fillChaosValues(chaos, info.chaosSeed, info.chaosSpeed, info.chaosIntensity, info.chaosBehavior,
                        current_time, time_step);
    }
    info.chaosValues = &chaos;
}
