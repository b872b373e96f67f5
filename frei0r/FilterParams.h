/* FilterParams.h — the frei0r filter's parameters: the effect's own, in its order, plus the frame rate,
   the time unit and a leading settings text, and how each frei0r value maps onto the effect's value. */
#pragma once

#include "DirectRender.h"
#include "ParamTable.h"

#include <cstddef>
#include <string>
#include <vector>

namespace cff0r {

/* What a frei0r parameter sets. */
enum class Role {
    Settings,     // text "Label=value;Label=value", the command's --set form, applied when it changes
    Effect,       // one of the effect's parameters (row)
    FrameRate,    // frames per second / 1000
    Milliseconds  // the host's time is in milliseconds (ffmpeg), not seconds (MLT)
};

struct FilterParam {
    const char* name;
    int type;                // F0R_PARAM_*
    std::string explanation; // the range or choices the value maps onto
    Role role;
    const ParamRow* row;     // Role::Effect only
};

/* The parameters in frei0r's order: settings, then the effect's valued parameters as the command
   describes them, then frame rate and time unit. */
const std::vector<FilterParam>& filterParams();

/* Frame rate of the command's default (24) as the frei0r value. */
constexpr double DEFAULT_FRAME_RATE = 24.0;

/* One instance's values, as the effect and the time rule use them. */
struct FilterValues {
    DirectParams effect = directDefaults();
    double framesPerSecond = DEFAULT_FRAME_RATE;
    bool milliseconds = false;
    std::string settings; // as last handed; applied only when it changes
};

/* Sets parameter `index` from a frei0r value (a double, a colour, or a char* to copy); values outside
   [0, 1] are held at its ends. An unknown index does nothing. */
void setParam(FilterValues& values, int index, const void* value);

/* Writes parameter `index` as a frei0r value; a string is handed as a pointer into `values`. */
void getParam(const FilterValues& values, int index, void* value);

/* The frei0r value of an effect value, and back: sliders linear from the valid range onto [0, 1] (back:
   rounded to the declared decimals), popups (choice - 1) / (choices - 1), checkboxes 0 or 1. */
double toFrei0r(const ParamRow& row, double effectValue);
double fromFrei0r(const ParamRow& row, double frei0rValue);

/* Applies a settings text; entries that name no parameter or hold no valid value are left out, each
   reported in `problems` (one line each). Labels are matched without regard to case. */
void applySettings(FilterValues& values, const std::string& text, std::vector<std::string>& problems);

/* The frame the host's time stands for: time (seconds, or milliseconds) x rate, rounded to the nearest
   frame and held where a frame's time value (frame x 100) fits 32 bits. */
long frameNumber(const FilterValues& values, double time);

/* Popup choices of an effect parameter, split at '|'. */
std::vector<std::string> choicesOf(const ParamRow& row);

} // namespace cff0r
