/* Crumbleforge_Strings.h — the effect's constant string table: its name, description, parameter labels
   and popup choices, looked up by StringId. */
#pragma once

#include "A.h"

enum StringId {
    STR_NONE = 0,
    STR_NAME,
    STR_DESCRIPTION,
    STR_PRESETS_NAME,
    STR_PRESETS_CHOICES,
    STR_BRIGHTNESS_NAME,
    STR_CONTRAST_NAME,
    STR_HORIZONTAL_DETAIL_NAME,
    STR_VERTICAL_DETAIL_NAME,
    STR_PIXEL_COLOR_NAME,
    STR_BACKGROUND_COLOR_NAME,
    STR_TRANSPARENT_BACKGROUND_NAME,
    STR_PATTERN_SIZE_NAME,
    STR_SCALE_LOCK_NAME,
    STR_SCALE_GROUP_NAME,
    STR_COLOR_GROUP_NAME,
    STR_USE_ORIGINAL_COLOR_NAME,
    STR_CHAOS_GROUP_NAME,
    STR_ENABLE_CHAOS_NAME,
    STR_INTENSITY_NAME,
    STR_ANIMATION_SPEED_NAME,
    STR_SEED_NAME,
    STR_CHAOS_BEHAVIOR_NAME,
    STR_CHAOS_BEHAVIOR_CHOICES,
    STR_COUNT
};

struct StringTableEntry {
    A_long id;
    A_char text[256];
};

extern const StringTableEntry g_strs[STR_COUNT];

/* The text of string `id`; an id outside the table gives the empty string. */
extern "C" char* GetStringPtr(int id);
