/* MediaTimingTest.cpp — timing as players read it back: constant-rate, variable-rate and late-starting clips from
   each input container into the formats that store only a frame rate and those that store each frame's time, and
   frames that come without times. */
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "support/Scratch.h"
#include "support/ToolRun.h"

namespace cftest {
namespace {

namespace fs = std::filesystem;

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
    if (starts.size() < 2) {
        ADD_FAILURE() << file << " has no audio";
        return 0;
    }
    /* (NUT gives no packet durations: the last lasts as long as the others on average) */
    const double last = !lengths.empty() ? lengths.back()
                                         : (starts.back() - starts.front()) / static_cast<double>(starts.size() - 1);
    return starts.back() + last - starts.front();
}

TEST(MediaTiming, EveryInputContainerIntoEveryFormatKeepsRateFramesAndAudio)
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
    /* the video starting half a second after the audio */
    ffmpeg({"-itsoffset", "0.5", "-i", dir.file("cfr.mp4"), "-i", dir.file("cfr.mp4"), "-map", "0:v", "-map", "1:a",
            "-c", "copy", dir.file("late.mkv")});

    struct Output {
        const char* ext;
        bool rateOnly;  /* stores a frame rate, not a time per frame */
        bool audio;
    };
    const Output outputs[] = {{".y4m", true, false}, {".ts", true, true},   {".mpg", true, true},
                              {".avi", true, true},  {".ogg", true, true},  {".mp4", false, true},
                              {".mkv", false, true}, {".flv", false, true}, {".nut", false, true},
                              {".mov", false, true}, {".webm", false, true}, {".gif", false, false}};
    auto audioStart = [](const std::string& file) { return values(file, "a:0", "packet=pts_time").front(); };
    for (const char* in : {"cfr.mp4", "cfr.mkv", "cfr.webm", "vfr.mp4", "late.mkv"}) {
        const std::vector<double> inTimes = frameTimes(dir.file(in));
        ASSERT_FALSE(inTimes.empty()) << in;
        /* a numbered sequence stores no time: one file a frame */
        const fs::path frames = dir / (std::string(in) + ".frames");
        fs::create_directory(frames);
        const RunResult seq = runTool({"render", dir.file(in), (frames / "f_%03d.png").string(), "-q"});
        ASSERT_EQ(seq.exitCode, 0) << in << ": " << describe(seq);
        EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(frames), fs::directory_iterator())),
                  inTimes.size())
            << in << " to a numbered sequence";
        for (const Output& o : outputs) {
            const std::string out = std::string(in) + o.ext;
            const std::string what = std::string(in) + " to " + o.ext;
            const RunResult r = runTool({"render", dir.file(in), dir.file(out), "-q"});
            ASSERT_EQ(r.exitCode, 0) << what << ": " << describe(r);
            const std::vector<double> times = frameTimes(dir.file(out));
            ASSERT_FALSE(times.empty()) << what;
            /* AVI cannot start its video after its audio: its muxer puts the first frame at 0, shown until the
               second is due, which players show just as the input */
            const bool aviLate = std::string(o.ext) == ".avi" && std::string(in) == "late.mkv";
            if (!aviLate) {
                EXPECT_NEAR(times.back() - times.front(), inTimes.back() - inTimes.front(), 0.041) << what;
            }
            if (o.rateOnly) {
                EXPECT_EQ(probe(dir.file(out), {"-select_streams", "v:0", "-show_entries", "stream=r_frame_rate"}),
                          "25/1")
                    << what;
                /* Theora stores a repeated frame as no packet at all */
                if (std::string(o.ext) != ".ogg") {
                    EXPECT_EQ(probe(dir.file(out), {"-count_packets", "-select_streams", "v:0", "-show_entries",
                                                    "stream=nb_read_packets"}),
                              "25")
                        << what << ": one frame every 1/25 s, gaps filled";
                }
            } else {
                ASSERT_EQ(times.size(), inTimes.size()) << what;
                for (std::size_t i = 0; i < times.size(); ++i) {
                    EXPECT_NEAR(times[i] - times[0], inTimes[i] - inTimes[0], 0.0011) << what << ", frame " << i;
                }
            }
            if (o.audio) {
                EXPECT_NEAR(audioSeconds(dir.file(out)), audioSeconds(dir.file(in)), 0.041) << what;
                const double outAudio = audioStart(dir.file(out));
                const double inAudio = audioStart(dir.file(in));
                if (!aviLate) {
                    EXPECT_NEAR(times.front() - outAudio, inTimes.front() - inAudio, 0.041)
                        << what << ": the video starts as far after the audio as in the input";
                } else {
                    EXPECT_NEAR(times.back() - outAudio, inTimes.back() - inAudio, 0.041)
                        << what << ": the last frame comes as far after the audio as in the input";
                }
            }
        }
    }
}

/* A raw H.264 stream gives its frames no times at all: each comes one frame of its rate after the one before. */
TEST(MediaTiming, FramesWithoutTimesOrWithAJumpInTheirTimesAreWrittenOneFrameApart)
{
    ScratchDir dir;
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25", "-t", "0.2", "-c:v", "libx264", "-bf", "0",
            dir.file("raw.h264")});
    const RunResult r = runTool({"render", dir.file("raw.h264"), dir.file("out.mkv"), "-q"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(frameTimes(dir.file("out.mkv")), (std::vector<double>{0, 0.04, 0.08, 0.12, 0.16}));

    /* Two hours between the fifth frame and the sixth (a restarted recording): a constant-rate format closes the
       gap up rather than holding the fifth frame for two hours, and says so. */
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25", "-frames:v", "10", "-vf",
            "setpts='if(gte(N,5),PTS+7200/TB,PTS)'", "-fps_mode", "vfr", "-c:v", "ffv1", dir.file("jump.mkv")});
    const RunResult jump = runTool({"render", dir.file("jump.mkv"), dir.file("jump.y4m")});
    ASSERT_EQ(jump.exitCode, 0) << describe(jump);
    EXPECT_NE(jump.err.find("1 jump in the video's times longer than 3600 s was closed up"), std::string::npos)
        << jump.err;
    EXPECT_EQ(frameTimes(dir.file("jump.y4m")).size(), 10u);
}

} // namespace
} // namespace cftest
