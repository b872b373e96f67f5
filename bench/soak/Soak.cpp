/* Soak.cpp — the effect under load for minutes: rounds of frames rendered at once from a caller thread per
   core, each render iterating on every core as well, through our host. Every round renders the same set of
   frames (several parameter sets, both depths, animated chaos at several times, draft previews, both
   applications) and checks that
   - every frame is bit for bit the frame of the first round, whatever thread rendered it and alongside what;
   - the process's resident memory stays flat: once the warm-up rounds have grown the allocators' pools, no
     round may end more than the tolerance above the highest of them;
   - after setdown the host holds nothing the effect left behind.
   It stops by itself after --seconds (at least the warm-up rounds and one more run), prints a line per round
   and exits 0 when all of it held, 1 otherwise.

     crumbleforge_soak [--seconds N] [--callers N] [--tolerance-mib M] [--plugin PATH]
*/
#include "cfhost/EffectInstance.h"
#include "cfhost/FourCC.h"
#include "cfhost/Host.h"
#include "cfhost/HostError.h"
#include "cfhost/World.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    double seconds = 120;
    unsigned callers = 0; /* 0: one per core */
    double toleranceMiB = 2;
    std::string plugin = CRUMBLEFORGE_MODULE;
};

constexpr int kWarmupRounds = 3;
constexpr A_long kWidth = 1280;
constexpr A_long kHeight = 720;

[[noreturn]] void usage(const std::string& problem)
{
    std::fprintf(stderr,
                 "crumbleforge_soak: %s\n"
                 "usage: crumbleforge_soak [--seconds N] [--callers N] [--tolerance-mib M] [--plugin PATH]\n",
                 problem.c_str());
    std::exit(2);
}

Options parseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            usage(arg + " needs a value");
        }
        const char* value = argv[++i];
        char* end = nullptr;
        const double number = std::strtod(value, &end);
        const bool numeric = *value != '\0' && *end == '\0' && number >= 0 && number < 1e7;
        if (arg == "--seconds" && numeric) {
            o.seconds = number;
        } else if (arg == "--callers" && numeric && number >= 1 && number <= 256) {
            o.callers = static_cast<unsigned>(number);
        } else if (arg == "--tolerance-mib" && numeric) {
            o.toleranceMiB = number;
        } else if (arg == "--plugin") {
            o.plugin = value;
        } else {
            usage("bad option " + arg + " " + value);
        }
    }
    if (o.callers == 0) {
        o.callers = std::max(1u, std::thread::hardware_concurrency());
    }
    return o;
}

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

/* A frame with something in every block: gradients, stripes and hashed noise over the whole tone range,
   with a spread of alpha values. */
cfhost::World paintedInput(cfhost::Depth depth)
{
    cfhost::World world(kWidth, kHeight, depth);
    for (A_long y = 0; y < kHeight; ++y) {
        for (A_long x = 0; x < kWidth; ++x) {
            std::uint32_t h = static_cast<std::uint32_t>(x / 5) * 73856093u ^ static_cast<std::uint32_t>(y / 3) * 19349663u;
            h ^= h >> 15;
            h *= 0x2c1b3c6du;
            h ^= h >> 12;
            const PF_Pixel p{static_cast<A_u_char>(255 - (x + y) % 64),
                             static_cast<A_u_char>((x * 255 / kWidth + ((x / 30 + y / 20) % 2) * 70) % 256),
                             static_cast<A_u_char>(y * 255 / kHeight), static_cast<A_u_char>(h & 0xFF)};
            if (world.deep()) {
                PF_Pixel16 deep = cfhost::to16(p);
                deep.green = static_cast<A_u_short>(std::min<unsigned>(deep.green + (h >> 8 & 0x7F), 32768u));
                world.pixel16(x, y) = deep;
            } else {
                world.pixel8(x, y) = p;
            }
        }
    }
    return world;
}

/* FNV-1a over the pixels, row by row (padding left out). */
std::uint64_t checksum(const cfhost::World& world)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    const auto* base = static_cast<const unsigned char*>(static_cast<const void*>(world.layer().data));
    const std::size_t rowBytes = static_cast<std::size_t>(world.width()) * world.pixelBytes();
    for (A_long y = 0; y < world.height(); ++y) {
        const unsigned char* row = base + static_cast<std::ptrdiff_t>(y) * world.rowbytes();
        for (std::size_t i = 0; i < rowBytes; ++i) {
            h = (h ^ row[i]) * 0x100000001b3ull;
        }
    }
    return h;
}

