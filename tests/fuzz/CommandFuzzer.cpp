/* CommandFuzzer.cpp — the effect's entry point, loaded and driven through our host, with whatever a host
   or a damaged project can hand it: any command number in any order; in_data fields a host may fill oddly
   (interface version, application id, preview scales, times, extents, parameter count); parameter values
   of any bit pattern; sequence blocks of any size and content; input and output worlds of any small size,
   padding and depth (mostly the two of one depth, as hosts give them); and the host's own failures (withheld
   suites, failed allocations, refused parameters, failed fills and checkouts, cancels).

   Every command must come back without a crash, a sanitizer report or an exception, with every suite it
   acquired released and no call the host refused; after setdown nothing may be left allocated. */
#include "FuzzValues.h"

#include "AE_EffectCBSuites.h"
#include "Crumbleforge.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/FourCC.h"
#include "cfhost/Host.h"
#include "cfhost/HostError.h"
#include "cfhost/Module.h"
#include "cfhost/World.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_command: %s\n", what.c_str());
    std::abort();
}

/* After every command: what the effect acquired it released, and it made no call the host refused. */
void checkHost(const cfhost::Host& host, const char* after)
{
    const cfhost::Counters c = host.counters();
    if (c.suitesAcquired != c.suitesReleased) {
        fail(std::string("suites acquired and released differ after ") + after);
    }
    if (c.misuses != 0) {
        fail(std::string("the host refused a call during ") + after + ": " + host.misuseLog().front());
    }
}

cfhost::World anyWorld(FuzzedDataProvider& in, cfhost::Depth depth)
{
    const A_long width = in.ConsumeIntegralInRange<A_long>(0, 40);
    const A_long height = in.ConsumeIntegralInRange<A_long>(0, 40);
    const A_long step = depth == cfhost::Depth::Sixteen ? 2 : 1;
    std::optional<cfhost::World> made;
    if (in.ConsumeBool()) {
        made.emplace(width, height, depth);
    } else {
        made.emplace(width, height, depth, step * in.ConsumeIntegralInRange<A_long>(0, 24));
    }
    cfhost::World& world = *made;
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(static_cast<std::size_t>(width * height) * 8u);
    std::size_t next = 0;
    auto byte = [&]() -> std::uint8_t { return bytes.empty() ? 0 : bytes[next++ % bytes.size()]; };
    for (A_long y = 0; y < height; ++y) {
        for (A_long x = 0; x < width; ++x) {
            if (world.deep()) {
                PF_Pixel16& p = world.pixel16(x, y);
                p.alpha = static_cast<A_u_short>(byte() << 8 | byte());
                p.red = static_cast<A_u_short>(byte() << 8 | byte());
                p.green = static_cast<A_u_short>(byte() << 8 | byte());
                p.blue = static_cast<A_u_short>(byte() << 8 | byte());
            } else {
                world.pixel8(x, y) = PF_Pixel{byte(), byte(), byte(), byte()};
            }
        }
    }
    return std::move(world);
}

constexpr PF_Cmd kCommands[] = {
    PF_Cmd_ABOUT,         PF_Cmd_GLOBAL_SETUP,     PF_Cmd_GLOBAL_SETDOWN,        PF_Cmd_PARAMS_SETUP,
    PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP, PF_Cmd_SEQUENCE_FLATTEN,     PF_Cmd_SEQUENCE_SETDOWN,
    PF_Cmd_DO_DIALOG,     PF_Cmd_FRAME_SETUP,      PF_Cmd_RENDER,                PF_Cmd_FRAME_SETDOWN,
    PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_EVENT,            PF_Cmd_QUERY_DYNAMIC_FLAGS,
    PF_Cmd_SMART_PRE_RENDER, PF_Cmd_SMART_RENDER,  PF_Cmd_GET_FLATTENED_SEQUENCE_DATA, PF_Cmd_NUM_CMDS};

PF_Cmd anyCommand(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.ConsumeIntegral<PF_Cmd>();
    case 1: return in.PickValueInArray(kCommands);
    default: return PF_Cmd_RENDER;
    }
}

const char* const kSuiteNames[] = {kPFANSISuite, kPFIterate8Suite, kPFIterate16Suite, kPFHandleSuite};

