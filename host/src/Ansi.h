/* Ansi.h — the host's ANSI helper table (math, sprintf, strcpy), shared by the utility callbacks and
   "PF ANSI Suite". sprintf has plain vsprintf semantics, unbounded, as a real host's does. */
#pragma once

#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"

namespace cfhost::detail {

PF_ANSICallbacks ansiCallbacks() noexcept;
PF_ANSICallbacksSuite1 ansiSuite() noexcept;

} // namespace cfhost::detail
