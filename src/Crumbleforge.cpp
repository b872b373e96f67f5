/* Crumbleforge.cpp — the two exported entries: registration, and the command dispatcher with global setup,
   the about text, the per-instance sequence block and the answer to the dynamic-flags query. */
#include "Crumbleforge.h"

#include "Chaos.h"
#include "Util/AEGP_SuiteHandler.h"

#include <cstdio>
#include <cstring>
#include <new>

void composeAboutText(char* text, std::size_t size, const char* name, const char* description)
{
    std::snprintf(text, size, "%s, v%d.%d.%d\r---------\r%s\r----------", name, CRUMBLEFORGE_MAJOR_VERSION,
                  CRUMBLEFORGE_MINOR_VERSION, CRUMBLEFORGE_BUG_VERSION, description);
}

namespace {

PF_Err About(PF_InData* in_data, PF_OutData* out_data)
{
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const char* description = GetStringPtr(STR_DESCRIPTION);
    const char* name = GetStringPtr(STR_NAME);
    const PF_ANSICallbacksSuite1* ansi = suites.ANSICallbacksSuite1();

    // The host's sprintf knows no bound: compose the text here, cut to the message field, and hand over
    // only the finished text.
    char text[sizeof(out_data->return_msg)];
    composeAboutText(text, sizeof(text), name, description);
    ansi->sprintf(out_data->return_msg, "%s", text);
    return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_OutData* out_data)
{
    out_data->my_version = CRUMBLEFORGE_VERSION_WORD;
    out_data->out_flags = CRUMBLEFORGE_OUT_FLAGS;
    out_data->out_flags2 = CRUMBLEFORGE_OUT_FLAGS2;
    return PF_Err_NONE;
}

PF_Err AllocateSequenceData(PF_InData* in_data, PF_OutData* out_data)
{
    PF_Handle handle = in_data->utils->host_new_handle(SEQUENCE_DATA_SIZE);
    out_data->sequence_data = handle;
    if (handle == nullptr) {
        in_data->utils->ansi.strcpy(out_data->return_msg, "Internal Error");
        out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    out_data->flat_sdata_size = SEQUENCE_DATA_SIZE;
    std::memset(*handle, 0, SEQUENCE_DATA_SIZE);
    return PF_Err_NONE;
}

// A block saved by the other platform's deliverable has the other size; bring it to ours.
// Its contents are never read, so the resize result does not matter.
void FitSequenceData(PF_InData* in_data)
{
    if (in_data->utils->host_get_handle_size(in_data->sequence_data) != SEQUENCE_DATA_SIZE) {
        in_data->utils->host_resize_handle(SEQUENCE_DATA_SIZE, &in_data->sequence_data);
    }
}

PF_Err SequenceSetup(PF_InData* in_data, PF_OutData* out_data)
{
    if (in_data->sequence_data == nullptr) {
        return AllocateSequenceData(in_data, out_data);
    }
    FitSequenceData(in_data);
    return PF_Err_NONE;
}

PF_Err SequenceResetup(PF_InData* in_data, PF_OutData* out_data)
{
    if (in_data->sequence_data != nullptr) {
        return PF_Err_NONE;
    }
    return AllocateSequenceData(in_data, out_data);
}

PF_Err SequenceSetdown(PF_InData* in_data, PF_OutData* out_data)
{
    if (in_data->sequence_data == nullptr) {
        return PF_Err_NONE;
    }
    FitSequenceData(in_data);
    in_data->utils->host_dispose_handle(in_data->sequence_data);
    out_data->sequence_data = nullptr;
    in_data->sequence_data = nullptr;
    return PF_Err_NONE;
}

/* Whether a parameter has keyframes, as the host's parameter utilities say. A host without them, or one
   that cannot tell, counts as "no keyframes". The suite is released before this returns. */
class KeyframeQuery {
public:
    explicit KeyframeQuery(const PF_InData* in_data) : in_data_(in_data)
    {
        const SPBasicSuite* basic = in_data->pica_basicP;
        const void* suite = nullptr;
        if (basic != nullptr && basic->AcquireSuite != nullptr &&
            basic->AcquireSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &suite) == kSPNoError) {
            acquired_ = true;
            suite_ = static_cast<const PF_ParamUtilsSuite3*>(suite);
        }
    }
    ~KeyframeQuery()
    {
        if (acquired_ && in_data_->pica_basicP->ReleaseSuite != nullptr) {
            in_data_->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
        }
    }
    KeyframeQuery(const KeyframeQuery&) = delete;
    KeyframeQuery& operator=(const KeyframeQuery&) = delete;

    bool keyframed(PF_ParamIndex index) const
    {
        if (suite_ == nullptr || suite_->PF_GetKeyframeCount == nullptr) {
            return false;
        }
        PF_KeyIndex count = PF_KeyIndex_NONE;
        return suite_->PF_GetKeyframeCount(in_data_->effect_ref, index, &count) == PF_Err_NONE && count > 0;
    }

private:
    const PF_InData* in_data_;
    const PF_ParamUtilsSuite3* suite_ = nullptr;
    bool acquired_ = false;
};

/* Whether chaos may animate somewhere on the timeline: it animates at the sampled time, or a keyframed
   "Enable Chaos" or "Animation Speed" may bring it there (unless the other one holds it still for good: a
   constant "Enable Chaos" off, or a constant speed that does not move). */
bool chaosMayAnimate(const PF_InData* in_data, A_u_char chaosEnabled, double speed)
{
    if (chaosAnimates(chaosEnabled, speed)) {
        return true;
    }
    const KeyframeQuery keys(in_data);
    const bool enabledKeyed = keys.keyframed(PARAM_ENABLE_CHAOS);
    const bool speedKeyed = keys.keyframed(PARAM_ANIMATION_SPEED);
    return (enabledKeyed || speedKeyed) && (enabledKeyed || chaosEnabled != 0) &&
           (speedKeyed || chaosSpeedMoves(speed));
}

/* Output that varies with time alone (chaos animating) must not come from the host's frame cache; every
   other setting keeps caching on. The query arrives at any time, so keyframes count as well as the values
   at that time. Only the NON_PARAM_VARY bit of out_flags is touched. */
PF_Err QueryDynamicFlags(PF_InData* in_data, PF_OutData* out_data)
{
    PF_ParamDef chaos;
    PF_ParamDef speed;
    std::memset(&chaos, 0, sizeof(chaos));
    std::memset(&speed, 0, sizeof(speed));
    PF_Err err = in_data->inter.checkout_param(in_data->effect_ref, PARAM_ENABLE_CHAOS, in_data->current_time,
                                               in_data->time_step, in_data->time_scale, &chaos);
    if (err != PF_Err_NONE) {
        return err;
    }
    err = in_data->inter.checkout_param(in_data->effect_ref, PARAM_ANIMATION_SPEED, in_data->current_time,
                                        in_data->time_step, in_data->time_scale, &speed);
    if (err != PF_Err_NONE) {
        in_data->inter.checkin_param(in_data->effect_ref, &chaos);
        return err;
    }
    const A_u_char chaosEnabled = lowByte(chaos.u.bd.value);
    const double speedValue = speed.u.fs_d.value;
    err = in_data->inter.checkin_param(in_data->effect_ref, &speed);
    const PF_Err chaosCheckin = in_data->inter.checkin_param(in_data->effect_ref, &chaos);
    if (err == PF_Err_NONE) {
        err = chaosCheckin;
    }
    if (chaosMayAnimate(in_data, chaosEnabled, speedValue)) {
        out_data->out_flags |= PF_OutFlag_NON_PARAM_VARY;
    } else {
        out_data->out_flags &= ~PF_OutFlag_NON_PARAM_VARY;
    }
    return err;
}

PF_Err Dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output)
{
    // Every command reads its records; a call without them is refused, whatever the command.
    if (in_data == nullptr || out_data == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    switch (static_cast<A_u_long>(cmd)) {
    case PF_Cmd_ABOUT:
        return About(in_data, out_data);
    case PF_Cmd_GLOBAL_SETUP:
        return GlobalSetup(out_data);
    case PF_Cmd_PARAMS_SETUP:
        return ParamsSetup(in_data, out_data);
    case PF_Cmd_SEQUENCE_SETUP:
        return SequenceSetup(in_data, out_data);
    case PF_Cmd_SEQUENCE_RESETUP:
        return SequenceResetup(in_data, out_data);
    case PF_Cmd_SEQUENCE_SETDOWN:
        return SequenceSetdown(in_data, out_data);
    case PF_Cmd_RENDER:
        return Render(in_data, out_data, params, output);
    case PF_Cmd_QUERY_DYNAMIC_FLAGS:
        return QueryDynamicFlags(in_data, out_data);
    default:
        return PF_Err_NONE;
    }
}

} // namespace

extern "C" DllExport PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                                    SPBasicSuite* /*inSPBasicSuitePtr*/,
                                                    const char* /*inHostName*/, const char* /*inHostVersion*/)
{
    return inPluginDataCallBackPtr(inPtr, reinterpret_cast<const A_u_char*>(CRUMBLEFORGE_NAME),
                                   reinterpret_cast<const A_u_char*>(CRUMBLEFORGE_MATCH_NAME),
                                   reinterpret_cast<const A_u_char*>(CRUMBLEFORGE_CATEGORY),
                                   reinterpret_cast<const A_u_char*>(CRUMBLEFORGE_ENTRY_POINT), CRUMBLEFORGE_KIND,
                                   CRUMBLEFORGE_API_MAJOR, CRUMBLEFORGE_API_MINOR, CRUMBLEFORGE_RESERVED_INFO);
}

extern "C" DllExport PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                       PF_LayerDef* output, void* /*extra*/)
{
    // No exception may reach the host: error codes thrown below become the command's result, and anything
    // else is mapped to the nearest host error.
    try {
        return Dispatch(cmd, in_data, out_data, params, output);
    } catch (PF_Err thrown) {
        return thrown;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}
