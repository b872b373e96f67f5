/* RenderBench.cpp — one 3840 x 2160 8-bit frame rendered whole through our host: the built module's render
   command (parameters, chaos, plan, fill and iterate) against the floor's full render, the host's fill of
   the output followed by an iterate that only copies in to out. */
#include "BenchRegistry.h"

#include "BenchFrames.h"
#include "Crumbleforge.h"

#include "cfhost/EffectInstance.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using cfhost::Depth;
using cfhost::World;

PF_Err copyPixel8(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out)
{
    *out = *in;
    return PF_Err_NONE;
}

void moduleRender(benchmark::State& state, bool allCores)
{
    cfhost::Host& host = benchHost(allCores);
    cfhost::EffectInstance effect(host, CRUMBLEFORGE_MODULE);
    effect.registerModule();
    if (effect.globalSetup() != PF_Err_NONE || effect.paramsSetup() != PF_Err_NONE ||
        effect.sequenceSetup() != PF_Err_NONE) {
        state.SkipWithError("the effect did not set up");
        return;
    }
    const World& input = benchInput(Depth::Eight, kRenderWidth, kRenderHeight);
    World output(kRenderWidth, kRenderHeight, Depth::Eight);
    for (auto _ : state) {
        if (effect.render(input, output) != PF_Err_NONE) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::ClobberMemory();
        host.clearProgressEvents();
    }
    effect.sequenceSetdown();
    effect.globalSetdown();
    state.SetItemsProcessed(state.iterations() * kRenderWidth * kRenderHeight);
    state.counters["threads"] = static_cast<double>(host.threadCount());
}

void floorRender(benchmark::State& state, bool allCores)
{
    cfhost::Host& host = benchHost(allCores);
    PF_InData in = host.newInData();
    World& input = benchInput(Depth::Eight, kRenderWidth, kRenderHeight);
    World output(kRenderWidth, kRenderHeight, Depth::Eight);
    for (auto _ : state) {
        if (host.utilCallbacks()->fill(nullptr, nullptr, nullptr, &output.layer()) != PF_Err_NONE ||
            host.utilCallbacks()->iterate(&in, 0, kRenderHeight, &input.layer(), nullptr, nullptr, copyPixel8,
                                          &output.layer()) != PF_Err_NONE) {
            state.SkipWithError("fill or iterate failed");
            break;
        }
        benchmark::ClobberMemory();
        host.clearProgressEvents();
    }
    state.SetItemsProcessed(state.iterations() * kRenderWidth * kRenderHeight);
    state.counters["threads"] = static_cast<double>(host.threadCount());
}

} // namespace

void registerRenderBenchmarks()
{
    for (const bool all : {false, true}) {
        const std::string t = threadLabel(all);
        benchmark::RegisterBenchmark(("render4k/8bit/module/" + t).c_str(),
                                     [=](benchmark::State& s) { moduleRender(s, all); })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("render4k/8bit/floor/" + t).c_str(),
                                     [=](benchmark::State& s) { floorRender(s, all); })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
}
