/* AEGP_SuiteHandler.h — acquires the host suites a command needs, each at most once, on first use, and
   releases every one of them when it goes out of scope. A suite the host cannot supply ends the command
   with PF_Err_BAD_CALLBACK_PARAM through MissingSuiteError. */
#pragma once

#include "AE_EffectCBSuites.h"
#include "SPBasic.h"

class AEGP_SuiteHandler {
public:
    explicit AEGP_SuiteHandler(const SPBasicSuite* pica_basicP);
    ~AEGP_SuiteHandler();

    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    const PF_ANSICallbacksSuite1* ANSICallbacksSuite1() const;
    const PF_Iterate8Suite1* Iterate8Suite1() const;
    const PF_Iterate8Suite2* Iterate8Suite2() const;
    const PF_Iterate16Suite1* Iterate16Suite1() const;
    const PF_Iterate16Suite2* Iterate16Suite2() const;

private:
    struct Slot {
        const char* name;
        int32 version;
        mutable const void* suite;
    };

    const void* acquire(Slot& slot) const;
    void ReleaseAllSuites();

    /* Throws the host's error code as an integer; the entry point returns it as the command's result. */
    [[noreturn]] void MissingSuiteError() const;

    const SPBasicSuite* i_pica_basicP;
    mutable Slot i_ansi1;
    mutable Slot i_iterate8_1;
    mutable Slot i_iterate8_2;
    mutable Slot i_iterate16_1;
    mutable Slot i_iterate16_2;
};
