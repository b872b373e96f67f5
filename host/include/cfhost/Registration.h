/* Registration.h — what a module says about itself when the host calls its PluginDataEntryFunction. */
#pragma once

#include <string>

#include "AE_PluginData.h"

namespace cfhost {

class Module;

struct Registration {
    /* the arguments of the last callback call */
    std::string name;
    std::string matchName;
    std::string category;
    std::string entryPointName; /* the main entry the host then looks up, e.g. "EffectMain" */
    A_long kind = 0;             /* 'eFKT' for an effect */
    A_long apiVersionMajor = 0;
    A_long apiVersionMinor = 0;
    A_long reservedInfo = 0;

    int callbackCalls = 0;     /* how many times the module called back */
    A_Err entryResult = 0;     /* what PluginDataEntryFunction returned */
};

/* Calls the module's exported PluginDataEntryFunction with a recording callback.
   Throws HostError when the module does not export it. The entry's result is recorded, not thrown. */
Registration readRegistration(const Module& module, SPBasicSuite* basic, const std::string& hostName,
                              const std::string& hostVersion);

} // namespace cfhost
