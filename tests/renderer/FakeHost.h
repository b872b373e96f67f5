/* FakeHost.h — just enough of a host, in process, to drive the render command: the basic suite with the
   two iteration suites in both versions, fill and iterate utilities, a parameter array and two worlds. It
   records what the effect asked for; tests can withhold the iteration suites, fail fill, or refuse areas. */
#pragma once

#include "Crumbleforge.h"
#include "RenderInfo.h"
#include "TestWorlds.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

struct FakeHost;
inline FakeHost*& currentHost()
{
    static FakeHost* host = nullptr; // the host's C callbacks carry no context of their own
    return host;
}

struct FakeHost {
    // What the effect did.
    std::vector<std::string> events; // "fill", "acquire <name> <version>", "iterate8 v2", ...
    int acquired = 0;
    int released = 0;
    RenderInfo record{};        // copy of the refcon the iterate call received
    ChaosValues recordChaos;    // copy of the chaos values it pointed at
    bool recordChaosPointerSet = false;
    PF_IteratePixel8Func pixelFn8 = nullptr;
    PF_IteratePixel16Func pixelFn16 = nullptr;
    A_long progressBase = -1, progressFinal = -1;
    bool areaGiven = false; // the last iterate call's area, when it had one
    PF_Rect area{};
    PF_EffectWorld* src = nullptr;
    PF_EffectWorld* dst = nullptr;

    // How the host behaves.
    bool withholdIteration = false;
    PF_Err fillResult = PF_Err_NONE;
    PF_Err iterateResult = PF_Err_NONE;
    PF_Err areaResult = PF_Err_NONE; // not none: iterate calls with an area return it and draw nothing

    SPBasicSuite basic{};
    PF_UtilCallbacks utils{};
    PF_Iterate8Suite1 iterate8v1{}, iterate8v2{};
    PF_Iterate16Suite1 iterate16v1{}, iterate16v2{};
    PF_InData in_data{};
    PF_OutData out_data{};
    PF_ParamDef defs[PARAM_COUNT]{};
    PF_ParamDef* params[PARAM_COUNT]{};
    World8 input8, output8;
    World16 input16, output16;

    FakeHost() : input8(6, 4), output8(6, 4), input16(6, 4), output16(6, 4)
    {
        currentHost() = this;
        basic.AcquireSuite = &acquireSuite;
        basic.ReleaseSuite = &releaseSuite;
        utils.fill = &fill;
        utils.iterate = &iterate8<0>;
        iterate8v1.iterate = &iterate8<1>;
        iterate8v2.iterate = &iterate8<2>;
        iterate16v1.iterate = &iterate16<1>;
        iterate16v2.iterate = &iterate16<2>;
        in_data.utils = &utils;
        in_data.pica_basicP = &basic;
        in_data.appl_id = 'F' << 24 | 'X' << 16 | 'T' << 8 | 'C';
        in_data.version = PF_SpecVersion{13, 28};
        in_data.num_params = PARAM_COUNT;
        in_data.time_step = 100;
        in_data.current_time = 0;
        for (int i = 0; i < PARAM_COUNT; ++i) {
            params[i] = &defs[i];
        }
        // The parameters' defaults, with "Rings".
        defs[PARAM_PRESETS].u.pd.value = 7;
        defs[PARAM_PATTERN_SIZE].u.fs_d.value = 3;
        defs[PARAM_HORIZONTAL_DETAIL].u.fs_d.value = 20;
        defs[PARAM_VERTICAL_DETAIL].u.fs_d.value = 10;
        defs[PARAM_PIXEL_COLOR].u.cd.value = PF_Pixel{255, 255, 255, 255};
        defs[PARAM_BACKGROUND_COLOR].u.cd.value = PF_Pixel{255, 0, 0, 0};
        defs[PARAM_INTENSITY].u.fs_d.value = 5;
        useDepth(false);
    }
    ~FakeHost() { currentHost() = nullptr; }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    PF_EffectWorld* output = nullptr;

    void useDepth(bool deep)
    {
        defs[PARAM_INPUT].u.ld = deep ? input16.def : input8.def;
        output = deep ? &output16.def : &output8.def;
    }

    PF_Err render() { return Render(&in_data, &out_data, params, output); }

