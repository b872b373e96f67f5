/* Params.cpp — parameter setup: the effect's 22 parameters as one declarative table, handed to the host
   in order through add_param. */
#include "Crumbleforge.h"

#include <cstring>

namespace {

struct ParamRow {
    ParamIndex index;
    PF_ParamType type;
    A_long id;            // the id stored in projects; a group end repeats its group start's id
    StringId label;       // STR_NONE for group ends, which carry no name
    StringId choices;     // popups only
    A_short numChoices;   // popups only
    float min, max;       // float sliders: valid range and slider range alike
    float dephault;       // float sliders
    A_short precision;    // float sliders
    PF_Pixel color;       // colours: default value (alpha, red, green, blue)
};

constexpr PF_Pixel kNoColor = {0, 0, 0, 0};
constexpr PF_Pixel kWhite = {255, 255, 255, 255};
constexpr PF_Pixel kBlack = {255, 0, 0, 0};

// clang-format off
constexpr ParamRow kParams[] = {
  // index                        type                   id  label                            choices                     n   min    max   default prec color
  {PARAM_PRESETS,                 PF_Param_POPUP,         3, STR_PRESETS_NAME,                STR_PRESETS_CHOICES,        10,    0,     0,   0, 0, kNoColor},
  {PARAM_BRIGHTNESS,              PF_Param_FLOAT_SLIDER,  4, STR_BRIGHTNESS_NAME,             STR_NONE,                    0, -100,   100,   0, 2, kNoColor},
  {PARAM_CONTRAST,                PF_Param_FLOAT_SLIDER,  5, STR_CONTRAST_NAME,               STR_NONE,                    0, -150,   150,   0, 2, kNoColor},
  {PARAM_SCALE_GROUP_START,       PF_Param_GROUP_START,  13, STR_SCALE_GROUP_NAME,            STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_PATTERN_SIZE,            PF_Param_FLOAT_SLIDER, 11, STR_PATTERN_SIZE_NAME,           STR_NONE,                    0,    1,    10,   3, 2, kNoColor},
  {PARAM_SCALE_LOCK,              PF_Param_CHECKBOX,     12, STR_SCALE_LOCK_NAME,             STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_HORIZONTAL_DETAIL,       PF_Param_FLOAT_SLIDER,  6, STR_HORIZONTAL_DETAIL_NAME,      STR_NONE,                    0,    1,   250,  20, 2, kNoColor},
  {PARAM_VERTICAL_DETAIL,         PF_Param_FLOAT_SLIDER,  7, STR_VERTICAL_DETAIL_NAME,        STR_NONE,                    0,    1,   250,  10, 2, kNoColor},
  {PARAM_SCALE_GROUP_END,         PF_Param_GROUP_END,    13, STR_NONE,                        STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_COLOR_GROUP_START,       PF_Param_GROUP_START,  14, STR_COLOR_GROUP_NAME,            STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_PIXEL_COLOR,             PF_Param_COLOR,         8, STR_PIXEL_COLOR_NAME,            STR_NONE,                    0,    0,     0,   0, 0, kWhite},
  {PARAM_BACKGROUND_COLOR,        PF_Param_COLOR,         9, STR_BACKGROUND_COLOR_NAME,       STR_NONE,                    0,    0,     0,   0, 0, kBlack},
  {PARAM_USE_ORIGINAL_COLOR,      PF_Param_CHECKBOX,     15, STR_USE_ORIGINAL_COLOR_NAME,     STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_TRANSPARENT_BACKGROUND,  PF_Param_CHECKBOX,     10, STR_TRANSPARENT_BACKGROUND_NAME, STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_COLOR_GROUP_END,         PF_Param_GROUP_END,    14, STR_NONE,                        STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_CHAOS_GROUP_START,       PF_Param_GROUP_START,  16, STR_CHAOS_GROUP_NAME,            STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_ENABLE_CHAOS,            PF_Param_CHECKBOX,     17, STR_ENABLE_CHAOS_NAME,           STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
  {PARAM_INTENSITY,               PF_Param_FLOAT_SLIDER, 18, STR_INTENSITY_NAME,              STR_NONE,                    0,    0,    25,   5, 0, kNoColor},
  {PARAM_ANIMATION_SPEED,         PF_Param_FLOAT_SLIDER, 20, STR_ANIMATION_SPEED_NAME,        STR_NONE,                    0,    0,   100,   0, 0, kNoColor},
  {PARAM_SEED,                    PF_Param_FLOAT_SLIDER, 19, STR_SEED_NAME,                   STR_NONE,                    0,    0,  1000,   0, 0, kNoColor},
  {PARAM_CHAOS_BEHAVIOR,          PF_Param_POPUP,        21, STR_CHAOS_BEHAVIOR_NAME,         STR_CHAOS_BEHAVIOR_CHOICES,  3,    0,     0,   0, 0, kNoColor},
  {PARAM_CHAOS_GROUP_END,         PF_Param_GROUP_END,    16, STR_NONE,                        STR_NONE,                    0,    0,     0,   0, 0, kNoColor},
};
// clang-format on

static_assert(sizeof(kParams) / sizeof(kParams[0]) == PARAM_COUNT - 1, "every parameter after the input layer");

constexpr bool rowsInOrder()
{
    for (int i = 0; i < PARAM_COUNT - 1; ++i) {
        if (kParams[i].index != i + 1) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInOrder(), "rows are listed in parameter order");

void fillDefinition(const PF_InData* in_data, const ParamRow& row, PF_ParamDef& def)
{
    std::memset(&def, 0, sizeof(def));
    def.param_type = row.type;
    if (row.type != PF_Param_GROUP_END) {
        in_data->utils->ansi.strcpy(def.name, GetStringPtr(row.label));
    }
    switch (row.type) {
    case PF_Param_POPUP:
        def.u.pd.num_choices = row.numChoices;
        def.u.pd.dephault = 0;
        def.u.pd.value = 0;
        def.u.pd.u.namesptr = GetStringPtr(row.choices);
        break;
    case PF_Param_FLOAT_SLIDER:
        def.u.fs_d.valid_min = row.min;
        def.u.fs_d.slider_min = row.min;
        def.u.fs_d.valid_max = row.max;
        def.u.fs_d.slider_max = row.max;
        def.u.fs_d.value = static_cast<PF_FpLong>(row.dephault);
        def.u.fs_d.dephault = row.dephault;
        def.u.fs_d.precision = row.precision;
        def.u.fs_d.display_flags = PF_ValueDisplayFlag_NONE;
        def.u.fs_d.curve_tolerance = 0.05f;
        def.u.fs_d.fs_flags = PF_FSliderFlag_NONE;
        def.u.fs_d.phase = 0;
        break;
    case PF_Param_CHECKBOX:
        def.u.bd.value = 0;
        def.u.bd.dephault = 0;
        def.u.bd.u.nameptr = GetStringPtr(STR_NONE);
        break;
    case PF_Param_COLOR:
        def.u.cd.value = row.color;
        def.u.cd.dephault = row.color;
        break;
    default: // group start and end carry nothing beyond kind, name and id
        break;
    }
    def.uu.id = row.id;
}

} // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data)
{
    PF_ParamDef def;
    for (const ParamRow& row : kParams) {
        fillDefinition(in_data, row, def);
        const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        if (err != PF_Err_NONE) {
            return err;
        }
    }
    out_data->num_params = PARAM_COUNT;
    return PF_Err_NONE;
}
