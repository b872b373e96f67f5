/* RenderBench.cpp — whole frames rendered through our host: the built module's render command (parameters,
   chaos, plan, fill and iterate) at 1920 x 1080, 8 and 16 bits, on one thread and on all cores, each pass
   paired with the per-pixel copy floor (a pixel function that only copies in to out, called once per pixel
   through the same host loop) and a memcpy of the input frame, in turn; and one 3840 x 2160 8-bit frame against
   the floor's full render (fill, then the copy). Also the row kernel through the host's iterate with a
   one-pixel-wide area against the same rows through iterate_generic. */
#include "BenchRegistry.h"

#include "BenchFrames.h"
#include "Crumbleforge.h"
#include "Kernel.h"
#include "KernelPlan.h"

#include "cfhost/EffectInstance.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using cfhost::Depth;
using cfhost::EffectInstance;
using cfhost::World;
using Clock = std::chrono::steady_clock;

PF_ParamIndex indexOf(const EffectInstance& effect, const char* label)
{
    const auto index = effect.findParameter(label);
    if (!index) {
        throw std::runtime_error(std::string("no parameter ") + label);
    }
    return *index;
}

/* Parameter sets of the module's render: its declared defaults, and looks that take other ways through the
   plan and the rows (records or samples per block, one or many cell sizes, what the input keeps). */
struct RenderSet {
    const char* name;
    std::function<void(EffectInstance&)> apply;
};

const std::vector<RenderSet>& renderSets()
{
    static const std::vector<RenderSet> sets = {
        {"defaults", [](EffectInstance&) {}},
        {"rings", [](EffectInstance& e) { e.setPopup(indexOf(e, "Presets"), 7); }},
        {"numbers-chaos",
         [](EffectInstance& e) {
             e.setPopup(indexOf(e, "Presets"), 2);
             e.setCheckbox(indexOf(e, "Enable Chaos"), true);
         }},
        {"highdetail-lock2.5",
         [](EffectInstance& e) {
             e.setPopup(indexOf(e, "Presets"), 1);
             e.setCheckbox(indexOf(e, "Enable Scale Lock"), true);
             e.setFloat(indexOf(e, "Pattern Size"), 2.5);
         }},
        {"dots-2x2-original-transparent",
         [](EffectInstance& e) {
             e.setPopup(indexOf(e, "Presets"), 4);
             e.setFloat(indexOf(e, "Horizontal Detail"), 2);
             e.setFloat(indexOf(e, "Vertical Detail"), 2);
             e.setFloat(indexOf(e, "Pattern Size"), 1);
             e.setCheckbox(indexOf(e, "Use Original Color"), true);
             e.setCheckbox(indexOf(e, "Transparent Background"), true);
         }},
    };
    return sets;
}

/* Registers the module and sends the set-up commands a host sends before rendering; false (and the
   benchmark skipped) when one fails. */
