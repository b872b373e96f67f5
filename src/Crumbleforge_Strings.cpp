/* Crumbleforge_Strings.cpp — the string table. Line breaks inside a text are single carriage returns,
   as the host's message boxes expect. */
#include "Crumbleforge_Strings.h"

const StringTableEntry g_strs[STR_COUNT] = {
    {STR_NONE, ""},
    {STR_NAME, "Crumble_Forge"},
    {STR_DESCRIPTION, "An effect to convert footage into\rlo-fi grungy pixel animations.\rMade by Briskandul."},
    {STR_PRESETS_NAME, "Presets"},
    {STR_PRESETS_CHOICES, "High Detail|Numbers & Letters|Horizontal Lines|Dots|Vertical Lines|Extra Grunge|Rings|"
                          "Solid|Diagonal (Left)|Diagonal (Right)"},
    {STR_BRIGHTNESS_NAME, "Brightness"},
    {STR_CONTRAST_NAME, "Contrast"},
    {STR_HORIZONTAL_DETAIL_NAME, "Horizontal Detail"},
    {STR_VERTICAL_DETAIL_NAME, "Vertical Detail"},
    {STR_PIXEL_COLOR_NAME, "Pixel Color"},
    {STR_BACKGROUND_COLOR_NAME, "Background Color"},
    {STR_TRANSPARENT_BACKGROUND_NAME, "Transparent Background"},
    {STR_PATTERN_SIZE_NAME, "Pattern Size"},
    {STR_SCALE_LOCK_NAME, "Enable Scale Lock"},
    {STR_SCALE_GROUP_NAME, "Scale"},
    {STR_COLOR_GROUP_NAME, "Color"},
    {STR_USE_ORIGINAL_COLOR_NAME, "Use Original Color"},
    {STR_CHAOS_GROUP_NAME, "Chaos"},
    {STR_ENABLE_CHAOS_NAME, "Enable Chaos"},
    {STR_INTENSITY_NAME, "Intensity"},
    {STR_ANIMATION_SPEED_NAME, "Animation Speed"},
    {STR_SEED_NAME, "Seed"},
    {STR_CHAOS_BEHAVIOR_NAME, "Chaos Behavior"},
    {STR_CHAOS_BEHAVIOR_CHOICES, "Increase Size|Decrease Size|Increase & Decrease Size"},
};

extern "C" char* GetStringPtr(int id)
{
    // The table is never written; the host's interface takes the texts as char*.
    if (id < 0 || id >= STR_COUNT) {
        id = STR_NONE;
    }
    return const_cast<char*>(g_strs[id].text);
}
