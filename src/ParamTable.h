/* ParamTable.h — the effect's 22 parameters after the input layer as one declarative table: kind, stored id,
   label, choices, range, default and precision. Parameter setup and the direct entry's faces read it. */
#pragma once

#include "Crumbleforge.h"

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

inline constexpr PF_Pixel kNoColor = {0, 0, 0, 0};
inline constexpr PF_Pixel kWhite = {255, 255, 255, 255};
inline constexpr PF_Pixel kBlack = {255, 0, 0, 0};

// clang-format off
inline constexpr ParamRow kParams[] = {
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

inline constexpr bool rowsInOrder()
{
    for (int i = 0; i < PARAM_COUNT - 1; ++i) {
        if (kParams[i].index != i + 1) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInOrder(), "rows are listed in parameter order");
