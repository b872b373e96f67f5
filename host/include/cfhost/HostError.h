/* HostError.h — the exceptions the host library throws: HostError for anything the host itself cannot do
   (a module that will not load, a bad parameter index), EffectError when a caller asks for an effect's result
   to be treated as a failure. */
#pragma once

#include <stdexcept>
#include <string>

#include "AE_Effect.h"

namespace cfhost {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

/* An effect command returned a non-zero PF_Err where the caller required success. */
class EffectError : public HostError {
public:
    EffectError(const std::string& what, PF_Err code);
    PF_Err code() const noexcept { return code_; }

private:
    PF_Err code_;
};

/* Throws EffectError("<what> failed with error <code>") when err is not PF_Err_NONE. */
void check(PF_Err err, const std::string& what);

} // namespace cfhost
