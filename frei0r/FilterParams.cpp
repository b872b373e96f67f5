/* FilterParams.cpp — the frei0r parameter list made from the effect's parameter table, the mapping of
   frei0r values onto the effect's, the settings text, and the host's time as a frame number. */
#include "FilterParams.h"

#include "Crumbleforge_Strings.h"
#include "frei0r_api.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cff0r {

namespace {

const char* const SETTINGS_NAME = "Settings";
const char* const FRAME_RATE_NAME = "Frame Rate";
const char* const MILLISECONDS_NAME = "Time in Milliseconds";

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string explanationOf(const ParamRow& row)
{
    switch (row.type) {
    case PF_Param_POPUP: {
        std::string text = "(choice - 1) / " + std::to_string(row.numChoices - 1) + ":";
        int i = 1;
        for (const std::string& c : choicesOf(row)) {
            text += (i == 1 ? " " : ", ") + std::to_string(i) + " " + c;
            ++i;
        }
        return text;
    }
    case PF_Param_FLOAT_SLIDER:
        return number(static_cast<double>(row.min)) + " to " + number(static_cast<double>(row.max)) +
               " as 0 to 1, " + std::to_string(row.precision) + " decimals";
    case PF_Param_COLOR:
        return "red, green, blue";
    default:
        return "on or off";
    }
}

std::vector<FilterParam> makeParams()
{
    std::vector<FilterParam> params;
    params.push_back({SETTINGS_NAME, F0R_PARAM_STRING,
                      "Label=value;Label=value as the crumbleforge command's --set takes them (Frame Rate in "
                      "frames per second); applied when it changes",
                      Role::Settings, nullptr});
    for (const ParamRow& row : kParams) {
        int type = -1;
        switch (row.type) {
        case PF_Param_POPUP:
        case PF_Param_FLOAT_SLIDER: type = F0R_PARAM_DOUBLE; break;
        case PF_Param_CHECKBOX: type = F0R_PARAM_BOOL; break;
        case PF_Param_COLOR: type = F0R_PARAM_COLOR; break;
        default: break; // groups carry no value
        }
        if (type >= 0) {
            params.push_back({GetStringPtr(row.label), type, explanationOf(row), Role::Effect, &row});
        }
    }
    params.push_back({FRAME_RATE_NAME, F0R_PARAM_DOUBLE, "frames per second / 1000 (0.025: 25 fps), for chaos",
                      Role::FrameRate, nullptr});
    params.push_back({MILLISECONDS_NAME, F0R_PARAM_BOOL, "on for ffmpeg, whose time is in milliseconds; off for MLT",
                      Role::Milliseconds, nullptr});
    return params;
}

double held(double v)
{
    return v >= 0.0 ? (v <= 1.0 ? v : 1.0) : 0.0; // NaN: 0
}

A_u_char channelOf(float v)
{
    return static_cast<A_u_char>(std::lround(held(static_cast<double>(v)) * 255.0));
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool parseNumber(const std::string& text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(out);
}

bool parseSwitch(const std::string& text, bool& out)
{
    const std::string v = lowered(text);
    if (v == "on" || v == "yes" || v == "true" || v == "1") {
        out = true;
        return true;
    }
    if (v == "off" || v == "no" || v == "false" || v == "0") {
        out = false;
        return true;
    }
    return false;
}

/* #RRGGBB, RRGGBB or #RGB, as the command reads colours. */
bool parseColour(const std::string& text, PF_Pixel& colour)
{
    const bool hash = !text.empty() && text[0] == '#';
    std::string hex = hash ? text.substr(1) : text;
    if (hash && hex.size() == 3) {
        hex = {hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
    }
    if (hex.size() != 6 || !std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c); })) {
        return false;
    }
    auto byte = [&](std::size_t at) { return static_cast<A_u_char>(std::strtoul(hex.substr(at, 2).c_str(), nullptr, 16)); };
    colour.red = byte(0);
    colour.green = byte(2);
    colour.blue = byte(4);
    return true;
}