void armFault(FuzzedDataProvider& in, cfhost::Faults& faults)
{
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: faults.withholdSuite(in.PickValueInArray(kSuiteNames)); break;
    case 1: faults.withholdSuite(in.PickValueInArray(kSuiteNames), in.ConsumeIntegralInRange<int32_t>(1, 2)); break;
    case 2: faults.failHandleAllocation(in.ConsumeIntegralInRange<unsigned>(1, 3)); break;
    case 3: faults.failEveryHandleAllocation(); break;
    case 4: faults.rejectAddParam(in.ConsumeIntegralInRange<unsigned>(1, 23), in.ConsumeIntegral<PF_Err>()); break;
    case 5: faults.requestAbort(); break;
    case 6: faults.abortAfterRows(in.ConsumeIntegralInRange<long>(0, 40)); break;
    case 7: faults.failFill(in.ConsumeIntegral<PF_Err>()); break;
    case 8: faults.failCheckout(in.ConsumeIntegral<PF_Err>(), in.ConsumeIntegralInRange<unsigned>(1, 3)); break;
    default: faults.clear(); break;
    }
}

/* A new value for one of the declared parameters, through the host's setters (which check kind and
   range, as an application's interface does). */
void setParameter(FuzzedDataProvider& in, cfhost::EffectInstance& fx)
{
    const std::size_t count = fx.parameterCount();
    if (count < 2) {
        return;
    }
    const auto index = in.ConsumeIntegralInRange<PF_ParamIndex>(1, static_cast<PF_ParamIndex>(count - 1));
    const PF_ParamDef def = fx.parameter(index);
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER: fx.setFloat(index, cffuzz::anyDouble(in)); break;
    case PF_Param_CHECKBOX: fx.setCheckbox(index, in.ConsumeBool()); break;
    case PF_Param_POPUP: fx.setPopup(index, in.ConsumeIntegralInRange<A_long>(1, std::max<A_long>(1, def.u.pd.num_choices))); break;
    case PF_Param_COLOR:
        fx.setColor(index, PF_Pixel{in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>(),
                                    in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>()});
        break;
    default: break;
    }
}

/* The lifecycle commands go through the instance, which keeps the host's books on global and sequence
   data as an application does. */
void lifecycle(FuzzedDataProvider& in, cfhost::EffectInstance& fx)
{
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: fx.globalSetup(); break;
    case 1: fx.paramsSetup(); break;
    case 2: fx.sequenceSetup(); break;
    case 3: fx.sequenceResetup(); break;
    case 4: fx.sequenceSetdown(); break;
    case 5: fx.queryDynamicFlags(); break;
    case 6: fx.globalSetdown(); break;
    default:
        try {
            fx.about();
        } catch (const cfhost::EffectError&) {
        }
        break;
    }
}

/* One command with records as our host fills them, then changed where the fuzzer says. */
void rawCommand(FuzzedDataProvider& in, cfhost::EffectInstance& fx)
{
    const PF_Cmd cmd = anyCommand(in);
    switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP:
    case PF_Cmd_GLOBAL_SETDOWN:
    case PF_Cmd_SEQUENCE_SETUP:
    case PF_Cmd_SEQUENCE_RESETUP:
    case PF_Cmd_SEQUENCE_SETDOWN:
        lifecycle(in, fx);
        return;
    default:
        break;
    }
    // Hosts give both worlds one depth; now and then one that does not.
    const cfhost::Depth depth = in.ConsumeBool() ? cfhost::Depth::Sixteen : cfhost::Depth::Eight;
    const cfhost::Depth other = depth == cfhost::Depth::Eight ? cfhost::Depth::Sixteen : cfhost::Depth::Eight;
    std::optional<cfhost::World> input;
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) {
        input.emplace(anyWorld(in, in.ConsumeIntegralInRange<int>(0, 15) == 0 ? other : depth));
    }
    cfhost::World output = anyWorld(in, depth);
    cfhost::CommandFrame frame = fx.prepare(cmd, input ? &*input : nullptr, &output);

    PF_InData& d = frame.in;
    if (in.ConsumeBool()) {
        d.version = PF_SpecVersion{in.ConsumeIntegral<A_short>(), in.ConsumeIntegral<A_short>()};
    }
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: d.appl_id = cfhost::kPremierePro; break;
    case 1: d.appl_id = in.ConsumeIntegral<A_long>(); break;
    default: break;
    }
    if (in.ConsumeBool()) {
        d.current_time = in.ConsumeIntegral<A_long>();
        d.time_step = in.ConsumeIntegral<A_long>();
        d.local_time_step = d.time_step;
        d.time_scale = in.ConsumeIntegral<A_u_long>();
        d.total_time = in.ConsumeIntegral<A_long>();
    }
    if (in.ConsumeBool()) {
        d.downsample_x = PF_RationalScale{in.ConsumeIntegral<A_long>(), in.ConsumeIntegral<A_u_long>()};
        d.downsample_y = PF_RationalScale{in.ConsumeIntegral<A_long>(), in.ConsumeIntegral<A_u_long>()};
    }
    if (in.ConsumeBool()) {
        d.pre_effect_source_origin_x = in.ConsumeIntegral<A_long>();
        d.pre_effect_source_origin_y = in.ConsumeIntegral<A_long>();
    }
    if (in.ConsumeBool()) {
        output.layer().extent_hint = PF_LRect{in.ConsumeIntegral<A_long>(), in.ConsumeIntegral<A_long>(),
                                              in.ConsumeIntegral<A_long>(), in.ConsumeIntegral<A_long>()};
        d.extent_hint = output.layer().extent_hint;
    }
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        d.num_params = in.ConsumeIntegralInRange<A_long>(-1, PARAM_COUNT + 2);
    }
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
        d.pica_basicP = nullptr;
    }
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) {
        frame.output = nullptr;
    }
    d.quality = in.ConsumeIntegral<PF_Quality>();
    d.field = in.ConsumeIntegral<PF_Field>();
    // Parameter values as a damaged project may carry them: any bits in the value fields.
    for (std::size_t i = 1; i < frame.paramStore.size(); ++i) {
        if (in.ConsumeIntegralInRange<int>(0, 3) != 0) {
            continue;
        }
        PF_ParamDef& def = frame.paramStore[i];
        switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER: def.u.fs_d.value = cffuzz::anyDouble(in); break;
        case PF_Param_POPUP: def.u.pd.value = in.ConsumeIntegral<A_long>(); break;
        case PF_Param_CHECKBOX: def.u.bd.value = in.ConsumeIntegral<A_long>(); break;
        case PF_Param_COLOR:
            def.u.cd.value = PF_Pixel{in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>(),
                                      in.ConsumeIntegral<A_u_char>(), in.ConsumeIntegral<A_u_char>()};
            break;
        default: break;
        }
    }
    fx.send(frame);
}

