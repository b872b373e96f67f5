/* HostError.cpp — the effect-result check. */
#include "cfhost/HostError.h"

namespace cfhost {

EffectError::EffectError(const std::string& what, PF_Err code)
    : HostError(what + " failed with error " + std::to_string(code)), code_(code)
{
}

void check(PF_Err err, const std::string& what)
{
    if (err != PF_Err_NONE) {
        throw EffectError(what, err);
    }
}

} // namespace cfhost
