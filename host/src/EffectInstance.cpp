/* EffectInstance.cpp — commands, held data and parameters of one effect driven through a Host. */
#include "cfhost/EffectInstance.h"
#include "cfhost/ParamTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "CommandRegistry.h"
#include "HostState.h"
#include "cfhost/HostError.h"

namespace cfhost {
namespace {

PF_ParamDef inputLayerDefinition()
{
    PF_ParamDef def{};
    def.param_type = PF_Param_LAYER;
    std::strcpy(def.name, "Input");
    def.u.ld.dephault = PF_LayerDefault_MYSELF;
    return def;
}

/* A fixed-size text field, up to its first NUL or its end. */
template <std::size_t N>
std::string boundedText(const A_char (&field)[N])
{
    return std::string(field, std::find(field, field + N, '\0'));
}

} // namespace

FrameTime FrameTime::ofFrame(A_long frame, double fps)
{
    if (!(fps > 0.0)) {
        throw HostError("frame rate must be positive");
    }
    FrameTime t;
    t.time_step = 100;
    t.current_time = frame * 100;
    t.time_scale = static_cast<A_u_long>(std::lround(fps * 100.0));
    return t;
}

EffectInstance::EffectInstance(Host& host, Module module)
    : host_(host), module_(std::move(module)), params_{inputLayerDefinition()}, keyframes_(1)
{
}

EffectInstance::EffectInstance(Host& host, const std::filesystem::path& modulePath)
    : EffectInstance(host, Module(modulePath))
{
}

EffectInstance::~EffectInstance() = default;

/* ---- registration ---------------------------------------------------------------------------------- */

const Registration& EffectInstance::registerModule()
{
    Registration reg = readRegistration(module_, host_.basicSuite(), host_.hostName(), host_.hostVersion());
    const std::string where = "module '" + module_.path().u8string() + "'";
    if (reg.callbackCalls == 0) {
        throw HostError(where + " did not register anything (PluginDataEntryFunction returned " +
                        std::to_string(reg.entryResult) + ")");
    }
    if (reg.entryPointName.empty()) {
        throw HostError(where + " registered no entry point name");
    }
    entry_ = module_.function<PF_FilterProc>(reg.entryPointName.c_str());
    registration_ = std::move(reg);
    return registration_;
}

const Registration& EffectInstance::registration() const
{
    if (entry_ == nullptr) {
        throw HostError("module '" + module_.path().u8string() + "' is not registered yet");
    }
    return registration_;
}

/* ---- raw commands ---------------------------------------------------------------------------------- */

CommandFrame EffectInstance::prepare(PF_Cmd cmd, const World* input, World* output, const FrameTime& time) const
{
    CommandFrame f;
    f.cmd = cmd;
    f.in = host_.newInData();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const double seconds = secondsOf(time.current_time, time.time_scale);
        for (std::size_t i = 0; i < params_.size(); ++i) {
            f.paramStore.push_back(valueAt(params_[i], keyframes_[i], seconds));
        }
        f.keyframes = keyframes_;
        f.in.global_data = globalData_;
        f.in.sequence_data = sequenceData_;
    }
    f.in.num_params = static_cast<A_long>(f.paramStore.size());
    f.in.current_time = time.current_time;
    f.in.time_step = time.time_step;
    f.in.local_time_step = time.time_step;
    f.in.time_scale = time.time_scale;
    // The layer ends with this frame; a time at the end of the range saturates instead of wrapping.
    const long long end = static_cast<long long>(time.current_time) + time.time_step;
    f.in.total_time = static_cast<A_long>(std::min<long long>(std::max<long long>(end, INT32_MIN), INT32_MAX));
    if (input != nullptr) {
        f.paramStore.front().u.ld = input->layer();
        f.in.width = input->width();
        f.in.height = input->height();
        f.in.extent_hint = input->layer().extent_hint;
    } else if (output != nullptr) {
        f.in.width = output->width();
        f.in.height = output->height();
        f.in.extent_hint = output->layer().extent_hint;
    }
    f.out.width = f.in.width;
    f.out.height = f.in.height;
    f.output = output != nullptr ? &output->layer() : nullptr;
    return f;
}

