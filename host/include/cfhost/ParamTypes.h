/* ParamTypes.h — names of the host's parameter kinds, for messages and for machine-readable listings. */
#pragma once

#include <string>

#include "AE_Effect.h"

namespace cfhost {

/* An identifier for the kind: "float_slider", "popup", "color", "group_start", ...; "unknown" otherwise. */
const char* paramTypeId(PF_ParamType type) noexcept;

/* The same in words for messages: "float slider", "group start", ... */
std::string paramTypeWords(PF_ParamType type);

} // namespace cfhost
