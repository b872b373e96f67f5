/* RenderSetup.h — the first step of every frame, shared by the render command and the direct entry: the
   parameter values read once into the render record, with the 16-bit colours and the chaos offsets. */
#pragma once

#include "AE_Effect.h"
#include "RenderInfo.h"

/* Fills the record's parameter fields from params (indexed by ParamIndex, every one present), the 16-bit
   copies of the colours, and the chaos offsets of the frame at current_time / time_step into chaos, which
   the record then points at. The other fields are left as they are. */
void setUpFrame(RenderInfo& info, ChaosValues& chaos, PF_ParamDef* params[], A_long current_time, A_long time_step);
