/* WindowsModuleTest.cpp — the built Crumbleforge.aex driven on Windows (under Wine here) by the Windows build
   of our host, as an application uses it: loaded with LoadLibrary, its property list read from the module's
   resources, registered, and sent every command it handles, with nothing left behind.
     windows_module_test PATH\TO\Crumbleforge.aex */
#include "Checks.h"
#include "ExpectedWindowsPropertyList.h"

#include "Crumbleforge_Identity.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/FourCC.h"
#include "cfhost/Host.h"
#include "cfhost/HostError.h"
#include "cfhost/Module.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kWindowsSequenceDataSize = 4192;
constexpr std::size_t kLinuxSequenceDataSize = 1168;

std::string modulePath;

/* The module handle of a loaded cfhost::Module, found from one of its exports. */
HMODULE moduleHandle(const cfhost::Module& module)
{
    HMODULE handle = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(module.symbol("EffectMain")), &handle)) {
        throw cfhost::HostError("no module holds EffectMain");
    }
    return handle;
}

/* The bytes of a resource, or nothing when the module lacks it. */
Bytes resourceBytes(HMODULE module, HRSRC resource)
{
    if (resource == nullptr) {
        return Bytes();
    }
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        throw cfhost::HostError("the resource was found but cannot be loaded");
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    return Bytes(bytes, bytes + size);
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

std::string differenceAt(size_t at)
{
    return at == std::string::npos ? "none" : "byte " + std::to_string(at);
}

/* A host, the effect loaded from the module under test, registered and set up through parameter setup. */
struct Session {
    cfhost::Host host;
    cfhost::EffectInstance effect;

    explicit Session(cfhost::HostOptions options = cfhost::HostOptions{}) : host(options), effect(host, modulePath)
    {
        effect.registerModule();
        cfhost::check(effect.globalSetup(), "global setup");
        cfhost::check(effect.paramsSetup(), "parameter setup");
    }

    /* Sets everything down; what the host still holds for the effect, one line per finding. */
    std::string finish()
    {
        cfhost::check(effect.sequenceSetdown(), "sequence setdown");
        cfhost::check(effect.globalSetdown(), "global setdown");
        return host.leakReport();
    }
};

cfhost::World gradient(cfhost::Depth depth)
{
    cfhost::World world(29, 17, depth, depth == cfhost::Depth::Eight ? 3 : 10);
    for (A_long y = 0; y < world.height(); ++y) {
        for (A_long x = 0; x < world.width(); ++x) {
            const PF_Pixel p{255, static_cast<A_u_char>(x * 9), static_cast<A_u_char>(y * 15),
                             static_cast<A_u_char>((x + y) * 5)};
            if (depth == cfhost::Depth::Eight) {
                world.pixel8(x, y) = p;
            } else {
                world.pixel16(x, y) = cfhost::to16(p);
            }
        }
    }
    return world;
}

void loading(Checks& c)
{
    const cfhost::Module module(modulePath);
    c.that(module.symbol("EffectMain") != nullptr, "EffectMain is exported");
    c.that(module.symbol("PluginDataEntryFunction") != nullptr, "PluginDataEntryFunction is exported");

    const std::string missing = modulePath + ".missing";
    try {
        const cfhost::Module absent(missing);
        c.that(false, "loading a missing file throws");
    } catch (const cfhost::HostError& e) {
        const std::string message = e.what();
        c.that(message.find(missing) != std::string::npos, "the error names the path", message);
        c.that(message.size() > message.find(missing) + missing.size() + 3, "the error carries the loader's reason",
               message);
    }
}

void propertyList(Checks& c)
{
    const cfhost::Module module(modulePath);
    const HMODULE handle = moduleHandle(module);
    const Bytes expected = expectedWindowsResource();
    c.equal(expected.size(), size_t{306}, "size of the hand-written expectation");

    const Bytes exact = resourceBytes(
        handle, FindResourceExW(handle, L"PIPL", MAKEINTRESOURCEW(16000), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    c.equal(exact.size(), size_t{306}, "size of PIPL 16000 in US English (1033)");
    c.equal(differenceAt(firstDifference(exact, expected)), std::string("none"), "first byte that differs from the expectation");

    // A host asks without a language and takes what the module has.
    const Bytes any = resourceBytes(handle, FindResourceW(handle, MAKEINTRESOURCEW(16000), L"PIPL"));
    c.that(any == expected, "the same bytes are found without naming a language");

    std::vector<WORD> languages;
    EnumResourceLanguagesW(handle, L"PIPL", MAKEINTRESOURCEW(16000), collectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    c.that(languages == std::vector<WORD>{1033}, "PIPL 16000 exists in US English only",
           std::to_string(languages.size()) + " language(s)");
}

void registration(Checks& c)
{
    cfhost::Host host;
    cfhost::EffectInstance effect(host, modulePath);
    const cfhost::Registration& r = effect.registerModule();
    c.equal(r.callbackCalls, 1, "registration callbacks");
    c.equal(r.entryResult, A_Err{0}, "result of PluginDataEntryFunction");
    c.equal(r.name, std::string("Crumble_Forge"), "name");
    c.equal(r.matchName, std::string("ADBE Crumbleforge"), "match name");
    c.equal(r.category, std::string("BRISKANDUL"), "category");
    c.equal(r.entryPointName, std::string("EffectMain"), "entry point");
    c.equalHex(static_cast<A_u_long>(r.kind), 0x65464B54, "kind ('eFKT')");
    c.equal(r.kind, cfhost::kEffectKind, "kind as the host spells it");
    c.equal(r.apiVersionMajor, A_long{13}, "interface version, major");
    c.equal(r.apiVersionMinor, A_long{27}, "interface version, minor");
    c.equal(r.reservedInfo, A_long{8}, "reserved info");
    c.that(effect.registered(), "the main entry was found by the name it reported");
    c.equal(host.leakReport(), std::string(), "leak report");
}

void setupCommands(Checks& c)
{
    Session s;
    c.equalHex(s.effect.effectVersion(), 0x000B1E00, "version word (1.6.3, release)");
    c.equalHex(s.effect.effectVersion(), CRUMBLEFORGE_VERSION_WORD, "version word as the identity states it");
    c.equalHex(static_cast<A_u_long>(s.effect.outFlags()), static_cast<A_u_long>(CRUMBLEFORGE_OUT_FLAGS), "out_flags");
    c.equalHex(static_cast<A_u_long>(s.effect.outFlags2()), static_cast<A_u_long>(CRUMBLEFORGE_OUT_FLAGS2),
               "out_flags2");
    c.equalHex(static_cast<A_u_long>(s.effect.outFlags()), kExpectedOutFlags, "out_flags as the property list says");
    c.equalHex(static_cast<A_u_long>(s.effect.outFlags2()), kExpectedOutFlags2, "out_flags2 as the property list says");

    c.equal(s.effect.reportedParamCount(), A_long{23}, "num_params after parameter setup");
    c.equal(s.effect.parameterCount(), size_t{23}, "input layer and added parameters");
    const auto presets = s.effect.findParameter("Presets");
    if (c.that(presets.has_value(), "a parameter named Presets")) {
        c.equal(*presets, PF_ParamIndex{1}, "position of Presets");
        c.equal(s.effect.parameter(*presets).u.pd.num_choices, A_short{10}, "preset choices");
    }
    const auto behaviour = s.effect.findParameter("Chaos Behavior");
    if (c.that(behaviour.has_value(), "a parameter named Chaos Behavior")) {
        c.equal(s.effect.parameter(*behaviour).u.pd.num_choices, A_short{3}, "chaos behaviour choices");
    }
    c.equal(s.finish(), std::string(), "leak report");
}

void dynamicFlags(Checks& c)
{
    // The effect checks two parameters out through the host's interaction callbacks to answer.
    Session s;
    const PF_OutFlags held = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_NON_PARAM_VARY;
    const auto answer = [&](bool chaos, double speed) {
        s.effect.setCheckbox(*s.effect.findParameter("Enable Chaos"), chaos);
        s.effect.setFloat(*s.effect.findParameter("Animation Speed"), speed);
        cfhost::CommandFrame frame = s.effect.prepare(PF_Cmd_QUERY_DYNAMIC_FLAGS);
        frame.out.out_flags = held;
        c.equal(s.effect.send(frame), PF_Err_NONE, "dynamic flags query");
        return static_cast<A_u_long>(frame.out.out_flags);
    };
    c.equalHex(answer(true, 100), held, "animated chaos: the output varies with time alone");
    c.equalHex(answer(true, 0), PF_OutFlag_DEEP_COLOR_AWARE, "chaos standing still: frames may be cached");
    c.equalHex(answer(false, 100), PF_OutFlag_DEEP_COLOR_AWARE, "no chaos: frames may be cached");
    c.equal(s.host.counters().outstandingCheckouts, 0L, "parameters checked out and not back in");
    c.equal(s.finish(), std::string(), "leak report");
}

void sequenceData(Checks& c)
{
    {
        Session s;
        c.equal(s.effect.sequenceSetup(), PF_Err_NONE, "sequence setup");
        const PF_Handle block = s.effect.sequenceData();
        if (c.that(block != nullptr, "sequence setup leaves a block")) {
            c.equal(s.host.handleSize(block), kWindowsSequenceDataSize, "block size on Windows");
            const auto* bytes = static_cast<const unsigned char*>(*block);
            c.that(std::all_of(bytes, bytes + kWindowsSequenceDataSize, [](unsigned char b) { return b == 0; }),
                   "the block is zeroed");
        }
        c.equal(s.effect.lastOutData().flat_sdata_size, A_long{4192}, "flat_sdata_size");
        c.equal(s.effect.sequenceResetup(), PF_Err_NONE, "sequence resetup");
        c.that(s.effect.sequenceData() == block, "resetup keeps the block");
        c.equal(s.finish(), std::string(), "leak report after setdown");
    }
    {
        // A project saved by the Linux build carries a smaller block.
        Session s;
        const PF_Handle saved = s.effect.presetSequenceData(kLinuxSequenceDataSize);
        std::memset(*saved, 0x3C, kLinuxSequenceDataSize);
        c.equal(s.effect.sequenceSetup(), PF_Err_NONE, "sequence setup with a Linux block");
        const PF_Handle block = s.effect.sequenceData();
        if (c.that(block != nullptr, "the block is kept")) {
            c.equal(s.host.handleSize(block), kWindowsSequenceDataSize, "the block is brought to the Windows size");
            const auto* bytes = static_cast<const unsigned char*>(*block);
            c.that(std::all_of(bytes, bytes + kLinuxSequenceDataSize, [](unsigned char b) { return b == 0x3C; }),
                   "the saved bytes are kept");
        }
        c.equal(s.finish(), std::string(), "leak report after setdown");
    }
}

void about(Checks& c)
{
    cfhost::Host host;
    cfhost::EffectInstance effect(host, modulePath);
    effect.registerModule();
    const std::string text = effect.about();
    c.equal(text.substr(0, text.find('\r')), std::string("Crumble_Forge, v1.6.3"), "first line of the about text");
    c.that(text.find('\n') == std::string::npos, "line breaks are carriage returns only");
    c.equal(host.suiteUse(kPFANSISuite, kPFANSISuiteVersion1).released, 1L, "ANSI suite released");
    c.equal(host.leakReport(), std::string(), "leak report");
}

void rendering(Checks& c)
{
    for (const cfhost::Depth depth : {cfhost::Depth::Eight, cfhost::Depth::Sixteen}) {
        const std::string at = depth == cfhost::Depth::Eight ? " (8 bit)" : " (16 bit)";
        const cfhost::World input = gradient(depth);
        const cfhost::World untouched = input.clone();

        // Every frame of a short chaos animation, once on one thread and once on four.
        std::vector<cfhost::World> frames[2];
        for (const unsigned threads : {1u, 4u}) {
            cfhost::HostOptions options;
            options.threads = threads;
            Session s(options);
            c.equal(s.effect.sequenceSetup(), PF_Err_NONE, "sequence setup" + at);
            s.effect.setPopup(*s.effect.findParameter("Presets"), 7);
            s.effect.setFloat(*s.effect.findParameter("Horizontal Detail"), 9);
            s.effect.setCheckbox(*s.effect.findParameter("Enable Chaos"), true);
            s.effect.setFloat(*s.effect.findParameter("Animation Speed"), 100);
            s.effect.setFloat(*s.effect.findParameter("Pattern Size"), 2);
            for (A_long frame = 0; frame < 3; ++frame) {
                cfhost::World output(input.width(), input.height(), depth, 6);
                c.equal(s.effect.render(input, output, cfhost::FrameTime::ofFrame(frame, 24)), PF_Err_NONE,
                        "render" + at);
                c.that(output.paddingIntact(), "the output's row padding is untouched" + at);
                frames[threads == 1 ? 0 : 1].push_back(std::move(output));
            }
            const char* suite = depth == cfhost::Depth::Eight ? kPFIterate8Suite : kPFIterate16Suite;
            c.equal(s.host.suiteUse(suite, 2).acquired, 3L, "iteration suite version 2 acquired per frame" + at);
            c.equal(s.finish(), std::string(), "leak report" + at);
        }
        c.that(cfhost::samePixels(input, untouched) && input.paddingIntact(), "the input is not written" + at);
        for (size_t f = 0; f < frames[0].size(); ++f) {
            c.that(cfhost::samePixels(frames[0][f], frames[1][f]),
                   "frame " + std::to_string(f) + " is the same on one thread and on four" + at);
        }
        c.that(!cfhost::samePixels(frames[0][0], frames[0][1]), "chaos at full speed changes every frame" + at);
        c.that(!cfhost::samePixels(frames[0][0], cfhost::World(input.width(), input.height(), depth, 6)),
               "the frame is not left blank" + at);
    }
}

void errorsStayInsideTheModule(Checks& c)
{
    // Without the iteration suite the effect throws inside the module and must turn that into error 516:
    // the unwinding of the module's own statically linked runtime is exercised here.
    for (const cfhost::Depth depth : {cfhost::Depth::Eight, cfhost::Depth::Sixteen}) {
        Session s;
        c.equal(s.effect.sequenceSetup(), PF_Err_NONE, "sequence setup");
        s.host.faults().withholdSuite(depth == cfhost::Depth::Eight ? kPFIterate8Suite : kPFIterate16Suite);
        const cfhost::World input = gradient(depth);
        cfhost::World output(input.width(), input.height(), depth);
        c.equal(s.effect.render(input, output), PF_Err_BAD_CALLBACK_PARAM, "render without the iteration suite");
        c.equal(s.finish(), std::string(), "leak report");
    }
    {
        Session s;
        s.host.faults().failHandleAllocation(1);
        c.equal(s.effect.sequenceSetup(), PF_Err_INTERNAL_STRUCT_DAMAGED, "sequence setup when memory runs out");
        c.that(s.effect.sequenceData() == nullptr, "no block is kept");
        c.equal(s.finish(), std::string(), "leak report");
    }
}

void wholeSession(Checks& c)
{
    cfhost::Host host;
    {
        cfhost::EffectInstance effect(host, modulePath);
        effect.registerModule();
        c.equal(effect.globalSetup(), PF_Err_NONE, "global setup");
        c.equal(effect.paramsSetup(), PF_Err_NONE, "parameter setup");
        c.equal(effect.sequenceSetup(), PF_Err_NONE, "sequence setup");
        c.equal(effect.sequenceResetup(), PF_Err_NONE, "sequence resetup");
        effect.about();
        for (const cfhost::Depth depth : {cfhost::Depth::Eight, cfhost::Depth::Sixteen}) {
            const cfhost::World input = gradient(depth);
            cfhost::World output(input.width(), input.height(), depth);
            c.equal(effect.render(input, output), PF_Err_NONE, "render");
        }
        c.equal(effect.sequenceSetdown(), PF_Err_NONE, "sequence setdown");
        c.equal(effect.globalSetdown(), PF_Err_NONE, "global setdown");
    }
    const cfhost::Counters counters = host.counters();
    c.equal(counters.suitesAcquired, counters.suitesReleased, "suites released as often as acquired");
    c.equal(counters.liveHandles, 0L, "live handles");
    c.that(host.misuseLog().empty(), "the host refused no call");
    c.equal(host.leakReport(), std::string(), "leak report");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: windows_module_test MODULE.aex\n");
        return 2;
    }
    modulePath = argv[1];

    Checks c;
    c.group("the module loads through LoadLibrary and exports its two entries", loading);
    c.group("the PIPL resource is the expected 306 bytes", propertyList);
    c.group("registration reports the effect's identity", registration);
    c.group("global and parameter setup declare version, flags and parameters", setupCommands);
    c.group("the sequence block has the Windows size and is disposed at setdown", sequenceData);
    c.group("the about text names effect and version", about);
    c.group("the dynamic flags say when chaos animates", dynamicFlags);
    c.group("frames render alike on one thread and on several", rendering);
    c.group("errors inside the module come back as error codes", errorsStayInsideTheModule);
    c.group("a whole session leaves nothing behind", wholeSession);
    return c.finish();
}
