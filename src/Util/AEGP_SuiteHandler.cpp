/* AEGP_SuiteHandler.cpp — suite slots, acquisition on first use, release of all on destruction. */
#include "AEGP_SuiteHandler.h"

#include <initializer_list>

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* pica_basicP)
    : i_pica_basicP(pica_basicP),
      i_ansi1{kPFANSISuite, kPFANSISuiteVersion1, nullptr},
      i_iterate8_1{kPFIterate8Suite, kPFIterate8SuiteVersion1, nullptr},
      i_iterate8_2{kPFIterate8Suite, kPFIterate8SuiteVersion2, nullptr},
      i_iterate16_1{kPFIterate16Suite, kPFIterate16SuiteVersion1, nullptr},
      i_iterate16_2{kPFIterate16Suite, kPFIterate16SuiteVersion2, nullptr}
{
    if (i_pica_basicP == nullptr) {
        MissingSuiteError();
    }
}

AEGP_SuiteHandler::~AEGP_SuiteHandler()
{
    ReleaseAllSuites();
}

const void* AEGP_SuiteHandler::acquire(Slot& slot) const
{
    if (slot.suite == nullptr) {
        const void* suite = nullptr;
        const SPErr err = i_pica_basicP->AcquireSuite(slot.name, slot.version, &suite);
        if (err != kSPNoError || suite == nullptr) {
            MissingSuiteError();
        }
        slot.suite = suite;
    }
    return slot.suite;
}

void AEGP_SuiteHandler::ReleaseAllSuites()
{
    for (Slot* slot : {&i_ansi1, &i_iterate8_1, &i_iterate8_2, &i_iterate16_1, &i_iterate16_2}) {
        if (slot->suite != nullptr) {
            i_pica_basicP->ReleaseSuite(slot->name, slot->version);
            slot->suite = nullptr;
        }
    }
}

const PF_ANSICallbacksSuite1* AEGP_SuiteHandler::ANSICallbacksSuite1() const
{
    return static_cast<const PF_ANSICallbacksSuite1*>(acquire(i_ansi1));
}

const PF_Iterate8Suite1* AEGP_SuiteHandler::Iterate8Suite1() const
{
    return static_cast<const PF_Iterate8Suite1*>(acquire(i_iterate8_1));
}

const PF_Iterate8Suite2* AEGP_SuiteHandler::Iterate8Suite2() const
{
    return static_cast<const PF_Iterate8Suite2*>(acquire(i_iterate8_2));
}

const PF_Iterate16Suite1* AEGP_SuiteHandler::Iterate16Suite1() const
{
    return static_cast<const PF_Iterate16Suite1*>(acquire(i_iterate16_1));
}

const PF_Iterate16Suite2* AEGP_SuiteHandler::Iterate16Suite2() const
{
    return static_cast<const PF_Iterate16Suite2*>(acquire(i_iterate16_2));
}