PF_Err EffectInstance::send(CommandFrame& frame)
{
    if (entry_ == nullptr) {
        throw HostError("command " + std::to_string(frame.cmd) + " sent to module '" + module_.path().u8string() +
                        "' before it was registered");
    }
    frame.params.clear();
    for (auto& def : frame.paramStore) {
        frame.params.push_back(&def);
    }
    frame.params.push_back(nullptr);

    detail::CommandContext context(frame.cmd, &frame.paramStore, &frame.keyframes);
    PF_Err err = PF_Err_NONE;
    {
        detail::CommandScope scope(host_.state().commands, context);
        frame.in.effect_ref = context.ref();
        try {
            err = entry_(frame.cmd, &frame.in, &frame.out, frame.params.data(), frame.output, frame.extra);
        } catch (...) {
            throw HostError("module '" + module_.path().u8string() + "' let an exception out of command " +
                            std::to_string(frame.cmd));
        }
    }
    std::vector<PF_ParamDef> added = context.takeAdded();
    std::lock_guard<std::mutex> lock(mutex_);
    lastIn_ = frame.in;
    lastOut_ = frame.out;
    if (frame.cmd == PF_Cmd_PARAMS_SETUP && err == PF_Err_NONE) {
        params_.resize(1);
        params_.insert(params_.end(), added.begin(), added.end());
        keyframes_.assign(params_.size(), KeyframeList{});
        ++edits_;
    }
    return err;
}

PF_Err EffectInstance::send(PF_Cmd cmd)
{
    CommandFrame frame = prepare(cmd);
    return send(frame);
}

PF_InData EffectInstance::lastInData() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastIn_;
}

PF_OutData EffectInstance::lastOutData() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastOut_;
}

/* ---- lifecycle ------------------------------------------------------------------------------------- */

PF_Err EffectInstance::globalSetup()
{
    CommandFrame f = prepare(PF_Cmd_GLOBAL_SETUP);
    const PF_Err err = send(f);
    std::lock_guard<std::mutex> lock(mutex_);
    if (f.out.global_data != nullptr) {
        globalData_ = f.out.global_data;
    }
    effectVersion_ = f.out.my_version;
    outFlags_ = f.out.out_flags;
    outFlags2_ = f.out.out_flags2;
    return err;
}

PF_Err EffectInstance::globalSetdown()
{
    CommandFrame f = prepare(PF_Cmd_GLOBAL_SETDOWN);
    const PF_Err err = send(f);
    std::lock_guard<std::mutex> lock(mutex_);
    globalData_ = nullptr;
    return err;
}

PF_Err EffectInstance::paramsSetup()
{
    CommandFrame f = prepare(PF_Cmd_PARAMS_SETUP);
    const PF_Err err = send(f);
    std::lock_guard<std::mutex> lock(mutex_);
    reportedParamCount_ = f.out.num_params;
    return err;
}

namespace {

/* What the host holds after a sequence command: the effect's new handle, else the one it was given
   (which a resize through &in_data->sequence_data may have replaced). */
PF_Handle heldSequenceData(const CommandFrame& f)
{
    return f.out.sequence_data != nullptr ? f.out.sequence_data : f.in.sequence_data;
}

} // namespace

PF_Err EffectInstance::sequenceSetup()
{
    CommandFrame f = prepare(PF_Cmd_SEQUENCE_SETUP);
    const PF_Err err = send(f);
    std::lock_guard<std::mutex> lock(mutex_);
    sequenceData_ = heldSequenceData(f);
    return err;
}

PF_Err EffectInstance::sequenceResetup()
{
    CommandFrame f = prepare(PF_Cmd_SEQUENCE_RESETUP);
    const PF_Err err = send(f);
    std::lock_guard<std::mutex> lock(mutex_);
    sequenceData_ = heldSequenceData(f);
    return err;
}

PF_Err EffectInstance::sequenceSetdown()
{
    CommandFrame f = prepare(PF_Cmd_SEQUENCE_SETDOWN);
    const PF_Err err = send(f);
    std::lock_guard<std::mutex> lock(mutex_);
    sequenceData_ = nullptr;
    return err;
}

