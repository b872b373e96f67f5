/* ChunkJoinTest.cpp — rendering apart and joining: ranges from `plan` rendered two at once through GNU parallel and
   joined give the whole render's frames, timestamps and audio; H.264 chunks join without re-encoding, whatever the
   spelling of their settings; chunks that do not belong together, or that do not hold the whole input or what they
   were rendered with, are refused by name. */
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

#include "support/Scratch.h"
#include "support/ToolRun.h"

namespace cftest {
namespace {

const std::vector<std::string> kChaos{"-s", "Enable Chaos=on", "-s", "Intensity=3", "-s", "Animation Speed=100"};

std::string output(const std::vector<std::string>& argv)
{
    const RunResult r = runProgram(argv);
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    return r.out;
}

std::string decodedFrames(const std::string& file)
{
    return output({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-map", "0:v:0", "-fps_mode", "passthrough", "-f",
                   "rawvideo", "-pix_fmt", "rgba", "pipe:1"});
}

std::string frameTimes(const std::string& file)
{
    std::istringstream lines(output({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                     "frame=pts_time", "-of", "default=nw=1", file}));
    std::string times;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pts_time=", 0) == 0) {
            times += line.substr(9) + " ";
        }
    }
    return times;
}

/* The digest of each packet of a stream exactly as stored, one a line. */
std::string packetDigests(const std::string& file, const std::string& stream)
{
    std::istringstream lines(output({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-map", "0:" + stream, "-c",
                                     "copy", "-f", "framemd5", "pipe:1"}));
    std::string digests;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            digests += line.substr(line.rfind(',') + 1) + "\n";
        }
    }
    return digests;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class ChunkJoin : public ::testing::Test {
protected:
    /* Three seconds at 10 fps of moving H.264 with a keyframe every 8 frames and B-frames (so a range seeks into
       the middle of a group of pictures), and a tone. */
    void SetUp() override
    {
        ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i", "sine=sample_rate=44100", "-t",
                "3", "-c:v", "libx264", "-g", "8", "-bf", "2", "-c:a", "aac", dir.file("clip.mkv")});
    }

    RunResult render(const std::string& out, const std::string& range, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"render", dir.file("clip.mkv"), dir.file(out), "--range", range, "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runTool(args);
    }

    RunResult join(const std::vector<std::string>& files)
    {
        std::vector<std::string> args{"join"};
        for (const std::string& f : files) {
            args.push_back(dir.file(f));
        }
        return runTool(args);
    }

    ScratchDir dir;
};

TEST_F(ChunkJoin, RangesRenderedApartThroughParallelJoinIntoTheWholeRender)
{
    std::vector<std::string> whole{"render", dir.file("clip.mkv"), dir.file("whole.mkv"), "--codec", "ffv1", "-q"};
    whole.insert(whole.end(), kChaos.begin(), kChaos.end());
    const RunResult w = runTool(whole);
    ASSERT_EQ(w.exitCode, 0) << describe(w);

    const RunResult plan = runTool({"plan", dir.file("clip.mkv"), "--chunks", "3"});
    ASSERT_EQ(plan.exitCode, 0) << describe(plan);
    /* the last range runs to the end */
    const std::vector<std::string> ranges = linesOf(plan.out);
    ASSERT_EQ(ranges, (std::vector<std::string>{"0-10", "10-20", "20-"}));
    /* as many ranges as asked for, not as many as a rounded-up length gives */
    EXPECT_EQ(linesOf(runTool({"plan", dir.file("clip.mkv"), "--chunks", "29"}).out).size(), 29u);

    std::vector<std::string> jobs{"parallel", "--will-cite", "--quote", "--halt", "now,fail=1", "-j", "2"};
    const std::vector<std::string> tool = toolCommand({"render", dir.file("clip.mkv"), dir.file("chunk{#}.mkv"),
                                                       "--range", "{}", "--codec", "ffv1", "-q"});
    jobs.insert(jobs.end(), tool.begin(), tool.end());
    jobs.insert(jobs.end(), kChaos.begin(), kChaos.end());
    jobs.push_back(":::");
    jobs.insert(jobs.end(), ranges.begin(), ranges.end());
    const RunResult p = runProgram(jobs);
    ASSERT_EQ(p.exitCode, 0) << describe(p);

    /* Given out of order: join puts them in the order of their ranges. */
    const RunResult j = runTool({"join", dir.file("joined.mkv"), dir.file("chunk3.mkv"), dir.file("chunk1.mkv"),
                                 dir.file("chunk2.mkv"), "--audio-from", dir.file("clip.mkv")});
    ASSERT_EQ(j.exitCode, 0) << describe(j);

    const std::string frames = decodedFrames(dir.file("whole.mkv"));
    EXPECT_EQ(frames.size(), 30u * 64 * 48 * 4);
    EXPECT_TRUE(decodedFrames(dir.file("joined.mkv")) == frames) << "every frame equals the whole render's";
    EXPECT_EQ(frameTimes(dir.file("joined.mkv")), frameTimes(dir.file("whole.mkv")));
    EXPECT_EQ(packetDigests(dir.file("joined.mkv"), "a:0"), packetDigests(dir.file("clip.mkv"), "a:0"));
}

