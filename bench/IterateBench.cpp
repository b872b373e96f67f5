/* IterateBench.cpp — pixels per second of one 1920 x 1080 frame through our host's iterate: the kernels
   (with the frame's plan), the kernels as first written, and the floor, a pixel function that only copies
   in to out; each on one thread and on all cores; and the kernel against the floor pass by pass. Also a
   plain memcpy of the frame (the memory bound) and the cost of making the frame's plan, for the pixel
   kernels and for the row kernels. */
#include "BenchRegistry.h"

#include "BaselineKernel.h"
#include "BenchFrames.h"
#include "Kernel.h"
#include "KernelPlan.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using cfhost::Depth;
using cfhost::World;

/* One depth's pixel functions and its iterate callback. */
struct Functions {
    PF_IteratePixel8Func eight = nullptr;
    PF_IteratePixel16Func sixteen = nullptr;
};

PF_Err iterateFrame(cfhost::Host& host, PF_InData& in, World& input, World& output, void* refcon,
                    const Functions& fn)
{
    if (output.depth() == Depth::Eight) {
        return host.utilCallbacks()->iterate(&in, 0, output.height(), &input.layer(), nullptr, refcon, fn.eight,
                                             &output.layer());
    }
    return host.utilCallbacks()->iterate16(&in, 0, output.height(), &input.layer(), nullptr, refcon, fn.sixteen,
                                           &output.layer());
}

void runFrames(benchmark::State& state, Depth depth, bool allCores, void* refcon, const Functions& fn)
{
    cfhost::Host& host = benchHost(allCores);
    PF_InData in = host.newInData();
    World& input = benchInput(depth);
    World output(kFrameWidth, kFrameHeight, depth);
    for (auto _ : state) {
        const PF_Err err = iterateFrame(host, in, input, output, refcon, fn);
        if (err != PF_Err_NONE) {
            state.SkipWithError("iterate failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    host.clearProgressEvents();
    state.SetItemsProcessed(state.iterations() * kFrameWidth * kFrameHeight);
    state.counters["threads"] = static_cast<double>(host.threadCount());
}

Functions kernels()
{
    return Functions{Crumbleforge_8, Crumbleforge_16};
}

Functions baselines()
{
    return Functions{BaselineCrumbleforge_8, BaselineCrumbleforge_16};
}

Functions copies()
{
    return Functions{copyPixel8, copyPixel16};
}

void kernelFrame(benchmark::State& state, Depth depth, ParamSet set, bool allCores)
{
    World& input = benchInput(depth);
    ChaosValues chaos;
    RenderInfo info = makeRecord(set, &input.layer(), chaos);
    KernelPlan plan;
    buildKernelPlan(plan, info, depth == Depth::Sixteen, kFrameWidth, kFrameHeight);
    attachPlan(info, plan);
    runFrames(state, depth, allCores, &info, kernels());
}

void baselineFrame(benchmark::State& state, Depth depth, ParamSet set, bool allCores)
{
    World& input = benchInput(depth);
    ChaosValues chaos;
    RenderInfo info = makeRecord(set, &input.layer(), chaos);
    runFrames(state, depth, allCores, &info, baselines());
}

void floorFrame(benchmark::State& state, Depth depth, bool allCores)
{
    runFrames(state, depth, allCores, nullptr, copies());
}

/* Processor time of the calling thread: on a machine shared with other work, time spent waiting for a core
   does not count. */
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

/* "Rings" (the module's defaults otherwise) against the floor, the two alternated pass by pass on one
   thread and each pass timed on its own, so that whatever else the machine does falls on both alike. The
   counter "ratio" is the kernel's total wall time over the floor's, "cpu_ratio" the same in processor time
   of the iterating thread (steadier while other programs compete for the cores). */
void alternateFrames(benchmark::State& state, Depth depth)
{
    using Clock = std::chrono::steady_clock;
    cfhost::Host& host = benchHost(false);
    PF_InData in = host.newInData();
    World& input = benchInput(depth);
    World output(kFrameWidth, kFrameHeight, depth);
    ChaosValues chaos;
    KernelPlan plan;
    RenderInfo info = ringsWithPlan(&input.layer(), chaos, plan, depth == Depth::Sixteen, PlanFor::Pixels);
    double floorSeconds = 0.0;
    double kernelSeconds = 0.0;
    double floorCpu = 0.0;
    double kernelCpu = 0.0;
    bool kernelFirst = false;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool kernel = (pass == 0) == kernelFirst;
            const Clock::time_point start = Clock::now();
            const double startCpu = threadSeconds();
            const PF_Err err = kernel ? iterateFrame(host, in, input, output, &info, kernels())
                                      : iterateFrame(host, in, input, output, nullptr, copies());
            benchmark::ClobberMemory();
            (kernel ? kernelCpu : floorCpu) += threadSeconds() - startCpu;
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            (kernel ? kernelSeconds : floorSeconds) += seconds;
            if (err != PF_Err_NONE) {
                state.SkipWithError("iterate failed");
                return;
            }
        }
        kernelFirst = !kernelFirst;
    }
    host.clearProgressEvents();
    const auto passes = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floorSeconds / passes * 1e3;
    state.counters["kernel_ms"] = kernelSeconds / passes * 1e3;
    state.counters["ratio"] = floorSeconds > 0.0 ? kernelSeconds / floorSeconds : 0.0;
    state.counters["cpu_ratio"] = floorCpu > 0.0 ? kernelCpu / floorCpu : 0.0;
}

void memcpyFrame(benchmark::State& state, Depth depth)
{
    const std::size_t bytes = static_cast<std::size_t>(kFrameWidth) * kFrameHeight *
                              (depth == Depth::Eight ? sizeof(PF_Pixel) : sizeof(PF_Pixel16));
    std::vector<unsigned char> from(bytes, 0x5A);
    std::vector<unsigned char> to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrameWidth * kFrameHeight);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

void planFrame(benchmark::State& state, Depth depth, ParamSet set, PlanFor kernels)
{
    World& input = benchInput(depth);
    ChaosValues chaos;
    const RenderInfo info = makeRecord(set, &input.layer(), chaos);
    for (auto _ : state) {
        KernelPlan plan;
        buildKernelPlan(plan, info, depth == Depth::Sixteen, kFrameWidth, kFrameHeight, kernels);
        benchmark::DoNotOptimize(plan.columnTable);
        benchmark::DoNotOptimize(plan.lines.data());
    }
}

/* What the machine gives at the moment: a fixed amount of arithmetic, on one thread or split over as many
   threads as the all-cores host iterates on. Shows how much two threads can gain while others use the
   machine too, for the scaling of the kernels to be read against. */
std::uint32_t spinWork(std::uint32_t seed, long steps)
{
    for (long i = 0; i < steps; ++i) {
        seed = seed * 1664525u + 1013904223u;
    }
    return seed;
}

void machineSpin(benchmark::State& state, bool allCores)
{
    constexpr long kSteps = 40000000;
    const unsigned threads = allCores ? benchHost(true).threadCount() : 1u;
    for (auto _ : state) {
        std::vector<std::uint32_t> results(threads, 0);
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t) {
            helpers.emplace_back([&results, t, threads] { results[t] = spinWork(t, kSteps / threads); });
        }
        results[0] = spinWork(0, kSteps / threads);
        for (std::thread& helper : helpers) {
            helper.join();
        }
        benchmark::DoNotOptimize(results.data());
    }
    state.counters["threads"] = static_cast<double>(threads);
}

} // namespace