std::string EffectInstance::about()
{
    CommandFrame f = prepare(PF_Cmd_ABOUT);
    check(send(f), "about command");
    return boundedText(f.out.return_msg);
}

PF_Handle EffectInstance::globalData() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return globalData_;
}

PF_Handle EffectInstance::sequenceData() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sequenceData_;
}

PF_Handle EffectInstance::presetSequenceData(std::size_t size)
{
    PF_Handle handle = host_.newHandle(size);
    std::lock_guard<std::mutex> lock(mutex_);
    if (sequenceData_ != nullptr && host_.ownsHandle(sequenceData_)) {
        host_.disposeHandle(sequenceData_);
    }
    sequenceData_ = handle;
    return handle;
}

A_u_long EffectInstance::effectVersion() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return effectVersion_;
}

PF_OutFlags EffectInstance::outFlags() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return outFlags_;
}

PF_OutFlags2 EffectInstance::outFlags2() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return outFlags2_;
}

A_long EffectInstance::reportedParamCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reportedParamCount_;
}

/* ---- parameters ------------------------------------------------------------------------------------ */

std::size_t EffectInstance::parameterCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return params_.size();
}

PF_ParamDef EffectInstance::parameter(PF_ParamIndex index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= params_.size()) {
        throw HostError("parameter index " + std::to_string(index) + " is outside 0.." +
                        std::to_string(params_.size() - 1));
    }
    return params_[static_cast<std::size_t>(index)];
}

std::optional<PF_ParamIndex> EffectInstance::findParameter(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < params_.size(); ++i) {
        if (name == boundedText(params_[i].name)) {
            return static_cast<PF_ParamIndex>(i);
        }
    }
    return std::nullopt;
}

PF_ParamDef& EffectInstance::checkedParameter(PF_ParamIndex index, PF_ParamType type, const char* what)
{
    if (index < 0 || static_cast<std::size_t>(index) >= params_.size()) {
        throw HostError(std::string("cannot set ") + what + ": parameter index " + std::to_string(index) +
                        " is outside 0.." + std::to_string(params_.size() - 1));
    }
    PF_ParamDef& def = params_[static_cast<std::size_t>(index)];
    if (def.param_type != type) {
        throw HostError(std::string("cannot set ") + what + ": parameter " + std::to_string(index) + " is a " +
                        paramTypeWords(def.param_type) + ", not a " + paramTypeWords(type));
    }
    return def;
}

void EffectInstance::setPopup(PF_ParamIndex index, A_long choice)
{
    std::lock_guard<std::mutex> lock(mutex_);
    PF_ParamDef& def = checkedParameter(index, PF_Param_POPUP, "a popup choice");
    if (choice < 1 || choice > def.u.pd.num_choices) {
        throw HostError("popup choice " + std::to_string(choice) + " is outside 1.." +
                        std::to_string(def.u.pd.num_choices));
    }
    def.u.pd.value = choice;
    ++edits_;
}

void EffectInstance::setCheckbox(PF_ParamIndex index, bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    checkedParameter(index, PF_Param_CHECKBOX, "a checkbox").u.bd.value = on ? 1 : 0;
    ++edits_;
}

void EffectInstance::setFloat(PF_ParamIndex index, double value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    checkedParameter(index, PF_Param_FLOAT_SLIDER, "a float slider value").u.fs_d.value = value;
    ++edits_;
}

void EffectInstance::setSlider(PF_ParamIndex index, A_long value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    checkedParameter(index, PF_Param_SLIDER, "a slider value").u.sd.value = value;
    ++edits_;
}

void EffectInstance::setColor(PF_ParamIndex index, const PF_Pixel& colour)
{
    std::lock_guard<std::mutex> lock(mutex_);
    checkedParameter(index, PF_Param_COLOR, "a colour").u.cd.value = colour;
    ++edits_;
}

