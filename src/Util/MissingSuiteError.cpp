/* MissingSuiteError.cpp — what the effect does when the host lacks a suite: end the command with
   PF_Err_BAD_CALLBACK_PARAM, thrown as a plain integer and caught at the entry point. */
#include "AEGP_SuiteHandler.h"

void AEGP_SuiteHandler::MissingSuiteError() const
{
    throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
}
