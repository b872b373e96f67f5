/* ParamTypes.cpp — one table of parameter kind names. */
#include "cfhost/ParamTypes.h"

#include <algorithm>

namespace cfhost {

const char* paramTypeId(PF_ParamType type) noexcept
{
    switch (type) {
    case PF_Param_LAYER: return "layer";
    case PF_Param_SLIDER: return "slider";
    case PF_Param_FIX_SLIDER: return "fixed_slider";
    case PF_Param_ANGLE: return "angle";
    case PF_Param_CHECKBOX: return "checkbox";
    case PF_Param_COLOR: return "color";
    case PF_Param_POINT: return "point";
    case PF_Param_POPUP: return "popup";
    case PF_Param_CUSTOM: return "custom";
    case PF_Param_NO_DATA: return "no_data";
    case PF_Param_FLOAT_SLIDER: return "float_slider";
    case PF_Param_ARBITRARY_DATA: return "arbitrary_data";
    case PF_Param_PATH: return "path";
    case PF_Param_GROUP_START: return "group_start";
    case PF_Param_GROUP_END: return "group_end";
    case PF_Param_BUTTON: return "button";
    case PF_Param_POINT_3D: return "point_3d";
    default: return "unknown";
    }
}

std::string paramTypeWords(PF_ParamType type)
{
    std::string words = paramTypeId(type);
    std::replace(words.begin(), words.end(), '_', ' ');
    return words;
}

} // namespace cfhost
