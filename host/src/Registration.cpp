/* Registration.cpp — calls a module's PluginDataEntryFunction and records what it reports. */
#include "cfhost/Registration.h"

#include "cfhost/HostError.h"
#include "cfhost/Module.h"

namespace cfhost {
namespace {

std::string text(const A_u_char* s)
{
    return s != nullptr ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

/* inPtr is the Registration being filled: the only context this callback gets. */
A_Err recordRegistration(PF_PluginDataPtr inPtr, const A_u_char* name, const A_u_char* matchName,
                         const A_u_char* category, const A_u_char* entryPointName, A_long kind, A_long major,
                         A_long minor, A_long reservedInfo)
{
    if (inPtr == nullptr) {
        return A_Err_PARAMETER;
    }
    auto& reg = *reinterpret_cast<Registration*>(inPtr);
    try {
        reg.name = text(name);
        reg.matchName = text(matchName);
        reg.category = text(category);
        reg.entryPointName = text(entryPointName);
    } catch (...) {
        return A_Err_ALLOC;
    }
    reg.kind = kind;
    reg.apiVersionMajor = major;
    reg.apiVersionMinor = minor;
    reg.reservedInfo = reservedInfo;
    ++reg.callbackCalls;
    return A_Err_NONE;
}

} // namespace

Registration readRegistration(const Module& module, SPBasicSuite* basic, const std::string& hostName,
                              const std::string& hostVersion)
{
    const auto entry = module.function<PluginDataEntryFunctionPtr>("PluginDataEntryFunction");
    Registration reg;
    reg.entryResult = entry(reinterpret_cast<PF_PluginDataPtr>(&reg), &recordRegistration, basic, hostName.c_str(),
                            hostVersion.c_str());
    return reg;
}

} // namespace cfhost
