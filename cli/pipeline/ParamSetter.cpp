/* ParamSetter.cpp — matching labels, parsing values and checking them against declarations. */
#include "pipeline/ParamSetter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/Errors.h"
#include "common/Text.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/ParamTypes.h"

namespace cfcli {

namespace {

bool parseDouble(const std::string& text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(out);
}

bool hasValue(PF_ParamType type)
{
    return type != PF_Param_GROUP_START && type != PF_Param_GROUP_END && type != PF_Param_LAYER;
}

const DeclaredParam& findParam(const std::string& label, const std::vector<DeclaredParam>& params)
{
    for (const DeclaredParam& p : params) {
        if (label == p.def.name) {
            return p;
        }
    }
    const DeclaredParam* match = nullptr;
    for (const DeclaredParam& p : params) {
        if (p.def.name[0] != '\0' && lowered(label) == lowered(p.def.name)) {
            match = &p;
        }
    }
    if (match == nullptr) {
        std::vector<std::string> names;
        for (const DeclaredParam& p : params) {
            if (hasValue(p.def.param_type) && p.def.name[0] != '\0') {
                names.push_back(p.def.name);
            }
        }
        throw UsageError("unknown parameter " + quoteName(label) + "; the parameters are " + joined(names, ", "));
    }
    return *match;
}

A_long parseChoice(const DeclaredParam& p, const std::string& value)
{
    const A_long count = p.def.u.pd.num_choices;
    for (std::size_t i = 0; i < p.choices.size(); ++i) {
        if (lowered(value) == lowered(p.choices[i])) {
            return static_cast<A_long>(i + 1);
        }
    }
    double n = 0;
    if (parseDouble(value, n) && n == std::floor(n) && n >= 1 && n <= count) {
        return static_cast<A_long>(n);
    }
    throw UsageError(std::string(p.def.name) + ": no choice " + quoteName(value) + "; choose one of " +
                     joined(p.choices, ", ") + " (or a number from 1 to " + std::to_string(count) + ")");
}

bool parseCheckbox(const DeclaredParam& p, const std::string& value)
{
    const std::string v = lowered(value);
    if (v == "on" || v == "yes" || v == "true" || v == "1") {
        return true;
    }
    if (v == "off" || v == "no" || v == "false" || v == "0") {
        return false;
    }
    throw UsageError(std::string(p.def.name) + ": " + quoteName(value) +
                     " is not on, off, yes, no, true, false, 1 or 0");
}

/* #RRGGBB, RRGGBB, or #RGB (each digit doubled, as in CSS). */
PF_Pixel parseColor(const DeclaredParam& p, const std::string& value)
{
    const bool hash = value.compare(0, 1, "#") == 0;
    std::string hex = hash ? value.substr(1) : value;
    if (hash && hex.size() == 3) {
        hex = {hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
    }
    if (hex.size() != 6 || !std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c); })) {
        throw UsageError(std::string(p.def.name) + ": " + quoteName(value) +
                         " is not a colour; write #RRGGBB, #RGB or RRGGBB");
    }
    auto byte = [&](std::size_t at) {
        return static_cast<A_u_char>(std::strtoul(hex.substr(at, 2).c_str(), nullptr, 16));
    };
    /* The colour's own alpha stays as declared: the command line sets red, green and blue. */
    return PF_Pixel{p.def.u.cd.value.alpha, byte(0), byte(2), byte(4)};
}

double parseRanged(const DeclaredParam& p, const std::string& value, double min, double max, bool whole)
{
    const std::string range = "valid range " + shortestText(min) + " to " + shortestText(max);
    double v = 0;
    if (!parseDouble(value, v)) {
        throw UsageError(std::string(p.def.name) + ": " + quoteName(value) + " is not a number (" + range + ")");
    }
    if (whole && v != std::floor(v)) {
        throw UsageError(std::string(p.def.name) + ": " + quoteName(value) + " is not a whole number (" + range + ")");
    }
    if (v < min || v > max) {
        throw UsageError(std::string(p.def.name) + ": " + value + " is outside the " + range);
    }
    return v;
}

} // namespace

std::vector<std::string> splitChoices(const char* names, int count)
{
    std::vector<std::string> choices;
    if (names == nullptr) {
        return choices;
    }
    std::string current;
    for (const char* c = names;; ++c) {
        if (*c == '|' || *c == '\0') {
            if (static_cast<int>(choices.size()) < count) {
                choices.push_back(current);
            }
            current.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            current += *c;
        }
    }
    return choices;
}

std::vector<DeclaredParam> declaredParameters(const cfhost::EffectInstance& effect)
{
    std::vector<DeclaredParam> params;
    for (std::size_t i = 1; i < effect.parameterCount(); ++i) {
        DeclaredParam p;
        p.index = static_cast<PF_ParamIndex>(i);
        p.def = effect.parameter(p.index);
        p.def.name[sizeof p.def.name - 1] = '\0';
        if (p.def.param_type == PF_Param_POPUP) {
            p.choices = splitChoices(p.def.u.pd.u.namesptr, p.def.u.pd.num_choices);
        }
        params.push_back(p);
    }
    return params;
}