/* One parameter set, on its own instance so that no value changes while frames render. */
struct Look {
    const char* name;
    bool premiere;
    std::function<void(cfhost::EffectInstance&)> set;
};

PF_ParamIndex parameterNamed(const cfhost::EffectInstance& fx, const char* label)
{
    const auto index = fx.findParameter(label);
    if (!index) {
        throw cfhost::HostError(std::string("the module declares no parameter '") + label + "'");
    }
    return *index;
}

const Look kLooks[] = {
    {"defaults", false, [](cfhost::EffectInstance&) {}},
    {"numbers & letters, chaos animating", false,
     [](cfhost::EffectInstance& fx) {
         fx.setPopup(parameterNamed(fx, "Presets"), 2);
         fx.setCheckbox(parameterNamed(fx, "Enable Chaos"), true);
         fx.setFloat(parameterNamed(fx, "Animation Speed"), 100);
         fx.setFloat(parameterNamed(fx, "Intensity"), 25);
     }},
    {"high detail, scale lock 2.5", false,
     [](cfhost::EffectInstance& fx) {
         fx.setPopup(parameterNamed(fx, "Presets"), 1);
         fx.setCheckbox(parameterNamed(fx, "Enable Scale Lock"), true);
         fx.setFloat(parameterNamed(fx, "Pattern Size"), 2.5);
     }},
    {"rings, original colour, transparent", false,
     [](cfhost::EffectInstance& fx) {
         fx.setPopup(parameterNamed(fx, "Presets"), 7);
         fx.setCheckbox(parameterNamed(fx, "Use Original Color"), true);
         fx.setCheckbox(parameterNamed(fx, "Transparent Background"), true);
         fx.setFloat(parameterNamed(fx, "Horizontal Detail"), 3);
         fx.setFloat(parameterNamed(fx, "Vertical Detail"), 2);
     }},
    {"solid, chaos shrinking, in premiere", true,
     [](cfhost::EffectInstance& fx) {
         fx.setPopup(parameterNamed(fx, "Presets"), 8);
         fx.setCheckbox(parameterNamed(fx, "Enable Chaos"), true);
         fx.setPopup(parameterNamed(fx, "Chaos Behavior"), 2);
         fx.setFloat(parameterNamed(fx, "Animation Speed"), 60);
         fx.setFloat(parameterNamed(fx, "Seed"), 321);
     }},
};

struct Job {
    cfhost::EffectInstance* effect;
    std::string name;
    cfhost::Depth depth;
    A_long frame;
    A_long downsample;
};

/* Renders every job of a round from `callers` threads at once; each job's checksum lands in its slot. An
   exception or a failed render is recorded as the round's failure. */
