/* Render.cpp — placeholder until the render driver lands. */
#include "Crumbleforge.h"

PF_Err Render(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*)
{
    return PF_Err_NONE;
}