    static SPErr acquireSuite(const char* name, int32 version, const void** suite)
    {
        FakeHost& h = *currentHost();
        h.events.push_back("acquire " + std::string(name) + " " + std::to_string(version));
        const bool is8 = std::strcmp(name, kPFIterate8Suite) == 0;
        const bool is16 = std::strcmp(name, kPFIterate16Suite) == 0;
        if (h.withholdIteration || !(is8 || is16) || (version != 1 && version != 2)) {
            *suite = nullptr;
            return 0x21494D50; // '!IMP'
        }
        *suite = is8 ? static_cast<const void*>(version == 1 ? &h.iterate8v1 : &h.iterate8v2)
                     : static_cast<const void*>(version == 1 ? &h.iterate16v1 : &h.iterate16v2);
        ++h.acquired;
        return kSPNoError;
    }

    static SPErr releaseSuite(const char* name, int32 version)
    {
        FakeHost& h = *currentHost();
        h.events.push_back("release " + std::string(name) + " " + std::to_string(version));
        ++h.released;
        return kSPNoError;
    }

    static PF_Err fill(PF_ProgPtr, const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world)
    {
        FakeHost& h = *currentHost();
        h.events.push_back(colour == nullptr && rect == nullptr ? "fill" : "fill with colour or area");
        const int pixelSize = (world->world_flags & PF_WorldFlag_DEEP) != 0 ? 8 : 4;
        char* bytes = reinterpret_cast<char*>(world->data);
        for (int y = 0; y < world->height; ++y) {
            std::memset(bytes + y * world->rowbytes, 0, static_cast<std::size_t>(world->width * pixelSize));
        }
        return h.fillResult;
    }

    static PF_Rect clipped(const PF_Rect* a, const PF_EffectWorld* d)
    {
        PF_Rect r{0, 0, d->width, d->height};
        if (a != nullptr) {
            r = PF_Rect{std::max(r.left, a->left), std::max(r.top, a->top), std::min(r.right, a->right),
                        std::min(r.bottom, a->bottom)};
        }
        return r;
    }

    void note(const char* what, A_long base, A_long final, PF_EffectWorld* s, const PF_Rect* a, void* refcon,
              PF_EffectWorld* d)
    {
        events.push_back(what);
        progressBase = base;
        progressFinal = final;
        src = s;
        areaGiven = a != nullptr;
        area = a != nullptr ? *a : PF_Rect{};
        dst = d;
        record = *static_cast<const RenderInfo*>(refcon);
        recordChaosPointerSet = record.chaosValues != nullptr;
        if (recordChaosPointerSet) {
            recordChaos = *record.chaosValues;
        }
    }

    template <int version>
    static PF_Err iterate8(PF_InData*, A_long base, A_long final, PF_EffectWorld* s, const PF_Rect* a, void* refcon,
                           PF_IteratePixel8Func fn, PF_EffectWorld* d)
    {
        FakeHost& h = *currentHost();
        h.note(version == 0 ? "utils iterate" : (version == 1 ? "iterate8 v1" : "iterate8 v2"), base, final, s, a,
               refcon, d);
        h.pixelFn8 = fn;
        if (a != nullptr && h.areaResult != PF_Err_NONE) {
            return h.areaResult;
        }
        if ((d->world_flags & PF_WorldFlag_DEEP) == 0) {
            const PF_Rect r = clipped(a, d);
            for (A_long y = r.top; y < r.bottom; ++y) {
                for (A_long x = r.left; x < r.right; ++x) {
                    fn(refcon, x, y, &h.input8.at(x, y), &h.output8.at(x, y));
                }
            }
        }
        return h.iterateResult;
    }

    template <int version>
    static PF_Err iterate16(PF_InData*, A_long base, A_long final, PF_EffectWorld* s, const PF_Rect* a, void* refcon,
                            PF_IteratePixel16Func fn, PF_EffectWorld* d)
    {
        FakeHost& h = *currentHost();
        h.note(version == 1 ? "iterate16 v1" : "iterate16 v2", base, final, s, a, refcon, d);
        h.pixelFn16 = fn;
        if (a != nullptr && h.areaResult != PF_Err_NONE) {
            return h.areaResult;
        }
        const PF_Rect r = clipped(a, d);
        for (A_long y = r.top; y < r.bottom; ++y) {
            for (A_long x = r.left; x < r.right; ++x) {
                fn(refcon, x, y, &h.input16.at(x, y), &h.output16.at(x, y));
            }
        }
        return h.iterateResult;
    }
};
