/* EffectInstance.h — one effect, loaded from its module, driven through a Host the way an application
   drives an applied effect: registration, global/parameter/sequence setup, about, and frame renders.

   Commands get real PF_InData / PF_OutData records, a PF_ParamDef* params[] array (params[0] is the input
   layer) and an output world. Between commands the instance holds what the effect handed back:
   global_data after global setup, sequence_data after sequence setup/resetup (taking out_data->sequence_data
   when the effect set it, otherwise in_data->sequence_data as the effect left it, which a resize may have
   replaced), and the parameter definitions collected through add_param during parameter setup.

   render() may be called from several threads at once: every call builds its own records and copies of the
   parameters. The other commands are meant to be sent from one thread at a time. */
#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "cfhost/Host.h"
#include "cfhost/Keyframes.h"
#include "cfhost/Module.h"
#include "cfhost/Registration.h"
#include "cfhost/World.h"

namespace cfhost {

/* Time of a frame as the host reports it: frame × 100 with a step of 100 at a scale of round(fps × 100). */
struct FrameTime {
    A_long current_time = 0;
    A_long time_step = 100;
    A_u_long time_scale = 2400;

    static FrameTime ofFrame(A_long frame, double fps);
};

/* A preview at reduced resolution: the layer is shown at 1/x of its columns and 1/y of its rows. */
struct Downsample {
    A_long x = 1;
    A_long y = 1;
};

/* The layer inside a larger input buffer, as a host hands it after an earlier effect on the layer (a glow, a
   drop shadow) grew the buffer: the layer's (0, 0) lies at (x, y) of the buffer. */
struct LayerOrigin {
    A_long x = 0;
    A_long y = 0;
};

/* Everything one command call receives. prepare() fills it as a real host would; a test may change any
   field before send(). Movable, not copyable: params points into paramStore. */
struct CommandFrame {
    PF_Cmd cmd = PF_Cmd_ABOUT;
    PF_InData in{};
    PF_OutData out{};
    std::vector<PF_ParamDef> paramStore; /* copies of the current parameters, [0] = input layer */
    std::vector<PF_ParamDef*> params;    /* pointers into paramStore, then a null terminator */
    std::vector<KeyframeList> keyframes; /* the parameters' keyframes, index for index (checkout at any time) */
    PF_LayerDef* output = nullptr;
    void* extra = nullptr;

    CommandFrame() = default;
    CommandFrame(CommandFrame&&) = default;
    CommandFrame& operator=(CommandFrame&&) = default;
    CommandFrame(const CommandFrame&) = delete;
    CommandFrame& operator=(const CommandFrame&) = delete;
};

class EffectInstance {
public:
    EffectInstance(Host& host, Module module);
    EffectInstance(Host& host, const std::filesystem::path& modulePath);
    /* Sends nothing to the effect; handles it still holds stay live and show up in the host's leak report. */
    ~EffectInstance();
    EffectInstance(const EffectInstance&) = delete;
    EffectInstance& operator=(const EffectInstance&) = delete;

    Host& host() const noexcept { return host_; }
    const Module& module() const noexcept { return module_; }

    /* --- registration -------------------------------------------------------------------------- */
    /* Calls PluginDataEntryFunction and resolves the main entry by the name it reported. Throws HostError
       when the registration entry is missing, never called back, or names an entry the module lacks. */
    const Registration& registerModule();
    bool registered() const noexcept { return entry_ != nullptr; }
    const Registration& registration() const; /* throws HostError before registerModule() */

    /* --- raw commands --------------------------------------------------------------------------- */
    /* The records of `cmd` as a real host fills them: callbacks, app id, version, quality HI, 1/1 scales,
       held global and sequence data, the parameters as they stand at `time`; send() sets effect_ref. `input` (may be null)
       becomes params[0].u.ld and gives width, height and extent_hint. */
    CommandFrame prepare(PF_Cmd cmd, const World* input = nullptr, World* output = nullptr,
                         const FrameTime& time = FrameTime{}) const;
    /* Calls the main entry with the frame and returns its result; keeps copies of the records as
       lastInData()/lastOutData(). Parameters added during PF_Cmd_PARAMS_SETUP become the instance's
       parameters when the command succeeds. Throws HostError if not registered or if the entry throws. */
    PF_Err send(CommandFrame& frame);
    PF_Err send(PF_Cmd cmd);

    PF_InData lastInData() const;
    PF_OutData lastOutData() const;

    /* --- lifecycle commands (return the effect's result) ----------------------------------------- */
    PF_Err globalSetup();   /* keeps global_data, my_version, out_flags, out_flags2 */
    PF_Err globalSetdown(); /* hands global_data back, then forgets it */
    PF_Err paramsSetup();   /* keeps the added definitions and out_data->num_params */
    PF_Err sequenceSetup();
    PF_Err sequenceResetup();
    PF_Err sequenceSetdown(); /* forgets sequence_data afterwards whatever the effect did with it */
    /* Sends PF_Cmd_ABOUT and returns out_data->return_msg; throws EffectError on a non-zero result. */
    std::string about();

