/* Describe.h — `crumbleforge describe [--json]`: what the module says about itself — identity as
   registered, version word, flags, about text — and every parameter as declared. */
#pragma once

#include <string>
#include <vector>

#include "AE_Effect.h"
#include "pipeline/ParamSetter.h"

namespace cfcli {

class EffectSession;

struct ModuleDescription {
    std::string name;
    std::string matchName;
    std::string category;
    std::string entry;
    A_long kind = 0;
    A_long apiMajor = 0;
    A_long apiMinor = 0;
    A_u_long version = 0;
    PF_OutFlags outFlags = 0;
    PF_OutFlags2 outFlags2 = 0;
    std::string about; /* as the module wrote it: lines end with carriage returns */
    std::vector<DeclaredParam> params;
};

ModuleDescription describeModule(EffectSession& session);

/* "1.6.3 release, build 0" from a packed version word. */
std::string versionText(A_u_long word);
/* Names of the set flags, e.g. "DEEP_COLOR_AWARE"; unnamed bits as hexadecimal. */
std::vector<std::string> outFlagNames(PF_OutFlags flags);
std::vector<std::string> outFlag2Names(PF_OutFlags2 flags);

std::string describeText(const ModuleDescription& d);
std::string describeJson(const ModuleDescription& d);

} // namespace cfcli
