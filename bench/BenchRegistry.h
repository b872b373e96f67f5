/* BenchRegistry.h — the benchmark programs' parts, registered by the main program under the names its
   summary looks up: "<what>/<depth>/<parameters>/<threads>". */
#pragma once

void registerIterateBenchmarks();
void registerRenderBenchmarks();

#include <string>
#include <vector>

/* The parameter sets of the whole-render benchmarks ("render/<depth>/<set>/<threads>"). */
std::vector<std::string> renderSetNames();