    PF_Handle globalData() const;
    PF_Handle sequenceData() const;
    /* Replaces the held sequence data with a host handle of `size` zero bytes (disposing the one held). */
    PF_Handle presetSequenceData(std::size_t size);

    A_u_long effectVersion() const;    /* out_data->my_version after global setup */
    PF_OutFlags outFlags() const;      /* out_data->out_flags after global setup */
    PF_OutFlags2 outFlags2() const;    /* out_data->out_flags2 after global setup */
    A_long reportedParamCount() const; /* out_data->num_params after parameter setup */

    /* Sends PF_Cmd_QUERY_DYNAMIC_FLAGS at `time`, as a host does when parameter values have changed, with
       out_flags holding the flags of global setup; keeps the answer's out_flags (see dynamicOutFlags()). */
    PF_Err queryDynamicFlags(const FrameTime& time = FrameTime{});
    /* out_flags as the last dynamic-flags answer left them; the global-setup flags before any query. */
    PF_OutFlags dynamicOutFlags() const;

    /* --- parameters (index 0 is the input layer) ----------------------------------------------- */
    std::size_t parameterCount() const;
    PF_ParamDef parameter(PF_ParamIndex index) const; /* a copy; throws HostError for a bad index */
    std::optional<PF_ParamIndex> findParameter(const std::string& name) const;
    /* Set current values; throw HostError for a bad index or a parameter of another type. */
    void setPopup(PF_ParamIndex index, A_long choice); /* 1-based */
    void setCheckbox(PF_ParamIndex index, bool on);
    void setFloat(PF_ParamIndex index, double value);
    void setSlider(PF_ParamIndex index, A_long value);
    void setColor(PF_ParamIndex index, const PF_Pixel& colour);

    /* Keyframes: the parameter's current value becomes a keyframe at `at` (replacing one at that moment),
       and from then on the parameter varies with time (Keyframes.h). clearKeyframes makes it constant again,
       at its current value. */
    void setKeyframe(PF_ParamIndex index, const FrameTime& at);
    void clearKeyframes(PF_ParamIndex index);
    /* Every parameter (index 0 the input layer) as it stands at `time`. */
    std::vector<PF_ParamDef> parametersAt(const FrameTime& time) const;
    /* Counts every change of a value or a keyframe: a host asks the effect about its flags again after one. */
    long edits() const;

    /* --- rendering ------------------------------------------------------------------------------ */
    /* Sends PF_Cmd_RENDER for one frame: params[0].u.ld is the input's layer, output is the output's layer
       (both 8-bit or both 16-bit is the caller's choice), with the current parameter values. The effect
       must not write the input. Returns the effect's result. */
    PF_Err render(const World& input, World& output, const FrameTime& time = FrameTime{});
    /* The same at reduced resolution: `input` is the full-resolution layer, which the host reduces to 1/x
       by 1/y (keeping the top-left pixel of every x-by-y cell, as a draft preview does) and hands over with
       in_data->downsample_x/y set. `output` must have the reduced size, rounded up. */
    PF_Err render(const World& input, World& output, const FrameTime& time, const Downsample& downsample);
    /* The same with a grown buffer: `input` is the whole buffer (at full resolution), the layer's (0, 0) lies
       at `origin` in it, and in_data->pre_effect_source_origin_x/y say so. At reduced resolution the buffer
       is reduced as above and the origin arrives in pixels of the reduced buffer: origin / factor, rounded
       down. `output` has the (reduced) buffer's size. */
    PF_Err render(const World& input, World& output, const FrameTime& time, const Downsample& downsample,
                  const LayerOrigin& origin);

private:
    PF_ParamDef& checkedParameter(PF_ParamIndex index, PF_ParamType type, const char* what);

    Host& host_;
    Module module_;
    Registration registration_;
    PF_FilterProc entry_ = nullptr;

    mutable std::mutex mutex_; /* guards everything below */
    std::vector<PF_ParamDef> params_;
    std::vector<KeyframeList> keyframes_; /* index for index with params_ */
    long edits_ = 0;
    PF_Handle globalData_ = nullptr;
    PF_Handle sequenceData_ = nullptr;
    A_u_long effectVersion_ = 0;
    PF_OutFlags outFlags_ = 0;
    PF_OutFlags2 outFlags2_ = 0;
    A_long reportedParamCount_ = 0;
    PF_OutFlags dynamicOutFlags_ = 0;
    bool dynamicQueried_ = false;
    PF_InData lastIn_{};
    PF_OutData lastOut_{};
};

} // namespace cfhost
