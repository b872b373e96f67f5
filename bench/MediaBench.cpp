/* MediaBench.cpp — the render command against ffmpeg on the same generated 1080p clip, in one run and
   alternately: decode → RGBA → effect (ffmpeg: pixelize) → the same encoder with the same settings. Each
   iteration runs both, in turns; the counters give both times, the median of their ratios and each one's peak
   memory. A last case renders a 10 s and a 60 s clip to show that the command's memory stays flat. */
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/Options.h"
#include "commands/RenderCommand.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    double seconds = 0;
    double peakMiB = 0;
};

/* Runs `body` in a child process and measures its wall time and peak resident memory. */
Outcome inChild(const std::function<int()>& body)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("bench: fork");
        std::exit(1);
    }
    if (pid == 0) {
        int code = 1;
        try {
            code = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench child: %s\n", e.what());
        }
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench: a run failed (status %d)\n", status);
        std::exit(1);
    }
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

Outcome runProgram(std::vector<std::string> args)
{
    return inChild([&] {
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        return 127;
    });
}

const fs::path& workDir()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("crumbleforge-media-bench-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

/* A 1080p H.264 clip of moving test patterns, made once per length. */
std::string clip(int seconds)
{
    const fs::path file = workDir() / ("clip" + std::to_string(seconds) + ".mp4");
    if (!fs::exists(file)) {
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=24",
                    "-t", std::to_string(seconds), "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
                    file.string()});
    }
    return file.string();
}

void clearOutputs()
{
    for (const auto& e : fs::directory_iterator(workDir())) {
        if (e.path().filename().string().rfind("out", 0) == 0) {
            fs::remove(e.path());
        }
    }
}

Outcome ours(const std::string& in, const std::string& out, const std::function<void(cfcli::Options&)>& adjust)
{
    return inChild([&] {
        cfcli::Options o;
        o.command = cfcli::Command::Render;
        o.positional = {in, out};
        o.plugin = CRUMBLEFORGE_MODULE;
        o.quiet = true;
        /* pixelize's picture as near as the effect draws it: solid 16 × 16 blocks on the same grid, each in its
           own colour, dark ones too (full brightness); the effect takes one sample per block where pixelize
           averages, so its pictures hold a little more detail for the encoder */
        o.settings = {"Presets=Solid", "Use Original Color=on", "Brightness=100", "Horizontal Detail=16",
                      "Vertical Detail=16"};
        if (adjust) {
            adjust(o);
        }
        return cfcli::runRender(o);
    });
}

struct Case {
    const char* output;                     /* file name in the work folder */
    std::vector<std::string> ffmpegFilter;  /* arguments after -i */
    std::function<void(cfcli::Options&)> adjust;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/* Each iteration runs both programs once; which goes first alternates, since on this virtual machine the
   first process after a pause pays for fresh memory more than the second. The ratio reported is the median
   of the iterations' own ratios (with their range), so that one disturbed run moves it little. One untimed
   pair first reads the clip into the page cache and starts both programs' libraries warm. */
void compare(benchmark::State& state, const Case& c)
{
    const std::string in = clip(3);
    const std::string out = (workDir() / c.output).string();
    std::vector<std::string> ffmpegArgs{"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", in};
    ffmpegArgs.insert(ffmpegArgs.end(), c.ffmpegFilter.begin(), c.ffmpegFilter.end());
    ffmpegArgs.push_back(out);
    auto runFfmpeg = [&] {
        clearOutputs();
        return runProgram(ffmpegArgs);
    };
    auto runOurs = [&] {
        clearOutputs();
        return ours(in, out, c.adjust);
    };
    runFfmpeg();
    runOurs();

    std::vector<double> ffmpegSeconds;
    std::vector<double> ourSeconds;
    std::vector<double> ratios;
    double ffmpegPeak = 0;
    double ourPeak = 0;
    for (auto _ : state) {
        Outcome f;
        Outcome o;
        if (ratios.size() % 2 == 0) {
            f = runFfmpeg();
            o = runOurs();
        } else {
            o = runOurs();
            f = runFfmpeg();
        }
        ffmpegSeconds.push_back(f.seconds);
        ourSeconds.push_back(o.seconds);
        ratios.push_back(o.seconds / f.seconds);
        ffmpegPeak = std::max(ffmpegPeak, f.peakMiB);
        ourPeak = std::max(ourPeak, o.peakMiB);
        state.SetIterationTime(o.seconds);
    }
    state.counters["ffmpeg_s"] = median(ffmpegSeconds);
    state.counters["ours_s"] = median(ourSeconds);
    state.counters["ratio"] = median(ratios);
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
    state.counters["ffmpeg_MiB"] = ffmpegPeak;
    state.counters["ours_MiB"] = ourPeak;
    double load[3] = {};
    if (getloadavg(load, 3) == 3) {
        state.counters["load1"] = load[0];
    }
}

/* Pairs of runs per case: enough for a median that one disturbed run cannot carry. */
constexpr int kPairs = 7;

const std::string kPixelize = "format=rgba,pixelize=w=16:h=16";

void BM_Avi(benchmark::State& state)
{
    compare(state, {"out.avi", {"-vf", kPixelize, "-c:v", "mpeg4"}, nullptr});
}
void BM_Mp4(benchmark::State& state)
{
    compare(state, {"out.mp4", {"-vf", kPixelize + ",format=yuv420p", "-c:v", "libx264"}, nullptr});
}
void BM_PngSequence(benchmark::State& state)
{
    compare(state, {"out_%04d.png", {"-vf", kPixelize}, nullptr});
}
void BM_Ffv1Deep(benchmark::State& state)
{
    compare(state, {"out.mkv",
                    {"-vf", "format=rgba64le,pixelize=w=16:h=16,format=gbrp16le", "-c:v", "ffv1"},
                    [](cfcli::Options& o) {
                        o.depth = 16;
                        o.codec = "ffv1";
                        o.pixFmt = "gbrp16le";
                    }});
}

/* Peak memory of the command over a 10 s and a 60 s clip (H.264 at its fastest preset, to keep it short). */
void BM_PeakMemory(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    const std::string in = clip(seconds);
    double peak = 0;
    for (auto _ : state) {
        clearOutputs();
        const Outcome o = ours(in, (workDir() / "out.mp4").string(),
                               [](cfcli::Options& opts) { opts.encoderOptions = {{"preset", "ultrafast"}}; });
        peak = std::max(peak, o.peakMiB);
        state.SetIterationTime(o.seconds);
    }
    state.counters["ours_MiB"] = peak;
}

BENCHMARK(BM_Avi)->UseManualTime()->Iterations(kPairs)->Unit(benchmark::kSecond);
BENCHMARK(BM_Mp4)->UseManualTime()->Iterations(kPairs)->Unit(benchmark::kSecond);
BENCHMARK(BM_PngSequence)->UseManualTime()->Iterations(kPairs)->Unit(benchmark::kSecond);
BENCHMARK(BM_Ffv1Deep)->UseManualTime()->Iterations(kPairs)->Unit(benchmark::kSecond);
BENCHMARK(BM_PeakMemory)->Arg(10)->Arg(60)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(workDir(), ec);
    return 0;
}