/* A number or a fraction (30000/1001), above zero. */
bool parseRate(const std::string& text, double& out)
{
    const auto slash = text.find('/');
    double num = 0;
    double den = 1;
    if (slash == std::string::npos ? !parseNumber(text, num)
                                   : !parseNumber(text.substr(0, slash), num) || !parseNumber(text.substr(slash + 1), den)) {
        return false;
    }
    if (!(den > 0.0) || !(num > 0.0)) {
        return false;
    }
    out = num / den;
    return true;
}

bool applyEffectSetting(DirectValue& value, const ParamRow& row, const std::string& text)
{
    switch (row.type) {
    case PF_Param_POPUP: {
        const std::vector<std::string> choices = choicesOf(row);
        for (std::size_t i = 0; i < choices.size(); ++i) {
            if (lowered(text) == lowered(choices[i])) {
                value.number = static_cast<double>(i + 1);
                return true;
            }
        }
        double n = 0;
        if (parseNumber(text, n) && n == std::floor(n) && n >= 1 && n <= row.numChoices) {
            value.number = n;
            return true;
        }
        return false;
    }
    case PF_Param_FLOAT_SLIDER: {
        double n = 0;
        if (!parseNumber(text, n) || n < static_cast<double>(row.min) || n > static_cast<double>(row.max)) {
            return false;
        }
        value.number = n;
        return true;
    }
    case PF_Param_CHECKBOX: {
        bool on = false;
        if (!parseSwitch(text, on)) {
            return false;
        }
        value.number = on ? 1.0 : 0.0;
        return true;
    }
    case PF_Param_COLOR:
        return parseColour(text, value.color);
    default:
        return false;
    }
}

} // namespace

const std::vector<FilterParam>& filterParams()
{
    static const std::vector<FilterParam> params = makeParams();
    return params;
}

std::vector<std::string> choicesOf(const ParamRow& row)
{
    std::vector<std::string> choices;
    std::string current;
    for (const char* c = GetStringPtr(row.choices);; ++c) {
        if (*c == '|' || *c == '\0') {
            choices.push_back(current);
            current.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            current += *c;
        }
    }
    choices.resize(static_cast<std::size_t>(row.numChoices));
    return choices;
}

double toFrei0r(const ParamRow& row, double effectValue)
{
    switch (row.type) {
    case PF_Param_POPUP:
        return row.numChoices > 1 ? (effectValue - 1.0) / (row.numChoices - 1) : 0.0;
    case PF_Param_FLOAT_SLIDER:
        return (effectValue - static_cast<double>(row.min)) / (static_cast<double>(row.max) - static_cast<double>(row.min));
    default:
        return effectValue;
    }
}

double fromFrei0r(const ParamRow& row, double frei0rValue)
{
    const double v = held(frei0rValue);
    switch (row.type) {
    case PF_Param_POPUP:
        return 1.0 + std::round(v * (row.numChoices - 1));
    case PF_Param_FLOAT_SLIDER: {
        const double min = static_cast<double>(row.min);
        const double value = min + v * (static_cast<double>(row.max) - min);
        // Rounded to the declared decimals, dividing by a power of ten: the same double as the decimal text
        // the command parses.
        const double scale = std::pow(10.0, row.precision);
        return std::round(value * scale) / scale;
    }
    case PF_Param_CHECKBOX:
        return v >= 0.5 ? 1.0 : 0.0;
    default:
        return v;
    }
}

