/* BenchFrames.h — what the benchmarks share: the hosts (one iteration thread, all cores), the test frames,
   the three parameter sets as render records, and the names the summary looks results up by. */
#pragma once

#include "KernelPlan.h"
#include "RenderInfo.h"
#include "cfhost/Host.h"
#include "cfhost/World.h"

#include <string>

constexpr A_long kFrameWidth = 1920;
constexpr A_long kFrameHeight = 1080;
constexpr A_long kRenderWidth = 3840;
constexpr A_long kRenderHeight = 2160;

enum class ParamSet { Defaults, NumbersChaos, HighDetailLocked };
constexpr ParamSet kParamSets[] = {ParamSet::Defaults, ParamSet::NumbersChaos, ParamSet::HighDetailLocked};

/* "defaults", "numbers-chaos", "highdetail-lock2.5". */
const char* paramSetName(ParamSet set);

/* The parameters as the render driver reads them: the module's declared defaults, or "Numbers & Letters"
   with "Enable Chaos" on (the other chaos sliders at their defaults), or "High Detail" with scale lock and
   Pattern Size 2.5. chaos receives the frame's chaos values (frame 0) and must outlive the record. */
RenderInfo makeRecord(ParamSet set, const PF_LayerDef* input, ChaosValues& chaos);

/* "Rings", the module's defaults otherwise, with the frame's plan for the kernels named made in `plan` and
   attached. chaos and plan must outlive the record. */
RenderInfo ringsWithPlan(const PF_LayerDef* input, ChaosValues& chaos, KernelPlan& plan, bool deep, PlanFor kernels);

/* The copy floor's pixel functions: out = in, nothing else. */
PF_Err copyPixel8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
PF_Err copyPixel16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);

/* Hosts that live for the whole run: iteration on one thread, or on every core of the machine. */
cfhost::Host& benchHost(bool allCores);
/* "1thread" or "allcores". */
const char* threadLabel(bool allCores);

/* A frame with something in every block: gradients, stripes and noise over the whole tone range, opaque.
   The 16-bit frame is the 8-bit one widened, plus low-order noise. */
cfhost::World& benchInput(cfhost::Depth depth, A_long width = kFrameWidth, A_long height = kFrameHeight);

const char* depthLabel(cfhost::Depth depth); /* "8bit" or "16bit" */