void renderRound(const std::vector<Job>& jobs, const cfhost::World& input8, const cfhost::World& input16,
                 unsigned callers, std::vector<std::uint64_t>& sums, std::string& failure)
{
    std::atomic<std::size_t> next{0};
    std::mutex failureMutex;
    auto work = [&] {
        for (std::size_t i = next.fetch_add(1); i < jobs.size(); i = next.fetch_add(1)) {
            const Job& job = jobs[i];
            try {
                const cfhost::World& input = job.depth == cfhost::Depth::Sixteen ? input16 : input8;
                const A_long width = (kWidth + job.downsample - 1) / job.downsample;
                const A_long height = (kHeight + job.downsample - 1) / job.downsample;
                cfhost::World output(width, height, job.depth);
                const PF_Err err = job.effect->render(input, output, cfhost::FrameTime::ofFrame(job.frame, 24),
                                                      cfhost::Downsample{job.downsample, job.downsample});
                if (err != PF_Err_NONE) {
                    throw cfhost::EffectError(job.name, err);
                }
                sums[i] = checksum(output);
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(failureMutex);
                failure = job.name + ": " + e.what();
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < callers; ++t) {
        threads.emplace_back(work);
    }
    work();
    for (std::thread& t : threads) {
        t.join();
    }
}

int soak(const Options& options)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    cfhost::HostOptions ae;
    ae.threads = cores;
    cfhost::HostOptions premiere = ae;
    premiere.applicationId = cfhost::kPremierePro;
    cfhost::Host aeHost(ae);
    cfhost::Host premiereHost(premiere);

    std::vector<std::unique_ptr<cfhost::EffectInstance>> effects;
    std::vector<Job> jobs;
    for (const Look& look : kLooks) {
        cfhost::Host& host = look.premiere ? premiereHost : aeHost;
        auto fx = std::make_unique<cfhost::EffectInstance>(host, options.plugin);
        fx->registerModule();
        cfhost::check(fx->globalSetup(), "global setup");
        cfhost::check(fx->paramsSetup(), "parameter setup");
        cfhost::check(fx->sequenceSetup(), "sequence setup");
        look.set(*fx);
        for (const cfhost::Depth depth : {cfhost::Depth::Eight, cfhost::Depth::Sixteen}) {
            for (const A_long frame : {0, 1, 7, 240}) {
                for (const A_long downsample : {1, 2}) {
                    if (look.premiere && downsample != 1) {
                        continue;
                    }
                    jobs.push_back(Job{fx.get(),
                                       std::string(look.name) + (depth == cfhost::Depth::Sixteen ? ", 16-bit" : ", 8-bit") +
                                           ", frame " + std::to_string(frame) + ", 1/" + std::to_string(downsample),
                                       depth, frame, downsample});
                }
            }
        }
        effects.push_back(std::move(fx));
    }
    const cfhost::World input8 = paintedInput(cfhost::Depth::Eight);
    const cfhost::World input16 = paintedInput(cfhost::Depth::Sixteen);

    std::printf("soak: %zu frames of %ldx%ld a round, %u callers at once, iteration on %u threads, %.0f s\n",
                jobs.size(), static_cast<long>(kWidth), static_cast<long>(kHeight), options.callers, cores,
                options.seconds);
    std::vector<std::uint64_t> reference(jobs.size(), 0);
    std::vector<std::uint64_t> sums(jobs.size(), 0);
    double warmPeak = 0;
    double previous = residentMiB();
    int problems = 0;
    long frames = 0;
    const Clock::time_point start = Clock::now();
    for (int round = 1;; ++round) {
        const Clock::time_point began = Clock::now();
        std::string failure;
        std::fill(sums.begin(), sums.end(), 0);
        renderRound(jobs, input8, input16, options.callers, sums, failure);
        // The host keeps a log of every progress report for tests to read; it is the host's, not the effect's.
        aeHost.clearProgressEvents();
        premiereHost.clearProgressEvents();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
        frames += static_cast<long>(jobs.size());
        const double rss = residentMiB();

        std::string verdict;
        if (!failure.empty()) {
            verdict = "FAILED: " + failure;
        } else if (round == 1) {
            reference = sums;
        } else {
            for (std::size_t i = 0; i < jobs.size(); ++i) {
                if (sums[i] != reference[i]) {
                    verdict = "FAILED: " + jobs[i].name + " differs from round 1";
                    break;
                }
            }
        }
        if (round <= kWarmupRounds) {
            warmPeak = std::max(warmPeak, rss);
        } else if (verdict.empty() && rss > warmPeak + options.toleranceMiB) {
            char text[160];
            std::snprintf(text, sizeof text, "FAILED: resident memory grew %.1f MiB above the warm-up peak %.1f MiB",
                          rss - warmPeak, warmPeak);
            verdict = text;
        }
        std::printf("round %3d: %zu frames in %6.0f ms, RSS %7.1f MiB (%+5.1f)%s%s\n", round, jobs.size(), ms, rss,
                    rss - previous, round <= kWarmupRounds ? ", warming up" : "",
                    verdict.empty() ? "" : ("  " + verdict).c_str());
        std::fflush(stdout);
        previous = rss;
        problems += verdict.empty() ? 0 : 1;

        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (round > kWarmupRounds && elapsed >= options.seconds) {
            std::printf("soak: %d rounds, %ld frames in %.0f s\n", round, frames, elapsed);
            break;
        }
    }

    for (auto& fx : effects) {
        cfhost::check(fx->sequenceSetdown(), "sequence setdown");
        cfhost::check(fx->globalSetdown(), "global setdown");
    }
    effects.clear();
    for (const cfhost::Host* host : {&aeHost, &premiereHost}) {
        const std::string leaks = host->leakReport();
        if (!leaks.empty()) {
            std::printf("soak: FAILED: left behind in the host:\n%s\n", leaks.c_str());
            ++problems;
        }
    }
    std::printf("soak: %s\n", problems == 0 ? "identical frames every round, memory flat, nothing left behind"
                                           : "FAILED (see above)");
    return problems == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return soak(parseOptions(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "crumbleforge_soak: %s\n", e.what());
        return 1;
    }
}