/* Where each stream starts, one a line. */
std::string streamStarts(const std::string& file)
{
    return output({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type,start_time", "-of", "csv=p=0", file});
}

/* Files whose video does not start at time 0: plan counts the frames from the first one, every range it prints
   renders, and the chunks join into the whole render, the input's audio in the same place beside the video, also
   where the file starts between two steps of the video's time base. */
TEST_F(ChunkJoin, PlannedRangesRenderAndJoinWhereTheVideoDoesNotStartAtZero)
{
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25", "-t", "2", "-c:v", "libx264", "-pix_fmt", "yuv420p",
            dir.file("v.mp4")});
    ffmpeg({"-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "3", "-c:a", "aac", dir.file("a.m4a")});
    /* video one second after the audio */
    ffmpeg({"-itsoffset", "1", "-i", dir.file("v.mp4"), "-i", dir.file("a.m4a"), "-c", "copy", dir.file("late.mkv")});
    /* a container start offset, in MP4 and in MPEG-TS (whose seeking goes by bytes; one keyframe only) */
    ffmpeg({"-i", dir.file("v.mp4"), "-i", dir.file("a.m4a"), "-c", "copy", "-output_ts_offset", "10",
            dir.file("offset.mp4")});
    ffmpeg({"-i", dir.file("v.mp4"), "-i", dir.file("a.m4a"), "-c", "copy", "-output_ts_offset", "10",
            dir.file("offset.ts")});
    /* an edit list that starts half a second in, between keyframes */
    ffmpeg({"-ss", "0.5", "-i", dir.file("v.mp4"), "-c", "copy", dir.file("edit.mp4")});
    /* video timed in tenths of a second from 0.1 s, audio from 0.03 s */
    ffmpeg({"-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "3", "-c:a", "pcm_s16le", dir.file("a.wav")});
    ffmpeg({"-itsoffset", "0.1", "-i", dir.file("v.mp4"), "-itsoffset", "0.03", "-i", dir.file("a.wav"), "-c", "copy",
            "-video_track_timescale", "10", dir.file("coarse.mov")});

    for (const char* in : {"late.mkv", "offset.mp4", "offset.ts", "edit.mp4", "coarse.mov"}) {
        std::vector<std::string> whole{"render", dir.file(in), dir.file(std::string(in) + ".whole.mkv"), "--codec",
                                       "ffv1", "-q"};
        whole.insert(whole.end(), kChaos.begin(), kChaos.end());
        const RunResult w = runTool(whole);
        ASSERT_EQ(w.exitCode, 0) << in << ": " << describe(w);
        const RunResult plan = runTool({"plan", dir.file(in), "--chunks", "3"});
        ASSERT_EQ(plan.exitCode, 0) << in << ": " << describe(plan);
        std::vector<std::string> join{"join", dir.file(std::string(in) + ".joined.mkv"), "--audio-from", dir.file(in)};
        int n = 0;
        for (const std::string& range : linesOf(plan.out)) {
            const std::string chunk = dir.file(std::string(in) + ".chunk" + std::to_string(++n) + ".mkv");
            std::vector<std::string> args{"render", dir.file(in), chunk, "--range", range, "--codec", "ffv1", "-q"};
            args.insert(args.end(), kChaos.begin(), kChaos.end());
            const RunResult r = runTool(args);
            ASSERT_EQ(r.exitCode, 0) << in << " " << range << ": " << describe(r);
            join.push_back(chunk);
        }
        EXPECT_EQ(n, 3) << in;
        const RunResult j = runTool(join);
        ASSERT_EQ(j.exitCode, 0) << in << ": " << describe(j);
        const std::string frames = decodedFrames(dir.file(std::string(in) + ".whole.mkv"));
        EXPECT_FALSE(frames.empty()) << in;
        EXPECT_TRUE(decodedFrames(dir.file(std::string(in) + ".joined.mkv")) == frames) << in;
        EXPECT_EQ(streamStarts(dir.file(std::string(in) + ".joined.mkv")),
                  streamStarts(dir.file(std::string(in) + ".whole.mkv")))
            << in;
    }
}

/* The settings are compared as the values the effect gets: the same values spelt otherwise join. */
TEST_F(ChunkJoin, H264ChunksJoinByStreamCopyWhateverTheSpellingOfTheirSettings)
{
    const std::vector<std::string> spelt{"-s", "Animation Speed=100.0", "-s", "Enable Chaos=yes", "-s", "Intensity=3",
                                         "-s", "Presets=1"};
    const std::vector<std::string> again{"-s", "Intensity=3", "-s", "Enable Chaos=1", "-s", "Animation Speed=100"};
    for (const auto& [name, range, settings] :
         {std::tuple{"c1.mp4", "0-10", kChaos}, {"c2.mp4", "10-20", spelt}, {"c3.mp4", "20-", again}}) {
        const RunResult r = render(name, range, settings);
        ASSERT_EQ(r.exitCode, 0) << describe(r);
    }
    const RunResult j = join({"joined.mp4", "c1.mp4", "c2.mp4", "c3.mp4"});
    ASSERT_EQ(j.exitCode, 0) << describe(j);
    EXPECT_EQ(frameTimes(dir.file("joined.mp4")), frameTimes(dir.file("clip.mkv")));
    EXPECT_EQ(output({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                      "stream=codec_name,pix_fmt", "-of", "csv=p=0", dir.file("joined.mp4")}),
              "h264,yuv420p\n");
    EXPECT_EQ(packetDigests(dir.file("joined.mp4"), "v:0"), packetDigests(dir.file("c1.mp4"), "v:0") +
                                                              packetDigests(dir.file("c2.mp4"), "v:0") +
                                                              packetDigests(dir.file("c3.mp4"), "v:0"));
    /* AVI takes H.264 only as a byte stream with start codes: the packets are rewritten, the pictures kept */
    const RunResult avi = join({"joined.avi", "c1.mp4", "c2.mp4", "c3.mp4"});
    ASSERT_EQ(avi.exitCode, 0) << describe(avi);
    EXPECT_TRUE(decodedFrames(dir.file("joined.avi")) == decodedFrames(dir.file("joined.mp4")));
}

TEST_F(ChunkJoin, ChunksThatDoNotBelongTogetherAreRefusedByName)
{
    const std::vector<std::tuple<const char*, const char*, std::vector<std::string>>> chunks{
        {"a.mkv", "0-4", {}},
        {"overlapping.mkv", "3-8", {}},
        {"after_gap.mkv", "5-8", {}},
        {"other_pixels.mkv", "4-8", {"--pix-fmt", "yuv444p"}},
        {"other_settings.mkv", "4-8", {"-s", "Intensity=2"}},
    };
    for (const auto& [name, range, extra] : chunks) {
        const RunResult r = render(name, range, extra);
        ASSERT_EQ(r.exitCode, 0) << name << describe(r);
    }
    const struct {
        const char* second;
        const char* says;
    } cases[] = {
        {"overlapping.mkv", "overlap"},
        {"after_gap.mkv", "frames 4-5 are missing"},
        {"other_pixels.mkv", "codec parameters differ (pixel format"},
        {"other_settings.mkv", "different settings"},
        {"clip.mkv", "does not say which frames it holds"},
    };
    for (const auto& c : cases) {
        const RunResult r = join({"out.mkv", c.second, "a.mkv"});
        EXPECT_EQ(r.exitCode, 2) << c.second << describe(r);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.second), std::string::npos) << "names the chunk: " << r.err;
        if (std::string(c.second) != "clip.mkv") {
            EXPECT_NE(r.err.find("a.mkv"), std::string::npos) << "names the other chunk: " << r.err;
        }
    }
    EXPECT_EQ(dir.entries().size(), 6u) << "nothing is written";
}

/* Each chunk is read for the frames it holds and their times, and the set must run from the input's first frame to
   its last: copies cut short or thinned, chunks re-timed, left out or rendered from another input are refused. */
TEST_F(ChunkJoin, IncompleteAlteredOrForeignChunksAreRefusedByName)
{
    for (const auto& [name, range] : {std::pair{"a.mkv", "0-10"}, {"b.mkv", "10-20"}, {"c.mkv", "20-"}}) {
        const RunResult r = render(name, range, {"--codec", "ffv1"});
        ASSERT_EQ(r.exitCode, 0) << describe(r);
    }
    /* the same settings on another picture of the same size, rate and length */
    ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=10", "-t", "3", "-c:v", "libx264", "-g", "8",
            dir.file("other.mkv")});
    const RunResult foreign = runTool({"render", dir.file("other.mkv"), dir.file("foreign.mkv"), "--range", "10-20",
                                       "--codec", "ffv1", "-q"});
    ASSERT_EQ(foreign.exitCode, 0) << describe(foreign);
    /* a copy cut short, as from an interrupted transfer */
    std::filesystem::copy_file(dir.file("b.mkv"), dir.file("cut.mkv"));
    std::filesystem::resize_file(dir.file("cut.mkv"), std::filesystem::file_size(dir.file("b.mkv")) * 8 / 10);
    /* re-muxed with its tags: one frame left out in the middle, or all of them moved */
    ffmpeg({"-copyts", "-i", dir.file("b.mkv"), "-c", "copy", "-bsf:v", "noise=drop=eq(n\\,4)", dir.file("thinned.mkv")});
    ffmpeg({"-copyts", "-i", dir.file("b.mkv"), "-c", "copy", "-output_ts_offset", "0.05", dir.file("shifted.mkv")});

    const struct {
        std::vector<std::string> chunks;
        const char* named;
        const char* says;
    } cases[] = {
        {{"a.mkv", "cut.mkv", "c.mkv"}, "cut.mkv", "frames, not the 10 it was rendered with"},
        {{"a.mkv", "thinned.mkv", "c.mkv"}, "thinned.mkv", "holds 9 frames, not the 10"},
        {{"a.mkv", "shifted.mkv", "c.mkv"}, "shifted.mkv", "timestamps were changed"},
        {{"b.mkv", "c.mkv"}, "b.mkv", "the frames before"},
        {{"a.mkv", "b.mkv"}, "b.mkv", "the frames after"},
        {{"a.mkv", "foreign.mkv", "c.mkv"}, "foreign.mkv", "different inputs"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> files{"out.mkv"};
        files.insert(files.end(), c.chunks.begin(), c.chunks.end());
        const RunResult r = join(files);
        EXPECT_EQ(r.exitCode, 2) << c.named << describe(r);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << "names the chunk: " << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.mkv"))) << c.named;
    }
    const RunResult whole = join({"out.mkv", "a.mkv", "b.mkv", "c.mkv"});
    EXPECT_EQ(whole.exitCode, 0) << describe(whole);
}

} // namespace
} // namespace cftest
