/* Params.cpp — parameter setup: the rows of the parameter table (ParamTable.h) handed to the host in
   order through add_param. */
#include "Crumbleforge.h"
#include "ParamTable.h"

#include <cstring>

namespace {

void fillDefinition(const PF_InData* in_data, const ParamRow& row, PF_ParamDef& def)
{
    std::memset(&def, 0, sizeof(def));
    def.param_type = row.type;
    if (row.type != PF_Param_GROUP_END) {
        in_data->utils->ansi.strcpy(def.name, GetStringPtr(row.label));
    }
    switch (row.type) {
    case PF_Param_POPUP:
        def.u.pd.num_choices = row.numChoices;
        def.u.pd.dephault = 0;
        def.u.pd.value = 0;
        def.u.pd.u.namesptr = GetStringPtr(row.choices);
        break;
    case PF_Param_FLOAT_SLIDER:
        def.u.fs_d.valid_min = row.min;
        def.u.fs_d.slider_min = row.min;
        def.u.fs_d.valid_max = row.max;
        def.u.fs_d.slider_max = row.max;
        def.u.fs_d.value = static_cast<PF_FpLong>(row.dephault);
        def.u.fs_d.dephault = row.dephault;
        def.u.fs_d.precision = row.precision;
        def.u.fs_d.display_flags = PF_ValueDisplayFlag_NONE;
        def.u.fs_d.curve_tolerance = 0.05f;
        def.u.fs_d.fs_flags = PF_FSliderFlag_NONE;
        def.u.fs_d.phase = 0;
        break;
    case PF_Param_CHECKBOX:
        def.u.bd.value = 0;
        def.u.bd.dephault = 0;
        def.u.bd.u.nameptr = GetStringPtr(STR_NONE);
        break;
    case PF_Param_COLOR:
        def.u.cd.value = row.color;
        def.u.cd.dephault = row.color;
        break;
    default: // group start and end carry nothing beyond kind, name and id
        break;
    }
    def.uu.id = row.id;
}

} // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data)
{
    PF_ParamDef def;
    for (const ParamRow& row : kParams) {
        fillDefinition(in_data, row, def);
        const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        if (err != PF_Err_NONE) {
            return err;
        }
    }
    out_data->num_params = PARAM_COUNT;
    return PF_Err_NONE;
}