/* A frame at reduced resolution as a draft preview asks for it. */
void previewRender(FuzzedDataProvider& in, cfhost::EffectInstance& fx)
{
    const cfhost::Depth depth = in.ConsumeBool() ? cfhost::Depth::Sixteen : cfhost::Depth::Eight;
    const cfhost::World input = anyWorld(in, depth);
    const cfhost::Downsample scale{in.ConsumeIntegralInRange<A_long>(1, 5), in.ConsumeIntegralInRange<A_long>(1, 5)};
    const cfhost::World shape = cfhost::reduced(input, scale.x, scale.y);
    cfhost::World output(shape.width(), shape.height(), depth);
    cfhost::FrameTime time;
    time.current_time = in.ConsumeIntegralInRange<A_long>(-100000, 100000);
    fx.render(input, output, time, scale);
}

} // namespace

/* The module stays loaded for the whole run: every instance opens it again, and closing the last one would
   unmap the coverage counters the fuzzer keeps reading. */
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static const cfhost::Module keepLoaded(CRUMBLEFORGE_MODULE);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    cfhost::HostOptions options;
    options.threads = in.ConsumeBool() ? 2 : 1;
    options.applicationId = in.ConsumeBool() ? cfhost::kPremierePro : cfhost::kAfterEffects;
    if (in.ConsumeBool()) {
        options.versionMajor = in.ConsumeIntegralInRange<A_short>(12, 14);
        options.versionMinor = in.ConsumeIntegralInRange<A_short>(0, 30);
    }
    cfhost::Host host(options);
    cfhost::EffectInstance fx(host, CRUMBLEFORGE_MODULE);
    fx.registerModule();

    // Most runs set the effect up as an application does before the fuzzer takes over.
    if (in.ConsumeIntegralInRange<int>(0, 3) != 0) {
        fx.globalSetup();
        fx.paramsSetup();
        fx.sequenceSetup();
        checkHost(host, "setup");
    }
    for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
        const char* what = "a command";
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: lifecycle(in, fx); what = "a lifecycle command"; break;
        case 1: {
            PF_Handle block = fx.presetSequenceData(in.ConsumeIntegralInRange<std::size_t>(0, 8192));
            const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(host.handleSize(block));
            if (!bytes.empty()) {
                std::memcpy(*block, bytes.data(), bytes.size());
            }
            what = "a project's sequence block";
            break;
        }
        case 2: armFault(in, host.faults()); break;
        case 3:
            try {
                setParameter(in, fx);
            } catch (const cfhost::HostError&) {
            }
            break;
        case 4: previewRender(in, fx); what = "a preview render"; break;
        default: rawCommand(in, fx); break;
        }
        checkHost(host, what);
    }

    // Closing the project: whatever happened, setdown leaves nothing behind.
    host.faults().clear();
    if (fx.sequenceData() != nullptr) {
        fx.sequenceSetdown();
    }
    fx.globalSetdown();
    const std::string leaks = host.leakReport();
    if (!leaks.empty()) {
        fail("left behind after setdown:\n" + leaks);
    }
    return 0;
}
