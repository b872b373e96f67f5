/* BenchFrames.cpp — the benchmarks' shared hosts, frames and parameter sets. */
#include "BenchFrames.h"

#include "Chaos.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace {

std::uint32_t mix(std::uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}

A_u_char channel(int value)
{
    return static_cast<A_u_char>(value & 0xFF);
}

PF_Pixel paintedPixel(A_long x, A_long y, A_long width, A_long height)
{
    const std::uint32_t noise = mix(static_cast<std::uint32_t>(x / 9) * 73856093u ^ static_cast<std::uint32_t>(y / 7) * 19349663u);
    const int across = static_cast<int>(x * 255 / (width > 1 ? width - 1 : 1));
    const int down = static_cast<int>(y * 255 / (height > 1 ? height - 1 : 1));
    const int stripes = ((x / 40 + y / 30) % 2) * 60;
    return PF_Pixel{255, channel((across + stripes) % 256), channel((down + static_cast<int>(noise & 63)) % 256),
                    channel(static_cast<int>((noise >> 8) & 0xFF))};
}

} // namespace

const char* paramSetName(ParamSet set)
{
    switch (set) {
    case ParamSet::Defaults: return "defaults";
    case ParamSet::NumbersChaos: return "numbers-chaos";
    case ParamSet::HighDetailLocked: return "highdetail-lock2.5";
    }
    return "?";
}

RenderInfo makeRecord(ParamSet set, const PF_LayerDef* input, ChaosValues& chaos)
{
    RenderInfo info{};
    info.preset = 0;
    info.patternSize = 3.0;
    info.horizontalDetail = 20.0;
    info.verticalDetail = 10.0;
    info.pixelColor = PF_Pixel{255, 255, 255, 255};
    info.backgroundColor = PF_Pixel{255, 0, 0, 0};
    info.chaosIntensity = 5.0;
    switch (set) {
    case ParamSet::Defaults:
        break;
    case ParamSet::NumbersChaos:
        info.preset = 2;
        info.chaosEnabled = 1;
        break;
    case ParamSet::HighDetailLocked:
        info.preset = 1;
        info.scaleLock = 1;
        info.patternSize = 2.5;
        break;
    }
    info.pixelColor16 = colour16(info.pixelColor);
    info.backgroundColor16 = colour16(info.backgroundColor);
    chaos.clear();
    if (info.chaosEnabled != 0) {
        fillChaosValues(chaos, info.chaosSeed, info.chaosSpeed, info.chaosIntensity, info.chaosBehavior, 0, 100);
    }
    info.chaosValues = &chaos;
    info.inputWorld = input;
    info.downsampleX = 1.0f;
    info.downsampleY = 1.0f;
    info.plan = nullptr;
    return info;
}

RenderInfo ringsWithPlan(const PF_LayerDef* input, ChaosValues& chaos, KernelPlan& plan, bool deep, PlanFor kernels)
{
    RenderInfo info = makeRecord(ParamSet::Defaults, input, chaos);
    info.preset = 7;
    buildKernelPlan(plan, info, deep, kFrameWidth, kFrameHeight, kernels);
    attachPlan(info, plan);
    return info;
}

PF_Err copyPixel8(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out)
{
    *out = *in;
    return PF_Err_NONE;
}

PF_Err copyPixel16(void*, A_long, A_long, PF_Pixel16* in, PF_Pixel16* out)
{
    *out = *in;
    return PF_Err_NONE;
}

cfhost::Host& benchHost(bool allCores)
{
    static cfhost::Host single([] {
        cfhost::HostOptions options;
        options.threads = 1;
        return options;
    }());
    static cfhost::Host all(cfhost::HostOptions{});
    return allCores ? all : single;
}

const char* threadLabel(bool allCores)
{
    return allCores ? "allcores" : "1thread";
}

const char* depthLabel(cfhost::Depth depth)
{
    return depth == cfhost::Depth::Eight ? "8bit" : "16bit";
}

cfhost::World& benchInput(cfhost::Depth depth, A_long width, A_long height)
{
    static std::mutex mutex;
    static std::map<std::tuple<int, A_long, A_long>, std::unique_ptr<cfhost::World>> frames;
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = frames[std::make_tuple(static_cast<int>(depth), width, height)];
    if (!slot) {
        slot = std::make_unique<cfhost::World>(width, height, depth);
        for (A_long y = 0; y < height; ++y) {
            for (A_long x = 0; x < width; ++x) {
                const PF_Pixel p = paintedPixel(x, y, width, height);
                if (depth == cfhost::Depth::Eight) {
                    slot->pixel8(x, y) = p;
                } else {
                    PF_Pixel16 wide = cfhost::to16(p);
                    const std::uint32_t low = mix(static_cast<std::uint32_t>(x) * 2654435761u + static_cast<std::uint32_t>(y));
                    wide.red = static_cast<A_u_short>(wide.red - (wide.red > 127 ? (low & 127) : 0));
                    wide.green = static_cast<A_u_short>(wide.green - (wide.green > 127 ? ((low >> 7) & 127) : 0));
                    slot->pixel16(x, y) = wide;
                }
            }
        }
    }
    return *slot;
}
