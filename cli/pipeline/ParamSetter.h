/* ParamSetter.h — parameters by their declared labels ("Pattern Size=4", "Pixel Color=#f80", "Enable Chaos=yes"),
   checked against the declaration before anything renders, and the values the command starts from. A bad value
   is a one-line UsageError naming the parameter and what it allows. */
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

/* Parses one "LABEL=VALUE" setting against the declared parameters. */
ParamValue parseSetting(const std::string& setting, const std::vector<DeclaredParam>& params);

/* The choice a popup starts at in the command: its declared default when that is one of its choices, else its
   first choice. (An effect may declare 0 and draw a look of its own for it; a user of the command expects one
   of the choices it lists.) */
A_long startingChoice(const DeclaredParam& p);

/* Everything the command sets before rendering, in order: its starting choices where they differ from the
   declared defaults, then the settings as given (which may pick any choice). */
std::vector<ParamValue> parseSettings(const std::vector<std::string>& settings,
                                      const std::vector<DeclaredParam>& params);

void applySettings(cfhost::EffectInstance& effect, const std::vector<ParamValue>& values);

/* The value every settable parameter holds, one a line: equal for settings that mean the same however they were
   written ("on" and "yes", "4" and "4.0", a default named or left out, a label set twice). */
std::string parameterValues(const cfhost::EffectInstance& effect, const std::vector<DeclaredParam>& params);

} // namespace cfcli
