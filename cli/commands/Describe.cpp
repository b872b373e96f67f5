/* Describe.cpp — gathering the module's self-description and printing it for people or as JSON. */
#include "commands/Describe.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <utility>

#include "pipeline/EffectSession.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "cfhost/HostError.h"
#include "cfhost/ParamTypes.h"

namespace cfcli {

namespace {

using FlagName = std::pair<unsigned long, const char*>;

const FlagName kOutFlags[] = {
    {PF_OutFlag_KEEP_RESOURCE_OPEN, "KEEP_RESOURCE_OPEN"},
    {PF_OutFlag_WIDE_TIME_INPUT, "WIDE_TIME_INPUT"},
    {PF_OutFlag_NON_PARAM_VARY, "NON_PARAM_VARY"},
    {PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING, "SEQUENCE_DATA_NEEDS_FLATTENING"},
    {PF_OutFlag_I_DO_DIALOG, "I_DO_DIALOG"},
    {PF_OutFlag_USE_OUTPUT_EXTENT, "USE_OUTPUT_EXTENT"},
    {PF_OutFlag_SEND_DO_DIALOG, "SEND_DO_DIALOG"},
    {PF_OutFlag_DISPLAY_ERROR_MESSAGE, "DISPLAY_ERROR_MESSAGE"},
    {PF_OutFlag_I_EXPAND_BUFFER, "I_EXPAND_BUFFER"},
    {PF_OutFlag_PIX_INDEPENDENT, "PIX_INDEPENDENT"},
    {PF_OutFlag_I_WRITE_INPUT_BUFFER, "I_WRITE_INPUT_BUFFER"},
    {PF_OutFlag_I_SHRINK_BUFFER, "I_SHRINK_BUFFER"},
    {PF_OutFlag_WORKS_IN_PLACE, "WORKS_IN_PLACE"},
    {PF_OutFlag_CUSTOM_UI, "CUSTOM_UI"},
    {PF_OutFlag_REFRESH_UI, "REFRESH_UI"},
    {PF_OutFlag_NOP_RENDER, "NOP_RENDER"},
    {PF_OutFlag_I_USE_SHUTTER_ANGLE, "I_USE_SHUTTER_ANGLE"},
    {PF_OutFlag_I_USE_AUDIO, "I_USE_AUDIO"},
    {PF_OutFlag_I_AM_OBSOLETE, "I_AM_OBSOLETE"},
    {PF_OutFlag_FORCE_RERENDER, "FORCE_RERENDER"},
    {PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS, "PiPL_OVERRIDES_OUTDATA_OUTFLAGS"},
    {PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES, "I_HAVE_EXTERNAL_DEPENDENCIES"},
    {PF_OutFlag_DEEP_COLOR_AWARE, "DEEP_COLOR_AWARE"},
    {PF_OutFlag_SEND_UPDATE_PARAMS_UI, "SEND_UPDATE_PARAMS_UI"},
    {PF_OutFlag_AUDIO_FLOAT_ONLY, "AUDIO_FLOAT_ONLY"},
    {PF_OutFlag_AUDIO_IIR, "AUDIO_IIR"},
    {PF_OutFlag_I_SYNTHESIZE_AUDIO, "I_SYNTHESIZE_AUDIO"},
    {PF_OutFlag_AUDIO_EFFECT_TOO, "AUDIO_EFFECT_TOO"},
    {0x80000000ul, "AUDIO_EFFECT_ONLY"},
};

const FlagName kOutFlags2[] = {
    {PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS, "SUPPORTS_QUERY_DYNAMIC_FLAGS"},
    {PF_OutFlag2_I_USE_3D_CAMERA, "I_USE_3D_CAMERA"},
    {PF_OutFlag2_I_USE_3D_LIGHTS, "I_USE_3D_LIGHTS"},
    {PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG, "PARAM_GROUP_START_COLLAPSED_FLAG"},
    {PF_OutFlag2_I_AM_THREADSAFE, "I_AM_THREADSAFE"},
    {PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION, "CAN_COMBINE_WITH_DESTINATION"},
    {PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS, "DOESNT_NEED_EMPTY_PIXELS"},
    {PF_OutFlag2_REVEALS_ZERO_ALPHA, "REVEALS_ZERO_ALPHA"},
    {PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS, "PRESERVES_FULLY_OPAQUE_PIXELS"},
    {PF_OutFlag2_SUPPORTS_SMART_RENDER, "SUPPORTS_SMART_RENDER"},
    {PF_OutFlag2_FLOAT_COLOR_AWARE, "FLOAT_COLOR_AWARE"},
    {PF_OutFlag2_I_USE_COLORSPACE_ENUMERATION, "I_USE_COLORSPACE_ENUMERATION"},
    {PF_OutFlag2_I_AM_DEPRECATED, "I_AM_DEPRECATED"},
    {PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER, "PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER"},
    {PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT, "AUTOMATIC_WIDE_TIME_INPUT"},
    {PF_OutFlag2_I_USE_TIMECODE, "I_USE_TIMECODE"},
    {PF_OutFlag2_DEPENDS_ON_UNREFERENCED_MASKS, "DEPENDS_ON_UNREFERENCED_MASKS"},
    {PF_OutFlag2_OUTPUT_IS_WATERMARKED, "OUTPUT_IS_WATERMARKED"},
    {PF_OutFlag2_I_MIX_GUID_DEPENDENCIES, "I_MIX_GUID_DEPENDENCIES"},
    {PF_OutFlag2_SUPPORTS_THREADED_RENDERING, "SUPPORTS_THREADED_RENDERING"},
};

std::string hex(unsigned long v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lx", v);
    return buf;
}

template <std::size_t N>
std::vector<std::string> flagNames(unsigned long flags, const FlagName (&table)[N])
{
    std::vector<std::string> names;
    unsigned long rest = flags;
    for (const auto& [bit, name] : table) {
        if (flags & bit) {
            names.push_back(name);
            rest &= ~bit;
        }
    }
    for (unsigned long bit = 1; bit != 0 && bit <= 0x80000000ul; bit <<= 1) {
        if (rest & bit) {
            names.push_back(hex(bit));
        }
    }
    return names;
}

std::string fourCC(A_long code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<unsigned long>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string colorHex(const PF_Pixel& p)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", p.red, p.green, p.blue);
    return buf;
}

/* The about text as lines indented by two spaces: the module breaks its lines with carriage returns (or CR LF,
   or LF). */
std::string indentedLines(const std::string& about)
{
    std::string text = "  ";
    for (std::size_t i = 0; i < about.size(); ++i) {
        if (about[i] == '\r' || about[i] == '\n') {
            text += "\n  ";
            if (about[i] == '\r' && i + 1 < about.size() && about[i + 1] == '\n') {
                ++i;
            }
        } else {
            text += about[i];
        }
    }
    return text + "\n";
}

/* What a parameter declares beyond kind and label, in words. */
std::string declaredText(const DeclaredParam& p)
{
    const PF_ParamDef& d = p.def;
    switch (d.param_type) {
    case PF_Param_POPUP: {
        std::string text = "default " + std::to_string(d.u.pd.dephault);
        if (const A_long start = startingChoice(p); start != d.u.pd.dephault) {
            const auto at = static_cast<std::size_t>(start - 1);
            text += " (the command starts at " + std::to_string(start) +
                    (at < p.choices.size() ? ", " + p.choices[at] : std::string()) + ")";
        }
        return text + "; choices " + joined(p.choices, " | ");
    }
    case PF_Param_FLOAT_SLIDER:
        return shortestText(d.u.fs_d.valid_min) + " to " + shortestText(d.u.fs_d.valid_max) + " (slider " +
               shortestText(d.u.fs_d.slider_min) + " to " + shortestText(d.u.fs_d.slider_max) + "), default " +
               shortestText(d.u.fs_d.dephault) + ", precision " + std::to_string(d.u.fs_d.precision);
    case PF_Param_SLIDER:
        return std::to_string(d.u.sd.valid_min) + " to " + std::to_string(d.u.sd.valid_max) + " (slider " +
               std::to_string(d.u.sd.slider_min) + " to " + std::to_string(d.u.sd.slider_max) + "), default " +
               std::to_string(d.u.sd.dephault);
    case PF_Param_CHECKBOX:
        return std::string("default ") + (d.u.bd.dephault ? "on" : "off");
    case PF_Param_COLOR:
        return "default " + colorHex(d.u.cd.dephault) + ", alpha " + std::to_string(d.u.cd.dephault.alpha);
    default:
        return "";
    }
}

using Json = nlohmann::ordered_json; /* keys in the order written */

/* A float as JSON, written as the shortest text that reads back as the float: 0.05 (not 0.05000000074505806),
   and whole values as integers. JSON has no infinities or NaN. */
Json number(float v)
{
    return std::isfinite(v) ? Json::parse(shortestText(v)) : Json(nullptr);
}

Json paramJson(const DeclaredParam& p)
{
    const PF_ParamDef& d = p.def;
    Json json;
    json["index"] = p.index;
    json["id"] = d.uu.id;
    json["type"] = cfhost::paramTypeId(d.param_type);
    json["name"] = std::string(d.name);
    switch (d.param_type) {
    case PF_Param_POPUP:
        json["num_choices"] = d.u.pd.num_choices;
        json["default"] = d.u.pd.dephault;
        json["command_default"] = startingChoice(p);
        json["choices"] = p.choices;
        break;
    case PF_Param_FLOAT_SLIDER:
        json["valid_min"] = number(d.u.fs_d.valid_min);
        json["valid_max"] = number(d.u.fs_d.valid_max);
        json["slider_min"] = number(d.u.fs_d.slider_min);
        json["slider_max"] = number(d.u.fs_d.slider_max);
        json["default"] = number(d.u.fs_d.dephault);
        json["precision"] = d.u.fs_d.precision;
        json["display_flags"] = d.u.fs_d.display_flags;
        break;
    case PF_Param_SLIDER:
        json["valid_min"] = d.u.sd.valid_min;
        json["valid_max"] = d.u.sd.valid_max;
        json["slider_min"] = d.u.sd.slider_min;
        json["slider_max"] = d.u.sd.slider_max;
        json["default"] = d.u.sd.dephault;
        break;
    case PF_Param_CHECKBOX:
        json["default"] = d.u.bd.dephault != 0;
        break;
    case PF_Param_COLOR:
        json["default"] = colorHex(d.u.cd.dephault);
        json["default_alpha"] = d.u.cd.dephault.alpha;
        break;
    default:
        break;
    }
    return json;
}

} // namespace

std::string versionText(A_u_long word)
{
    static const char* const stages[] = {"develop", "alpha", "beta", "release"};
    const unsigned long major = (((word >> 26) & 0xF) << 3) | ((word >> 19) & 0x7);
    return std::to_string(major) + "." + std::to_string((word >> 15) & 0xF) + "." +
           std::to_string((word >> 11) & 0xF) + " " + stages[(word >> 9) & 0x3] + ", build " +
           std::to_string(word & 0x1FF);
}

std::vector<std::string> outFlagNames(PF_OutFlags flags)
{
    return flagNames(static_cast<unsigned long>(static_cast<A_u_long>(flags)), kOutFlags);
}

std::vector<std::string> outFlag2Names(PF_OutFlags2 flags)
{
    return flagNames(static_cast<unsigned long>(static_cast<A_u_long>(flags)), kOutFlags2);
}

ModuleDescription describeModule(EffectSession& session)
{
    cfhost::EffectInstance& effect = session.effect();
    const cfhost::Registration& reg = effect.registration();
    ModuleDescription d;
    d.name = reg.name;
    d.matchName = reg.matchName;
    d.category = reg.category;
    d.entry = reg.entryPointName;
    d.kind = reg.kind;
    d.apiMajor = reg.apiVersionMajor;
    d.apiMinor = reg.apiVersionMinor;
    d.version = effect.effectVersion();
    d.outFlags = effect.outFlags();
    d.outFlags2 = effect.outFlags2();
    try {
        d.about = effect.about();
    } catch (const cfhost::EffectError& e) {
        throw EffectFailure(std::string("the effect failed to give its about text (") + e.what() + ")");
    }
    d.params = session.declared();
    return d;
}

std::string describeText(const ModuleDescription& d)
{
    std::string out;
    auto line = [&](const char* label, const std::string& value) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "  %-12s ", label);
        out += buf + value + "\n";
    };
    out += d.name + "\n";
    line("match name", d.matchName);
    line("category", d.category);
    line("entry", d.entry);
    line("kind", fourCC(d.kind));
    line("api version", std::to_string(d.apiMajor) + "." + std::to_string(d.apiMinor));
    line("version", versionText(d.version) + " (" + hex(d.version) + ")");
    line("out_flags", hex(static_cast<A_u_long>(d.outFlags)) + "  " + joined(outFlagNames(d.outFlags), " "));
    line("out_flags2", hex(static_cast<A_u_long>(d.outFlags2)) + "  " + joined(outFlag2Names(d.outFlags2), " "));
    out += "\nAbout\n";
    out += indentedLines(d.about);
    out += "\nParameters (" + std::to_string(d.params.size()) + ")\n";
    out += "  index  id  type          label                     declared\n";
    for (const DeclaredParam& p : d.params) {
        char buf[160];
        const std::string name = p.def.name[0] ? p.def.name : "(end of group)";
        std::snprintf(buf, sizeof buf, "  %5ld %3ld  %-13s %-25s ", static_cast<long>(p.index),
                      static_cast<long>(p.def.uu.id), cfhost::paramTypeId(p.def.param_type), name.c_str());
        std::string row = std::string(buf) + declaredText(p);
        row.erase(row.find_last_not_of(' ') + 1);
        out += row + "\n";
    }
    return out;
}

std::string describeJson(const ModuleDescription& d)
{
    Json json;
    json["name"] = std::string(d.name);
    json["match_name"] = d.matchName;
    json["category"] = d.category;
    json["entry"] = d.entry;
    json["kind"] = fourCC(d.kind);
    json["api_version"] = std::to_string(d.apiMajor) + "." + std::to_string(d.apiMinor);
    json["version"] = d.version;
    json["out_flags"] = static_cast<A_u_long>(d.outFlags);
    json["out_flags2"] = static_cast<A_u_long>(d.outFlags2);
    json["about"] = d.about;
    json["params"] = Json::array();
    for (const DeclaredParam& p : d.params) {
        json["params"].push_back(paramJson(p));
    }
    /* JSON is UTF-8: bytes of another encoding in a module's texts become U+FFFD rather than failing. */
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace cfcli