void registerIterateBenchmarks()
{
    for (const bool all : {false, true}) {
        benchmark::RegisterBenchmark((std::string("machine/spin/") + threadLabel(all)).c_str(),
                                     [=](benchmark::State& s) { machineSpin(s, all); })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    for (const Depth depth : {Depth::Eight, Depth::Sixteen}) {
        const std::string d = depthLabel(depth);
        for (const bool all : {false, true}) {
            const std::string t = threadLabel(all);
            benchmark::RegisterBenchmark(("floor/" + d + "/" + t).c_str(),
                                         [=](benchmark::State& s) { floorFrame(s, depth, all); })
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            for (const ParamSet set : kParamSets) {
                const std::string p = paramSetName(set);
                benchmark::RegisterBenchmark(("kernel/" + d + "/" + p + "/" + t).c_str(),
                                             [=](benchmark::State& s) { kernelFrame(s, depth, set, all); })
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
                benchmark::RegisterBenchmark(("baseline/" + d + "/" + p + "/" + t).c_str(),
                                             [=](benchmark::State& s) { baselineFrame(s, depth, set, all); })
                    ->UseRealTime()
                    ->Unit(benchmark::kMillisecond);
            }
        }
        benchmark::RegisterBenchmark(("alternate/" + d + "/rings/1thread").c_str(),
                                     [=](benchmark::State& s) { alternateFrames(s, depth); })
            ->UseRealTime()
            ->MinTime(2.0)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("memcpy/" + d).c_str(), [=](benchmark::State& s) { memcpyFrame(s, depth); })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        for (const ParamSet set : kParamSets) {
            benchmark::RegisterBenchmark(("plan/" + d + "/" + paramSetName(set)).c_str(),
                                         [=](benchmark::State& s) { planFrame(s, depth, set, PlanFor::Pixels); })
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("planrows/" + d + "/" + paramSetName(set)).c_str(),
                                         [=](benchmark::State& s) { planFrame(s, depth, set, PlanFor::Rows); })
                ->Unit(benchmark::kMicrosecond);
        }
    }
}
