/* MediaTimingTest.cpp — timing as players read it back: every input container into the formats that store only
   a frame rate (YUV4MPEG, MPEG-TS/PS, AVI, Ogg), from constant- and variable-rate clips, with their audio. */
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "support/Scratch.h"
#include "support/ToolRun.h"

namespace cftest {
namespace {

std::string probe(const std::string& file, const std::vector<std::string>& what)
{
    std::vector<std::string> args{"ffprobe", "-v", "error"};
    args.insert(args.end(), what.begin(), what.end());
    args.insert(args.end(), {"-of", "csv=p=0", file});
    const RunResult r = runProgram(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out.substr(0, r.out.find_first_of(",\n"));
}

/* The first field of each line ffprobe prints for `entries` of `stream`, as numbers. */
std::vector<double> values(const std::string& file, const std::string& stream, const std::string& entries)
{
    const RunResult r =
        runProgram({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", entries, "-of", "csv=p=0", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<double> found;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find_first_not_of(" \t");
        if (at != std::string::npos && (std::isdigit(static_cast<unsigned char>(line[at])) || line[at] == '-')) {
            found.push_back(std::atof(line.c_str() + at));
        }
    }
    return found;
}

/* The video frames' times in seconds, in order. */
std::vector<double> frameTimes(const std::string& file)
{
    return values(file, "v:0", "frame=best_effort_timestamp_time");
}

/* From the start of the first audio packet to the end of the last. */
double audioSeconds(const std::string& file)
{
    const std::vector<double> starts = values(file, "a:0", "packet=pts_time");
    const std::vector<double> lengths = values(file, "a:0", "packet=duration_time");
    EXPECT_FALSE(starts.empty() || lengths.empty()) << file;
    return starts.empty() || lengths.empty() ? 0 : starts.back() + lengths.back() - starts.front();
}

TEST(MediaTiming, EveryInputContainerIntoEveryRateOnlyFormatKeepsRateFramesAndAudio)
{
    ScratchDir dir;
    const std::vector<std::string> source{"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25", "-f", "lavfi", "-i",
                                          "sine=sample_rate=48000", "-t", "1"};
    auto make = [&](const std::string& name, std::vector<std::string> codecs) {
        std::vector<std::string> args = source;
        args.insert(args.end(), codecs.begin(), codecs.end());
        args.push_back(dir.file(name));
        ffmpeg(args);
    };
    make("cfr.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"});   /* time base 1/12800 */
    ffmpeg({"-i", dir.file("cfr.mp4"), "-c", "copy", dir.file("cfr.mkv")});       /* 1/1000 */
    make("cfr.webm", {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-c:a", "libopus"});
    /* every fourth frame left out: frames at 0, 0.04, 0.12, ... */
    make("vfr.mp4", {"-vf", "select='not(eq(mod(n\\,4)\\,2))'", "-fps_mode", "vfr", "-c:v", "libx264", "-pix_fmt",
                     "yuv420p", "-c:a", "aac"});

    for (const char* in : {"cfr.mp4", "cfr.mkv", "cfr.webm", "vfr.mp4"}) {
        const std::vector<double> inTimes = frameTimes(dir.file(in));
        ASSERT_FALSE(inTimes.empty()) << in;
        for (const char* ext : {".y4m", ".ts", ".mpg", ".avi", ".ogg"}) {
            const std::string out = std::string(in) + ext;
            const std::string what = std::string(in) + " to " + ext;
            const RunResult r = runTool({"render", dir.file(in), dir.file(out), "-q"});
            ASSERT_EQ(r.exitCode, 0) << what << ": " << describe(r);
            EXPECT_EQ(probe(dir.file(out), {"-select_streams", "v:0", "-show_entries", "stream=r_frame_rate"}), "25/1")
                << what;
            const std::vector<double> times = frameTimes(dir.file(out));
            ASSERT_FALSE(times.empty()) << what;
            /* Theora stores a repeated frame as no packet at all, so only its span is compared */
            if (std::string(ext) != ".ogg") {
                EXPECT_EQ(probe(dir.file(out), {"-count_packets", "-select_streams", "v:0", "-show_entries",
                                                "stream=nb_read_packets"}),
                          "25")
                    << what << ": one frame every 1/25 s, gaps filled";
            }
            EXPECT_NEAR(times.back() - times.front(), inTimes.back() - inTimes.front(), 0.041) << what;
            if (std::string(ext) != ".y4m") {
                EXPECT_NEAR(audioSeconds(dir.file(out)), audioSeconds(dir.file(in)), 0.041) << what;
            }
        }
    }
}

} // namespace
} // namespace cftest
