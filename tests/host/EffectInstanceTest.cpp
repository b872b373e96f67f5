/* EffectInstanceTest.cpp — a module driven through EffectInstance: loading, registration, the lifecycle
   commands, parameters and their keyframes, rendering in both hosts and depths, concurrency, and the fault
   switches as an effect meets them. */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ProbeEffect.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/HostError.h"

using namespace cfhost;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string thrownMessage(const std::function<void()>& f)
{
    try {
        f();
    } catch (const HostError& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

/* A host and the probe effect, set up through parameter setup. */
struct Probe {
    explicit Probe(HostOptions options = HostOptions{}) : host(std::move(options)), fx(host, CFHOST_PROBE_MODULE)
    {
        fx.registerModule();
        check(fx.globalSetup(), "global setup");
        check(fx.paramsSetup(), "parameter setup");
    }
    ~Probe() { fx.globalSetdown(); }

    Host host;
    EffectInstance fx;
};

HostOptions options(A_long app, A_short major, A_short minor, unsigned threads = 2)
{
    HostOptions o;
    o.applicationId = app;
    o.versionMajor = major;
    o.versionMinor = minor;
    o.threads = threads;
    return o;
}

World gradient(A_long w, A_long h, Depth depth)
{
    World world(w, h, depth, depth == Depth::Eight ? 5 : 6);
    for (A_long y = 0; y < h; ++y) {
        for (A_long x = 0; x < w; ++x) {
            const PF_Pixel p{static_cast<A_u_char>(200 + y), static_cast<A_u_char>(x * 9), static_cast<A_u_char>(y * 5),
                             static_cast<A_u_char>(x + y)};
            if (depth == Depth::Eight) {
                world.pixel8(x, y) = p;
            } else {
                world.pixel16(x, y) = to16(p);
            }
        }
    }
    return world;
}



/* ---- loading and registration -------------------------------------------------------------------- */

TEST(ModuleLoading, FailureNamesThePathAndTheLoadersReason)
{
    const std::string missing = "/nonexistent/dir/NoSuchEffect.so";
    EXPECT_TRUE(contains(thrownMessage([&] { Module m(missing); }), "'" + missing + "'"));

    const auto bogus = std::filesystem::temp_directory_path() / "cfhost-not-a-module.so";
    std::ofstream(bogus) << "not a shared object\n";
    const std::string message = thrownMessage([&] { Module m(bogus); });
    std::filesystem::remove(bogus);
    EXPECT_TRUE(contains(message, bogus.string()));
    EXPECT_GT(message.size(), bogus.string().size() + 25) << "the loader's own reason follows: " << message;
}

TEST(ModuleLoading, MissingSymbolsAreNullOrNamedInTheError)
{
    Module m(CFHOST_EMPTY_MODULE);
    EXPECT_NE(m.symbol("cfhostEmptyModuleMarker"), nullptr);
    EXPECT_EQ(m.symbol("PluginDataEntryFunction"), nullptr);
    Host host;
    EffectInstance fx(host, std::move(m));
    const std::string message = thrownMessage([&] { fx.registerModule(); });
    EXPECT_TRUE(contains(message, "PluginDataEntryFunction"));
    EXPECT_TRUE(contains(message, "EmptyModule"));
    EXPECT_THROW(fx.send(PF_Cmd_ABOUT), HostError);
}

TEST(Registration, RecordsWhatTheModuleReports)
{
    Host host;
    EffectInstance fx(host, CFHOST_PROBE_MODULE);
    EXPECT_FALSE(fx.registered());
    EXPECT_THROW(fx.registration(), HostError);
    const Registration& reg = fx.registerModule();
    EXPECT_EQ(reg.name, "Probe");
    EXPECT_EQ(reg.matchName, "CFH Probe");
    EXPECT_EQ(reg.category, "Host Tests");
    EXPECT_EQ(reg.entryPointName, "ProbeMain");
    EXPECT_EQ(reg.kind, kEffectKind);
    EXPECT_EQ(reg.apiVersionMajor, 13);
    EXPECT_EQ(reg.apiVersionMinor, 28);
    EXPECT_EQ(reg.reservedInfo, 8);
    EXPECT_EQ(reg.callbackCalls, 1);
    EXPECT_EQ(reg.entryResult, 0);
    EXPECT_TRUE(fx.registered());
}

TEST(Registration, CountsRepeatedCallsAndRefusesUnusableRegistrations)
{
    auto named = [](const char* hostName) {
        HostOptions o;
        o.hostName = hostName;
        return o;
    };
    Host twice(named(kProbeHostTwice));
    EffectInstance a(twice, CFHOST_PROBE_MODULE);
    EXPECT_EQ(a.registerModule().callbackCalls, 2);

    Host silent(named(kProbeHostSilent));
    EffectInstance b(silent, CFHOST_PROBE_MODULE);
    EXPECT_TRUE(contains(thrownMessage([&] { b.registerModule(); }), "returned 3"));

    Host bad(named(kProbeHostBadEntry));
    EffectInstance c(bad, CFHOST_PROBE_MODULE);
    EXPECT_TRUE(contains(thrownMessage([&] { c.registerModule(); }), "NoSuchEntry"));
}

/* ---- lifecycle ----------------------------------------------------------------------------------- */

TEST(Lifecycle, GlobalSetupKeepsVersionFlagsAndGlobalDataUntilSetdown)
{
    Host host;
    EffectInstance fx(host, CFHOST_PROBE_MODULE);
    fx.registerModule();
    ASSERT_EQ(fx.globalSetup(), PF_Err_NONE);
    EXPECT_EQ(fx.effectVersion(), PF_VERSION(1, 2, 3, PF_Stage_BETA, 4));
    EXPECT_EQ(fx.outFlags(), PF_OutFlag_DEEP_COLOR_AWARE);
    EXPECT_EQ(fx.outFlags2(), PF_OutFlag2_SUPPORTS_THREADED_RENDERING);
    ASSERT_NE(fx.globalData(), nullptr);
    EXPECT_STREQ(static_cast<const char*>(*fx.globalData()), kProbeGlobalText);
    EXPECT_EQ(host.suiteUse(kPFHandleSuite, kPFHandleSuiteVersion1).released, 1);
    EXPECT_EQ(fx.send(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    EXPECT_EQ(fx.lastInData().global_data, fx.globalData()) << "the held global data comes with every command";
    ASSERT_EQ(fx.globalSetdown(), PF_Err_NONE);
    EXPECT_EQ(fx.globalData(), nullptr);
    host.checkNoLeaks();
}

TEST(Lifecycle, ParameterSetupCollectsDefinitionsAfterTheInputLayer)
{
    Probe p;
    ASSERT_EQ(p.fx.parameterCount(), static_cast<std::size_t>(PROBE_PARAM_COUNT));
    EXPECT_EQ(p.fx.reportedParamCount(), PROBE_PARAM_COUNT);
    EXPECT_EQ(p.fx.parameter(PROBE_INPUT).param_type, PF_Param_LAYER);
    EXPECT_EQ(p.fx.parameter(PROBE_ACTION).param_type, PF_Param_POPUP);
    EXPECT_EQ(p.fx.parameter(PROBE_ACTION).u.pd.num_choices, PROBE_ACTION_COUNT);
    EXPECT_EQ(p.fx.parameter(PROBE_GAIN).param_type, PF_Param_FLOAT_SLIDER);
    EXPECT_STREQ(p.fx.parameter(PROBE_TINT).name, "Tint");
    EXPECT_EQ(p.fx.findParameter("Keep Checkout"), PROBE_KEEP_CHECKOUT);
    EXPECT_FALSE(p.fx.findParameter("Nope").has_value());
    EXPECT_EQ(p.host.counters().addParamCalls, PROBE_PARAM_COUNT - 1);
    EXPECT_THROW(p.fx.parameter(PROBE_PARAM_COUNT), HostError);
}

TEST(Lifecycle, SettersCheckIndexTypeAndRange)
{
    Probe p;
    p.fx.setPopup(PROBE_ACTION, PROBE_FILL);
    p.fx.setSlider(PROBE_FAIL_PIXEL, 9);
    p.fx.setColor(PROBE_TINT, PF_Pixel{1, 2, 3, 4});
    p.fx.setCheckbox(PROBE_KEEP_CHECKOUT, true);
    p.fx.setFloat(PROBE_GAIN, 0.5);
    EXPECT_EQ(p.fx.parameter(PROBE_ACTION).u.pd.value, PROBE_FILL);
    EXPECT_EQ(p.fx.parameter(PROBE_FAIL_PIXEL).u.sd.value, 9);
    EXPECT_EQ(p.fx.parameter(PROBE_TINT).u.cd.value.blue, 4);
    EXPECT_EQ(p.fx.parameter(PROBE_KEEP_CHECKOUT).u.bd.value, 1);
    EXPECT_DOUBLE_EQ(p.fx.parameter(PROBE_GAIN).u.fs_d.value, 0.5);
    EXPECT_THROW(p.fx.setPopup(PROBE_ACTION, 0), HostError);
    EXPECT_THROW(p.fx.setPopup(PROBE_ACTION, PROBE_ACTION_COUNT + 1), HostError);
    EXPECT_TRUE(contains(thrownMessage([&] { p.fx.setFloat(PROBE_ACTION, 1.0); }), "popup, not a float slider"));
    EXPECT_THROW(p.fx.setCheckbox(PROBE_PARAM_COUNT, true), HostError);
    EXPECT_THROW(p.fx.setColor(-1, PF_Pixel{}), HostError);
}

TEST(Lifecycle, RejectedParameterFailsSetupAndKeepsNoDefinitions)
{
    Host host;
    EffectInstance fx(host, CFHOST_PROBE_MODULE);
    fx.registerModule();
    host.faults().rejectAddParam(3, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(fx.paramsSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(fx.parameterCount(), 1u);
    EXPECT_EQ(host.counters().addParamCalls, 3);
    ASSERT_EQ(fx.paramsSetup(), PF_Err_NONE);
    EXPECT_EQ(fx.parameterCount(), static_cast<std::size_t>(PROBE_PARAM_COUNT));
}

TEST(Lifecycle, AddingParametersOutsideParameterSetupIsRefused)
{
    Probe p;
    EXPECT_EQ(p.fx.send(PF_Cmd_DO_DIALOG), PF_Err_INVALID_CALLBACK);
    EXPECT_TRUE(contains(p.host.leakReport(), "add_param outside parameter setup"));
}

TEST(Lifecycle, InteractionCallbacksRefuseAnEffectRefFromNoCommand)
{
    Probe p;
    PF_InData in = p.fx.lastInData(); /* its command has finished */
    PF_ParamDef def{};
    EXPECT_EQ(in.inter.add_param(in.effect_ref, -1, &def), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(in.inter.checkout_param(nullptr, 1, 0, 100, 2400, &def), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(p.host.misuseLog().size(), 3u);
}

TEST(SequenceData, HostHoldsWhatSetupReturnsUntilSetdown)
{
    Probe p;
    ASSERT_EQ(p.fx.sequenceSetup(), PF_Err_NONE) << "a resize lost the block's contents";
    PF_Handle held = p.fx.sequenceData();
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(p.host.handleSize(held), kProbeSequenceSize);
    EXPECT_EQ(static_cast<const char*>(*held)[15], 16);
    ASSERT_EQ(p.fx.sequenceResetup(), PF_Err_NONE);
    EXPECT_EQ(p.fx.sequenceData(), held);
    EXPECT_EQ(p.fx.lastInData().sequence_data, held);
    ASSERT_EQ(p.fx.sequenceSetdown(), PF_Err_NONE);
    EXPECT_EQ(p.fx.sequenceData(), nullptr);
    EXPECT_EQ(p.host.counters().liveHandles, 1) << "only the global data is left";
}

TEST(SequenceData, APresetBlockIsHandedInAndKeptWhenTheEffectDoesNotReplaceIt)
{
    Probe p;
    PF_Handle preset = p.fx.presetSequenceData(4192);
    ASSERT_EQ(p.fx.sequenceSetup(), PF_Err_NONE);
    EXPECT_EQ(p.fx.lastOutData().sequence_data, nullptr);
    EXPECT_EQ(p.fx.sequenceData(), preset);
    EXPECT_EQ(p.host.handleSize(preset), kProbeSequenceSize);
    p.fx.presetSequenceData(8); /* disposes the held block */
    p.fx.sequenceSetdown();
    EXPECT_EQ(p.host.counters().liveHandles, 1);
}

TEST(SequenceData, FailedAllocationReportsAndAResetupTriesAgain)
{
    Probe p;
    p.host.faults().failHandleAllocation(1);
    EXPECT_EQ(p.fx.sequenceSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_STREQ(p.fx.lastOutData().return_msg, "Out of memory");
    EXPECT_NE(p.fx.lastOutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_EQ(p.fx.sequenceData(), nullptr);
    ASSERT_EQ(p.fx.sequenceResetup(), PF_Err_NONE);
    EXPECT_NE(p.fx.sequenceData(), nullptr);
    p.fx.sequenceSetdown();
}

TEST(About, ReturnsTheTextTheEffectFormatsThroughTheAnsiSuite)
{
    Probe p;
    EXPECT_EQ(p.fx.about(), "Probe v1.2\r0.25");
    EXPECT_EQ(p.host.suiteUse(kPFANSISuite, 1).released, 1);
    p.host.faults().withholdSuite(kPFANSISuite);
    try {
        p.fx.about();
        FAIL() << "about without the ANSI suite succeeded";
    } catch (const EffectError& e) {
        EXPECT_EQ(e.code(), PF_Err_BAD_CALLBACK_PARAM);
    }
}

/* ---- rendering ----------------------------------------------------------------------------------- */

TEST(Render, InDataDescribesTheFrameAsARealHostWould)
{
    Probe p(options(kPremierePro, 13, 28));
    World in(12, 7), out(12, 7);
    const FrameTime t = FrameTime::ofFrame(-3, 29.97);
    EXPECT_EQ(t.current_time, -300);
    EXPECT_EQ(t.time_step, 100);
    EXPECT_EQ(t.time_scale, 2997u);
    CommandFrame f = p.fx.prepare(PF_Cmd_RENDER, &in, &out, t);
    EXPECT_EQ(f.paramStore.size(), static_cast<std::size_t>(PROBE_PARAM_COUNT));
    EXPECT_EQ(f.paramStore[0].u.ld.data, in.layer().data);
    EXPECT_EQ(f.output, &out.layer());
    EXPECT_EQ(f.in.appl_id, kPremierePro);
    EXPECT_EQ(f.in.width, 12);
    EXPECT_EQ(f.in.extent_hint.bottom, 7);
    EXPECT_EQ(f.in.num_params, PROBE_PARAM_COUNT);
    EXPECT_EQ(f.in.current_time, -300);
    EXPECT_EQ(f.in.time_scale, 2997u);
    ASSERT_EQ(p.fx.send(f), PF_Err_NONE);
    EXPECT_EQ(f.params[PROBE_PARAM_COUNT], nullptr);
    EXPECT_EQ(f.params[PROBE_ACTION], &f.paramStore[PROBE_ACTION]);
    EXPECT_NE(p.fx.lastInData().effect_ref, nullptr);
}

TEST(Render, EightAndSixteenBitWorldsGoThroughTheSuiteTheVersionSelects)
{
    struct Case {
        A_short major, minor;
        Depth depth;
        const char* suite;
        int32_t version;
    };
    for (const Case& c : {Case{13, 28, Depth::Eight, kPFIterate8Suite, 2}, Case{13, 26, Depth::Eight, kPFIterate8Suite, 1},
                          Case{13, 28, Depth::Sixteen, kPFIterate16Suite, 2},
                          Case{12, 30, Depth::Sixteen, kPFIterate16Suite, 1}}) {
        Probe p(options(kAfterEffects, c.major, c.minor));
        World in = gradient(23, 11, c.depth);
        World out(23, 11, c.depth);
        ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
        EXPECT_EQ(p.host.suiteUse(c.suite, c.version).acquired, 1) << c.suite << " " << c.version;
        EXPECT_EQ(p.host.suiteUse(c.suite, c.version).released, 1);
        for (A_long y = 0; y < 11; ++y) {
            for (A_long x = 0; x < 23; ++x) {
                if (c.depth == Depth::Eight) {
                    ASSERT_EQ(out.pixel8(x, y).red, 255 - in.pixel8(x, y).red);
                    ASSERT_EQ(out.pixel8(x, y).alpha, in.pixel8(x, y).alpha);
                } else {
                    ASSERT_EQ(out.pixel16(x, y).blue, PF_MAX_CHAN16 - in.pixel16(x, y).blue);
                }
            }
        }
        EXPECT_TRUE(out.paddingIntact());
    }
}

TEST(Render, UtilityIterateWritesCoordinatesInBothDepths)
{
    Probe p(options(kPremierePro, 13, 28, 3));
    p.fx.setPopup(PROBE_ACTION, PROBE_COORDINATES);
    World in(40, 30), out(40, 30);
    ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
    EXPECT_EQ(out.pixel8(39, 29).red, 39);
    EXPECT_EQ(out.pixel8(39, 29).green, 29);
    EXPECT_EQ(out.pixel8(5, 6).blue, 7);
    World in16(40, 30, Depth::Sixteen), out16(40, 30, Depth::Sixteen);
    ASSERT_EQ(p.fx.render(in16, out16), PF_Err_NONE);
    EXPECT_EQ(out16.pixel16(17, 21).red, 17);
    EXPECT_EQ(out16.pixel16(17, 21).alpha, PF_MAX_CHAN16);
    EXPECT_EQ(p.host.counters().iterations, 2);
    EXPECT_EQ(p.host.counters().suitesAcquired, 1) << "global setup's handle suite only";
}

TEST(Render, ConcurrentRendersMatchASingleRender)
{
    Probe p(options(kAfterEffects, 13, 28, 3));
    const World in = gradient(64, 48, Depth::Eight);
    World expected(64, 48);
    ASSERT_EQ(p.fx.render(in, expected), PF_Err_NONE);
    std::vector<World> outs;
    for (int i = 0; i < 4; ++i) {
        outs.emplace_back(64, 48, Depth::Eight, i);
    }
    std::vector<PF_Err> results(4, -1);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int frame = 0; frame < 3 && results[i] <= 0; ++frame) {
                results[i] = p.fx.render(in, outs[i], FrameTime::ofFrame(frame, 24.0));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i], PF_Err_NONE);
        EXPECT_TRUE(samePixels(outs[i], expected)) << "render " << i;
    }
    const SuiteUse use = p.host.suiteUse(kPFIterate8Suite, 2);
    EXPECT_EQ(use.acquired, 13);
    EXPECT_EQ(use.released, 13);
}

TEST(Render, PixelErrorsAndWithheldSuitesComeBackAsTheRenderResult)
{
    Probe p;
    World in(9, 9), out(9, 9);
    p.host.faults().withholdSuite(kPFIterate8Suite, 2);
    EXPECT_EQ(p.fx.render(in, out), PF_Err_BAD_CALLBACK_PARAM);
    p.host.faults().clear();
    p.fx.setPopup(PROBE_ACTION, PROBE_FAIL_AT);
    p.fx.setSlider(PROBE_FAIL_PIXEL, 6);
    EXPECT_EQ(p.fx.render(in, out), kProbePixelError);
    p.fx.setSlider(PROBE_FAIL_PIXEL, 9);
    EXPECT_EQ(p.fx.render(in, out), PF_Err_NONE);
    p.fx.globalSetdown();
    EXPECT_EQ(p.host.leakReport(), "");
}

TEST(Render, CancelReachesTheEffectThroughIterateProgressAndAbort)
{
    Probe p;
    World in(9, 9), out(9, 9);
    p.fx.setPopup(PROBE_ACTION, PROBE_POLL);
    ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
    const auto events = p.host.progressEvents();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[3].current, 4);
    EXPECT_EQ(events[3].total, 4);
    p.host.faults().requestAbort();
    EXPECT_EQ(p.fx.render(in, out), PF_Interrupt_CANCEL);
    p.fx.setPopup(PROBE_ACTION, PROBE_INVERT);
    EXPECT_EQ(p.fx.render(in, out), PF_Interrupt_CANCEL);
    EXPECT_EQ(p.host.counters().progressCalls, 5);
}

TEST(Render, FillWithATintAndAFailingFill)
{
    Probe p;
    p.fx.setPopup(PROBE_ACTION, PROBE_FILL);
    p.fx.setColor(PROBE_TINT, PF_Pixel{255, 1, 2, 3});
    World in(8, 4), out(8, 4);
    out.fill(PF_Pixel{9, 9, 9, 9});
    ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
    EXPECT_EQ(out.pixel8(3, 3).blue, 3);
    EXPECT_EQ(out.pixel8(4, 3).alpha, 0) << "the right half keeps the initial clear";
    p.host.faults().failFill(PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(p.fx.render(in, out), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST(Render, CheckoutGivesTheCurrentValueAndCountsWhatIsNotCheckedIn)
{
    Probe p;
    p.fx.setPopup(PROBE_ACTION, PROBE_CHECKOUT);
    p.fx.setFloat(PROBE_GAIN, 42.0);
    World in(2, 2), out(2, 2);
    ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
    EXPECT_EQ(out.pixel8(0, 0).red, 42);
    EXPECT_EQ(p.host.counters().outstandingCheckouts, 0);
    p.fx.setCheckbox(PROBE_KEEP_CHECKOUT, true);
    ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
    EXPECT_TRUE(contains(p.host.leakReport(), "1 parameter checkout(s) not checked in"));
    p.host.faults().failCheckout(PF_Err_INVALID_INDEX);
    EXPECT_EQ(p.fx.render(in, out), PF_Err_INVALID_INDEX);
    EXPECT_EQ(p.host.counters().outstandingCheckouts, 1);
}

TEST(Render, LeakedSuitesAndHandlesShowInTheLeakReport)
{
    Probe p;
    World in(2, 2), out(2, 2);
    p.fx.setPopup(PROBE_ACTION, PROBE_LEAK_SUITE);
    ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
    EXPECT_TRUE(contains(p.host.leakReport(), "\"PF ANSI Suite\" version 1 acquired 1 time(s), released 0"));
    p.fx.setPopup(PROBE_ACTION, PROBE_LEAK_HANDLE);
    const long before = p.host.counters().liveHandles;
    ASSERT_EQ(p.fx.render(in, out), PF_Err_NONE);
    EXPECT_EQ(p.host.counters().liveHandles, before + 1);
    EXPECT_THROW(p.host.checkNoLeaks(), HostError);
}

TEST(Keyframes, ValuesBetweenKeyframesAreHeldOrRunInAStraightLine)
{
    PF_ParamDef slider{};
    slider.param_type = PF_Param_FLOAT_SLIDER;
    slider.u.fs_d.value = 99.0;
    PF_ParamDef checkbox{};
    checkbox.param_type = PF_Param_CHECKBOX;
    checkbox.u.bd.value = 7;
    KeyframeList sliderKeys(2), checkboxKeys(2);
    sliderKeys[0].seconds = 1.0;
    sliderKeys[0].value.fs_d.value = 10.0;
    sliderKeys[1].seconds = 3.0;
    sliderKeys[1].value.fs_d.value = 30.0;
    checkboxKeys[0].seconds = 1.0;
    checkboxKeys[0].value.bd.value = 0;
    checkboxKeys[1].seconds = 3.0;
    checkboxKeys[1].value.bd.value = 1;
    struct Case {
        double seconds;
        double slider;
        A_long checkbox;
    };
    for (const Case c : {Case{0.0, 10.0, 0}, Case{1.0, 10.0, 0}, Case{2.5, 25.0, 0}, Case{3.0, 30.0, 1},
                         Case{9.0, 30.0, 1}}) {
        EXPECT_DOUBLE_EQ(valueAt(slider, sliderKeys, c.seconds).u.fs_d.value, c.slider) << c.seconds;
        EXPECT_EQ(valueAt(checkbox, checkboxKeys, c.seconds).u.bd.value, c.checkbox) << c.seconds;
    }
    EXPECT_EQ(valueAt(slider, KeyframeList{}, 2.0).u.fs_d.value, 99.0) << "no keyframes: the value itself";
}

} // namespace
