/* CallbackTables.h — the C function tables one Host hands out, and the slot registry that lets callbacks
   without a context argument find their Host. Slot n's tables point at functions instantiated for n, which
   look their Host up in slot n; a Host claims a free slot for its lifetime. */
#pragma once

#include <cstddef>

#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "SPBasic.h"
#include "cfhost/Host.h"

namespace cfhost::detail {

struct CallbackTables {
    SPBasicSuite basic{};
    PF_UtilCallbacks utils{};
    PF_InteractCallbacks inter{};
    PF_ANSICallbacksSuite1 ansi{};
    PF_Iterate8Suite1 iterate8{};
    PF_Iterate16Suite1 iterate16{};
    PF_HandleSuite1 handles{};
    PF_ParamUtilsSuite3 paramUtils{};
};

CallbackTables makeTables(std::size_t slot);

/* Holds one slot of the registry for a Host::State; throws HostError when every slot is taken. */
class SlotClaim {
public:
    explicit SlotClaim(Host::State* state);
    ~SlotClaim();
    SlotClaim(const SlotClaim&) = delete;
    SlotClaim& operator=(const SlotClaim&) = delete;
    std::size_t index() const noexcept { return index_; }

private:
    std::size_t index_;
};

} // namespace cfhost::detail