void EffectInstance::setKeyframe(PF_ParamIndex index, const FrameTime& at)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 1 || static_cast<std::size_t>(index) >= params_.size()) {
        throw HostError("cannot keyframe parameter " + std::to_string(index) + ": it is outside 1.." +
                        std::to_string(params_.size() - 1));
    }
    const auto i = static_cast<std::size_t>(index);
    const Keyframe key{secondsOf(at.current_time, at.time_scale), params_[i].u};
    KeyframeList& keys = keyframes_[i];
    const auto place = std::lower_bound(keys.begin(), keys.end(), key.seconds,
                                        [](const Keyframe& k, double t) { return k.seconds < t; });
    if (place != keys.end() && place->seconds == key.seconds) {
        *place = key;
    } else {
        keys.insert(place, key);
    }
    ++edits_;
}

void EffectInstance::clearKeyframes(PF_ParamIndex index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= params_.size()) {
        throw HostError("parameter index " + std::to_string(index) + " is outside 0.." +
                        std::to_string(params_.size() - 1));
    }
    keyframes_[static_cast<std::size_t>(index)].clear();
    ++edits_;
}

std::vector<PF_ParamDef> EffectInstance::parametersAt(const FrameTime& time) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const double seconds = secondsOf(time.current_time, time.time_scale);
    std::vector<PF_ParamDef> values;
    for (std::size_t i = 0; i < params_.size(); ++i) {
        values.push_back(valueAt(params_[i], keyframes_[i], seconds));
    }
    return values;
}

long EffectInstance::edits() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return edits_;
}

/* ---- rendering ------------------------------------------------------------------------------------- */

PF_Err EffectInstance::render(const World& input, World& output, const FrameTime& time)
{
    CommandFrame f = prepare(PF_Cmd_RENDER, &input, &output, time);
    return send(f);
}

PF_Err EffectInstance::render(const World& input, World& output, const FrameTime& time, const Downsample& downsample)
{
    return render(input, output, time, downsample, LayerOrigin{});
}

PF_Err EffectInstance::render(const World& input, World& output, const FrameTime& time, const Downsample& downsample,
                              const LayerOrigin& origin)
{
    if (downsample.x < 1 || downsample.y < 1) {
        throw HostError("a downsample factor must be 1 or more");
    }
    const auto floorDivide = [](A_long value, A_long by) {
        const long long v = value;
        return v >= 0 ? v / by : -((-v + by - 1) / by);
    };
    if (downsample.x == 1 && downsample.y == 1) {
        CommandFrame f = prepare(PF_Cmd_RENDER, &input, &output, time);
        f.in.pre_effect_source_origin_x = origin.x;
        f.in.pre_effect_source_origin_y = origin.y;
        return send(f);
    }
    const World reducedInput = reduced(input, downsample.x, downsample.y);
    if (output.width() != reducedInput.width() || output.height() != reducedInput.height()) {
        throw HostError("the output of a render at 1/" + std::to_string(downsample.x) + " by 1/" +
                        std::to_string(downsample.y) + " must be " + std::to_string(reducedInput.width()) + "x" +
                        std::to_string(reducedInput.height()));
    }
    CommandFrame f = prepare(PF_Cmd_RENDER, &reducedInput, &output, time);
    f.in.downsample_x = PF_RationalScale{1, static_cast<A_u_long>(downsample.x)};
    f.in.downsample_y = PF_RationalScale{1, static_cast<A_u_long>(downsample.y)};
    f.in.pre_effect_source_origin_x = static_cast<A_long>(floorDivide(origin.x, downsample.x));
    f.in.pre_effect_source_origin_y = static_cast<A_long>(floorDivide(origin.y, downsample.y));
    return send(f);
}

PF_Err EffectInstance::queryDynamicFlags(const FrameTime& time)
{
    CommandFrame f = prepare(PF_Cmd_QUERY_DYNAMIC_FLAGS, nullptr, nullptr, time);
    f.out.out_flags = outFlags();
    f.out.out_flags2 = outFlags2();
    const PF_Err err = send(f);
    std::lock_guard<std::mutex> lock(mutex_);
    dynamicOutFlags_ = f.out.out_flags;
    dynamicQueried_ = true;
    return err;
}

PF_OutFlags EffectInstance::dynamicOutFlags() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dynamicQueried_ ? dynamicOutFlags_ : outFlags_;
}

} // namespace cfhost
