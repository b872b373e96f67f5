/* ParamSetter.h — parameters by their declared labels: "Pattern Size=4", "Presets=Rings",
   "Pixel Color=#ff8800", "Enable Chaos=on". Every value is checked against what the module declared
   (kind, choices, valid range) before anything renders; a bad one is a one-line UsageError naming the
   parameter and what it allows. */
#pragma once

#include <string>
#include <vector>

#include "AE_Effect.h"

namespace cfhost {
class EffectInstance;
}

namespace cfcli {

/* One parameter as the module declared it (the input layer, index 0, is not among them). */
struct DeclaredParam {
    PF_ParamIndex index = 0;
    PF_ParamDef def{};
    std::vector<std::string> choices; /* popups: the choice texts, first choice first */
};

/* The parameters an instance holds after parameter setup, from index 1 on. */
std::vector<DeclaredParam> declaredParameters(const cfhost::EffectInstance& effect);

/* The choices of a popup's '|'-separated text, at most `count` of them. */
std::vector<std::string> splitChoices(const char* names, int count);

/* A checked value for one parameter. */
struct ParamValue {
    PF_ParamIndex index = 0;
    PF_ParamType type = PF_Param_RESERVED;
    A_long choice = 0;  /* popups: 1-based */
    bool checked = false;
    double number = 0;  /* float sliders and sliders */
    PF_Pixel color{};
};

/* Parses "LABEL=VALUE" settings against the declared parameters. */
ParamValue parseSetting(const std::string& setting, const std::vector<DeclaredParam>& params);
std::vector<ParamValue> parseSettings(const std::vector<std::string>& settings,
                                      const std::vector<DeclaredParam>& params);

void applySettings(cfhost::EffectInstance& effect, const std::vector<ParamValue>& values);

} // namespace cfcli
