/* BenchMain.cpp — runs the benchmarks, then prints the ratios the performance goals are stated in, all
   taken from this one run: the whole render against the per-pixel copy floor and a memcpy (medians of the
   paired rounds), the per-pixel kernel against the floor and the kernels as first written, all cores
   against one thread, rows through iterate_generic against iterate, and the 4K render against the floor's
   full render. */
#include "BenchFrames.h"
#include "BenchRegistry.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

/* The console report, plus the wall time per iteration of every benchmark by name (the median when
   repetitions are asked for). */
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0) {
                continue;
            }
            const std::string name = run.run_name.function_name;
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") {
                    medians_[name] = seconds;
                    keepCounters(name, run);
                }
            } else if (medians_.count(name) == 0) {
                seconds_[name] = seconds;
                keepCounters(name, run);
            }
        }
    }

    /* Seconds per iteration, or 0 when the benchmark did not run. */
    double seconds(const std::string& name) const
    {
        const auto median = medians_.find(name);
        if (median != medians_.end()) {
            return median->second;
        }
        const auto single = seconds_.find(name);
        return single != seconds_.end() ? single->second : 0.0;
    }

    /* A counter of a benchmark (its median with repetitions), or 0. */
    double counter(const std::string& name, const std::string& counterName) const
    {
        const auto found = counters_.find(name + "#" + counterName);
        return found != counters_.end() ? found->second : 0.0;
    }

private:
    void keepCounters(const std::string& name, const Run& run)
    {
        for (const auto& [counterName, value] : run.counters) {
            counters_[name + "#" + counterName] = value.value;
        }
    }

    std::map<std::string, double> counters_;
    std::map<std::string, double> seconds_;
    std::map<std::string, double> medians_;
};

struct Ratio {
    std::string what;
    double value; // 0: not measured in this run
    double goal;  // 0: none
    bool atMost;  // goal is an upper bound (else a lower bound)
};

void printRatios(const std::vector<Ratio>& ratios)
{
    std::printf("\n%-58s %8s %8s  %s\n", "ratio", "value", "goal", "");
    for (const Ratio& r : ratios) {
        if (r.value <= 0.0) {
            continue;
        }
        if (r.goal <= 0.0) {
            std::printf("%-58s %8.2f %8s\n", r.what.c_str(), r.value, "");
            continue;
        }
        const bool met = r.atMost ? r.value <= r.goal : r.value >= r.goal;
        std::printf("%-58s %8.2f %s%6.2f  %s\n", r.what.c_str(), r.value, r.atMost ? "<=" : ">=", r.goal,
                    met ? "met" : "NOT MET");
    }
}

double quotient(double a, double b)
{
    return a > 0.0 && b > 0.0 ? a / b : 0.0;
}

void summarize(const SummaryReporter& report)
{
    std::vector<Ratio> ratios;
    for (const char* depth : {"8bit", "16bit"}) {
        const std::string d = depth;
        const double kernelGoal = 1.8;
        for (const bool all : {false, true}) {
            const std::string t = threadLabel(all);
            const double floor = report.seconds("floor/" + d + "/" + t);
            for (const ParamSet set : kParamSets) {
                const std::string p = paramSetName(set);
                const double kernel = report.seconds("kernel/" + d + "/" + p + "/" + t);
                const double baseline = report.seconds("baseline/" + d + "/" + p + "/" + t);
                const bool goalCase = !all && set == ParamSet::Defaults;
                ratios.push_back({"kernel / floor        " + d + " " + p + " " + t, quotient(kernel, floor),
                                  goalCase ? kernelGoal : 0.0, true});
                ratios.push_back({"baseline / kernel     " + d + " " + p + " " + t, quotient(baseline, kernel),
                                  4.0, false});
            }
        }
        ratios.push_back({"kernel / floor        " + d + " rings, alternated, wall time",
                          report.counter("alternate/" + d + "/rings/1thread", "ratio"), 1.8, true});
        ratios.push_back({"kernel / floor        " + d + " rings, alternated, thread time",
                          report.counter("alternate/" + d + "/rings/1thread", "cpu_ratio"), 1.8, true});
        ratios.push_back({"kernel / memcpy       " + d + " defaults 1thread",
                          quotient(report.seconds("kernel/" + d + "/defaults/1thread"), report.seconds("memcpy/" + d)),
                          0.0, true});
        for (const ParamSet set : kParamSets) {
            const std::string p = paramSetName(set);
            ratios.push_back({"1thread / allcores    kernel " + d + " " + p,
                              quotient(report.seconds("kernel/" + d + "/" + p + "/1thread"),
                                       report.seconds("kernel/" + d + "/" + p + "/allcores")),
                              1.8, false});
        }
        ratios.push_back({"1thread / allcores    floor " + d,
                          quotient(report.seconds("floor/" + d + "/1thread"), report.seconds("floor/" + d + "/allcores")),
                          0.0, false});
    }
    for (const char* depth : {"8bit", "16bit"}) {
        for (const bool all : {false, true}) {
            const std::string t = threadLabel(all);
            for (const std::string& set : renderSetNames()) {
                const std::string name = std::string("render/") + depth + "/" + set + "/" + t;
                ratios.push_back({"render / floor        " + std::string(depth) + " " + set + " " + t,
                                  report.counter(name, "vs_floor"), 0.4, true});
                ratios.push_back({"render / memcpy       " + std::string(depth) + " " + set + " " + t,
                                  report.counter(name, "vs_memcpy"), 3.0, true});
            }
            ratios.push_back({"generic / iterate     rows " + std::string(depth) + " rings " + t,
                              report.counter(std::string("rowways/") + depth + "/rings/" + t, "generic_vs_iterate"),
                              0.0, true});
        }
    }
    ratios.push_back({"1thread / allcores    machine (threads spinning alone)",
                      quotient(report.seconds("machine/spin/1thread"), report.seconds("machine/spin/allcores")), 0.0,
                      false});
    for (const bool all : {false, true}) {
        const std::string t = threadLabel(all);
        ratios.push_back({std::string("render / floor render 3840x2160 8bit ") + t,
                          quotient(report.seconds("render4k/8bit/module/" + t), report.seconds("render4k/8bit/floor/" + t)),
                          3.0, true});
    }
    printRatios(ratios);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    registerIterateBenchmarks();
    registerRenderBenchmarks();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    summarize(reporter);
    benchmark::Shutdown();
    return 0;
}