bool setUp(EffectInstance& effect, benchmark::State& state)
{
    effect.registerModule();
    if (effect.globalSetup() != PF_Err_NONE || effect.paramsSetup() != PF_Err_NONE ||
        effect.sequenceSetup() != PF_Err_NONE) {
        state.SkipWithError("the effect did not set up");
        return false;
    }
    return true;
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

/* Runs the passes of one round in turn, the first a different one each round, and keeps each pass's wall
   time. */
class Rounds {
public:
    explicit Rounds(std::size_t passes) : seconds_(passes) {}

    bool run(const std::vector<std::function<bool()>>& passes)
    {
        for (std::size_t k = 0; k < passes.size(); ++k) {
            const std::size_t which = (k + round_) % passes.size();
            const Clock::time_point start = Clock::now();
            if (!passes[which]()) {
                return false;
            }
            benchmark::ClobberMemory();
            seconds_[which].push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        ++round_;
        return true;
    }

    /* Median, smallest and largest of the rounds' ratios of pass a's time to pass b's. */
    void ratio(benchmark::State& state, const std::string& name, std::size_t a, std::size_t b) const
    {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < seconds_[a].size(); ++i) {
            ratios.push_back(seconds_[a][i] / seconds_[b][i]);
        }
        state.counters[name] = median(ratios);
        state.counters[name + "_min"] = ratios.empty() ? 0.0 : *std::min_element(ratios.begin(), ratios.end());
        state.counters[name + "_max"] = ratios.empty() ? 0.0 : *std::max_element(ratios.begin(), ratios.end());
    }

    /* The median of pass a's times in nanoseconds per pixel. */
    void nsPerPixel(benchmark::State& state, const std::string& name, std::size_t a, double pixels) const
    {
        state.counters[name] = median(seconds_[a]) * 1e9 / pixels;
    }

private:
    std::vector<std::vector<double>> seconds_;
    std::size_t round_ = 0;
};

/* The module's render of a 1080p frame, the copy floor and a memcpy, in turn. Counters: each one's median
   time per pixel, and the medians (with range) of the rounds' ratios render / floor and render / memcpy. */
void pairedRender(benchmark::State& state, Depth depth, const RenderSet& set, bool allCores)
{
    cfhost::Host& host = benchHost(allCores);
    EffectInstance effect(host, CRUMBLEFORGE_MODULE);
    if (!setUp(effect, state)) {
        return;
    }
    set.apply(effect);
    World& input = benchInput(depth);
    World output(kFrameWidth, kFrameHeight, depth);
    World copied(kFrameWidth, kFrameHeight, depth);
    PF_InData in = host.newInData();
    // The memcpy copies the input frame into the floor's output, so all three passes read the same memory.
    const std::size_t bytes = static_cast<std::size_t>(input.layer().rowbytes) * kFrameHeight;

    Rounds rounds(3);
    const std::vector<std::function<bool()>> passes = {
        [&] { return effect.render(input, output) == PF_Err_NONE; },
        [&] {
            const PF_Err err =
                depth == Depth::Eight
                    ? host.utilCallbacks()->iterate(&in, 0, kFrameHeight, &input.layer(), nullptr, nullptr, copyPixel8,
                                                    &copied.layer())
                    : host.utilCallbacks()->iterate16(&in, 0, kFrameHeight, &input.layer(), nullptr, nullptr,
                                                      copyPixel16, &copied.layer());
            return err == PF_Err_NONE;
        },
        [&] {
            std::memcpy(copied.layer().data, input.layer().data, bytes);
            benchmark::DoNotOptimize(copied.layer().data);
            return true;
        },
    };
    for (auto _ : state) {
        if (!rounds.run(passes)) {
            state.SkipWithError("a pass failed");
            break;
        }
        host.clearProgressEvents();
    }
    effect.sequenceSetdown();
    effect.globalSetdown();
    const double pixels = static_cast<double>(kFrameWidth) * kFrameHeight;
    rounds.nsPerPixel(state, "render_ns", 0, pixels);
    rounds.nsPerPixel(state, "floor_ns", 1, pixels);
    rounds.nsPerPixel(state, "memcpy_ns", 2, pixels);
    rounds.ratio(state, "vs_floor", 0, 1);
    rounds.ratio(state, "vs_memcpy", 0, 2);
    state.counters["threads"] = static_cast<double>(host.threadCount());
}

/* The rows of one 1080p frame ("Rings") drawn by the row kernel through iterate with an area one pixel
   wide, and through iterate_generic (a row per index), in turn. Counter: the median (with range) of the
   rounds' ratios generic / iterate. */
struct GenericRows {
    RenderInfo* info;
    PF_LayerDef* output;
    bool deep;
};

PF_Err genericRow(void* refcon, A_long, A_long i, A_long)
{
    const auto& rows = *static_cast<const GenericRows*>(refcon);
    auto* row = static_cast<unsigned char*>(static_cast<void*>(rows.output->data)) +
                static_cast<std::ptrdiff_t>(i) * rows.output->rowbytes;
    if (rows.deep) {
        return CrumbleforgeRow_16(rows.info, 0, i, nullptr, static_cast<PF_Pixel16*>(static_cast<void*>(row)));
    }
    return CrumbleforgeRow_8(rows.info, 0, i, nullptr, static_cast<PF_Pixel*>(static_cast<void*>(row)));
}

void rowWays(benchmark::State& state, Depth depth, bool allCores)
{
    cfhost::Host& host = benchHost(allCores);
    PF_InData in = host.newInData();
    World& input = benchInput(depth);
    World output(kFrameWidth, kFrameHeight, depth);
    const bool deep = depth == Depth::Sixteen;
    ChaosValues chaos;
    KernelPlan plan;
    RenderInfo info = ringsWithPlan(&input.layer(), chaos, plan, deep, PlanFor::Rows);
    const PF_Rect rowStarts{0, 0, 1, kFrameHeight};
    GenericRows generic{&info, &output.layer(), deep};

    Rounds rounds(2);
    const std::vector<std::function<bool()>> passes = {
        [&] {
            const PF_Err err = deep ? host.utilCallbacks()->iterate16(&in, 0, kFrameHeight, &input.layer(), &rowStarts,
                                                                      &info, CrumbleforgeRow_16, &output.layer())
                                    : host.utilCallbacks()->iterate(&in, 0, kFrameHeight, &input.layer(), &rowStarts,
                                                                    &info, CrumbleforgeRow_8, &output.layer());
            return err == PF_Err_NONE;
        },
        [&] { return host.utilCallbacks()->iterate_generic(kFrameHeight, &generic, genericRow) == PF_Err_NONE; },
    };
    for (auto _ : state) {
        if (!rounds.run(passes)) {
            state.SkipWithError("a pass failed");
            break;
        }
        host.clearProgressEvents();
    }
    const double pixels = static_cast<double>(kFrameWidth) * kFrameHeight;
    rounds.nsPerPixel(state, "iterate_ns", 0, pixels);
    rounds.nsPerPixel(state, "generic_ns", 1, pixels);
    rounds.ratio(state, "generic_vs_iterate", 1, 0);
    state.counters["threads"] = static_cast<double>(host.threadCount());
}

void moduleRender4k(benchmark::State& state, bool allCores)
{
    cfhost::Host& host = benchHost(allCores);
    EffectInstance effect(host, CRUMBLEFORGE_MODULE);
    if (!setUp(effect, state)) {
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

void floorRender4k(benchmark::State& state, bool allCores)
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

std::vector<std::string> renderSetNames()
{
    std::vector<std::string> names;
    for (const RenderSet& set : renderSets()) {
        names.emplace_back(set.name);
    }
    return names;
}

void registerRenderBenchmarks()
{
    for (const Depth depth : {Depth::Eight, Depth::Sixteen}) {
        const std::string d = depthLabel(depth);
        for (const bool all : {false, true}) {
            const std::string t = threadLabel(all);
            for (const RenderSet& set : renderSets()) {
                benchmark::RegisterBenchmark(("render/" + d + "/" + set.name + "/" + t).c_str(),
                                             [depth, &set, all](benchmark::State& s) { pairedRender(s, depth, set, all); })
                    ->UseRealTime()
                    ->MinTime(1.0)
                    ->Unit(benchmark::kMillisecond);
            }
            benchmark::RegisterBenchmark(("rowways/" + d + "/rings/" + t).c_str(),
                                         [depth, all](benchmark::State& s) { rowWays(s, depth, all); })
                ->UseRealTime()
                ->MinTime(1.0)
                ->Unit(benchmark::kMillisecond);
        }
    }
    for (const bool all : {false, true}) {
        const std::string t = threadLabel(all);
        benchmark::RegisterBenchmark(("render4k/8bit/module/" + t).c_str(),
                                     [=](benchmark::State& s) { moduleRender4k(s, all); })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("render4k/8bit/floor/" + t).c_str(),
                                     [=](benchmark::State& s) { floorRender4k(s, all); })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
}