ParamValue parseSetting(const std::string& setting, const std::vector<DeclaredParam>& params)
{
    const auto eq = setting.find('=');
    if (eq == std::string::npos) {
        throw UsageError("--set " + quoteName(setting) + ": write LABEL=VALUE, e.g. \"Pattern Size=4\"");
    }
    const std::string label = trimmed(setting.substr(0, eq));
    const std::string value = trimmed(setting.substr(eq + 1));
    if (label.empty()) {
        throw UsageError("--set " + quoteName(setting) + ": the label is missing");
    }
    const DeclaredParam& p = findParam(label, params);
    ParamValue out;
    out.index = p.index;
    out.type = p.def.param_type;
    switch (p.def.param_type) {
    case PF_Param_POPUP:
        out.choice = parseChoice(p, value);
        break;
    case PF_Param_CHECKBOX:
        out.checked = parseCheckbox(p, value);
        break;
    case PF_Param_COLOR:
        out.color = parseColor(p, value);
        break;
    case PF_Param_FLOAT_SLIDER:
        out.number = parseRanged(p, value, static_cast<double>(p.def.u.fs_d.valid_min),
                                 static_cast<double>(p.def.u.fs_d.valid_max), false);
        break;
    case PF_Param_SLIDER:
        out.number = parseRanged(p, value, p.def.u.sd.valid_min, p.def.u.sd.valid_max, true);
        break;
    case PF_Param_GROUP_START:
    case PF_Param_GROUP_END:
        throw UsageError(quoteName(p.def.name) + " is a group heading and has no value");
    default:
        throw UsageError(quoteName(p.def.name) + " (" + cfhost::paramTypeWords(p.def.param_type) +
                         ") cannot be set from the command line");
    }
    return out;
}

A_long startingChoice(const DeclaredParam& p)
{
    const A_long declared = p.def.u.pd.dephault;
    const bool valid = declared >= 1 && declared <= p.def.u.pd.num_choices;
    return valid || p.def.u.pd.num_choices < 1 ? declared : 1;
}

std::vector<ParamValue> parseSettings(const std::vector<std::string>& settings,
                                      const std::vector<DeclaredParam>& params)
{
    std::vector<ParamValue> values;
    for (const DeclaredParam& p : params) {
        if (p.def.param_type == PF_Param_POPUP && startingChoice(p) != p.def.u.pd.dephault) {
            ParamValue start;
            start.index = p.index;
            start.type = PF_Param_POPUP;
            start.choice = startingChoice(p);
            values.push_back(start);
        }
    }
    for (const std::string& s : settings) {
        values.push_back(parseSetting(s, params));
    }
    return values;
}

void applySettings(cfhost::EffectInstance& effect, const std::vector<ParamValue>& values)
{
    for (const ParamValue& v : values) {
        switch (v.type) {
        case PF_Param_POPUP:
            effect.setPopup(v.index, v.choice);
            break;
        case PF_Param_CHECKBOX:
            effect.setCheckbox(v.index, v.checked);
            break;
        case PF_Param_COLOR:
            effect.setColor(v.index, v.color);
            break;
        case PF_Param_FLOAT_SLIDER:
            effect.setFloat(v.index, v.number);
            break;
        case PF_Param_SLIDER:
            effect.setSlider(v.index, static_cast<A_long>(v.number));
            break;
        default:
            break;
        }
    }
}

std::string parameterValues(const cfhost::EffectInstance& effect, const std::vector<DeclaredParam>& params)
{
    std::string text;
    for (const DeclaredParam& p : params) {
        const PF_ParamDef d = effect.parameter(p.index);
        std::string value;
        switch (d.param_type) {
        case PF_Param_POPUP:
            value = std::to_string(d.u.pd.value);
            break;
        case PF_Param_CHECKBOX:
            value = d.u.bd.value ? "1" : "0";
            break;
        case PF_Param_COLOR:
            value = std::to_string(d.u.cd.value.red) + "," + std::to_string(d.u.cd.value.green) + "," +
                    std::to_string(d.u.cd.value.blue) + "," + std::to_string(d.u.cd.value.alpha);
            break;
        case PF_Param_FLOAT_SLIDER: {
            char number[40];
            std::snprintf(number, sizeof number, "%.17g", static_cast<double>(d.u.fs_d.value));
            value = number;
            break;
        }
        case PF_Param_SLIDER:
            value = std::to_string(d.u.sd.value);
            break;
        default:
            continue;
        }
        text += std::to_string(p.index) + "=" + value + "\n";
    }
    return text;
}

} // namespace cfcli