void setParam(FilterValues& values, int index, const void* value)
{
    const std::vector<FilterParam>& params = filterParams();
    if (value == nullptr || index < 0 || static_cast<std::size_t>(index) >= params.size()) {
        return;
    }
    const FilterParam& p = params[static_cast<std::size_t>(index)];
    switch (p.role) {
    case Role::Settings: {
        const char* text = *static_cast<const f0r_param_string*>(value);
        const std::string settings = text != nullptr ? text : "";
        if (settings != values.settings) {
            values.settings = settings;
            std::vector<std::string> problems;
            applySettings(values, settings, problems);
            for (const std::string& problem : problems) {
                std::fprintf(stderr, "crumbleforge: Settings: %s\n", problem.c_str());
            }
        }
        return;
    }
    case Role::Effect: {
        DirectValue& v = values.effect[static_cast<std::size_t>(p.row->index)];
        if (p.type == F0R_PARAM_COLOR) {
            const auto* c = static_cast<const f0r_param_color_t*>(value);
            v.color.red = channelOf(c->r);
            v.color.green = channelOf(c->g);
            v.color.blue = channelOf(c->b);
        } else {
            v.number = fromFrei0r(*p.row, *static_cast<const double*>(value));
        }
        return;
    }
    case Role::FrameRate:
        values.framesPerSecond = held(*static_cast<const double*>(value)) * 1000.0;
        return;
    case Role::Milliseconds:
        values.milliseconds = *static_cast<const double*>(value) >= 0.5;
        return;
    }
}

void getParam(const FilterValues& values, int index, void* value)
{
    const std::vector<FilterParam>& params = filterParams();
    if (value == nullptr || index < 0 || static_cast<std::size_t>(index) >= params.size()) {
        return;
    }
    const FilterParam& p = params[static_cast<std::size_t>(index)];
    switch (p.role) {
    case Role::Settings:
        *static_cast<f0r_param_string*>(value) = const_cast<char*>(values.settings.c_str());
        return;
    case Role::Effect: {
        const DirectValue& v = values.effect[static_cast<std::size_t>(p.row->index)];
        if (p.type == F0R_PARAM_COLOR) {
            auto* c = static_cast<f0r_param_color_t*>(value);
            c->r = static_cast<float>(v.color.red) / 255.0f;
            c->g = static_cast<float>(v.color.green) / 255.0f;
            c->b = static_cast<float>(v.color.blue) / 255.0f;
        } else {
            *static_cast<double*>(value) = toFrei0r(*p.row, v.number);
        }
        return;
    }
    case Role::FrameRate:
        *static_cast<double*>(value) = values.framesPerSecond / 1000.0;
        return;
    case Role::Milliseconds:
        *static_cast<double*>(value) = values.milliseconds ? 1.0 : 0.0;
        return;
    }
}

void applySettings(FilterValues& values, const std::string& text, std::vector<std::string>& problems)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        const std::string entry = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) {
            continue;
        }
        const std::size_t eq = entry.find('=');
        if (eq == std::string::npos) {
            problems.push_back("\"" + entry + "\" is not Label=value");
            continue;
        }
        const std::string label = lowered(trimmed(entry.substr(0, eq)));
        const std::string value = trimmed(entry.substr(eq + 1));
        bool known = false;
        bool applied = false;
        for (const FilterParam& p : filterParams()) {
            if (p.role == Role::Settings || lowered(p.name) != label) {
                continue;
            }
            known = true;
            switch (p.role) {
            case Role::Effect:
                applied = applyEffectSetting(values.effect[static_cast<std::size_t>(p.row->index)], *p.row, value);
                break;
            case Role::FrameRate:
                applied = parseRate(value, values.framesPerSecond);
                break;
            case Role::Milliseconds:
                applied = parseSwitch(value, values.milliseconds);
                break;
            case Role::Settings:
                break;
            }
        }
        if (!known) {
            problems.push_back("no parameter \"" + trimmed(entry.substr(0, eq)) + "\"");
        } else if (!applied) {
            problems.push_back("\"" + entry + "\" holds no valid value");
        }
    }
}

long frameNumber(const FilterValues& values, double time)
{
    const double seconds = values.milliseconds ? time / 1000.0 : time;
    const double frame = std::round(seconds * values.framesPerSecond);
    constexpr double limit = 21474836.0; // frame x 100 fits a 32-bit time value
    if (!(frame > -limit)) {
        return frame < 0 ? -static_cast<long>(limit) : 0; // NaN: frame 0
    }
    return frame < limit ? static_cast<long>(frame) : static_cast<long>(limit);
}

} // namespace cff0r
