/* RenderVideoTest.cpp — video and image sequences: frames numbered from --frame so chaos animates as in a
   host, every frame rendered exactly as our host renders it, frame count and rate kept, audio carried over
   untouched where the output format allows. */
#include <gtest/gtest.h>

#include "support/Reference.h"
#include "support/Scratch.h"
#include "support/TestPng.h"
#include "support/ToolRun.h"

namespace cftest {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

/* The stream's frames as raw rgba (or rgba64le) bytes, all of them. */
std::string decodeFrames(const std::string& file, int bits)
{
    const RunResult r = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-map", "0:v:0", "-fps_mode",
                                    "passthrough", "-f", "rawvideo", "-pix_fmt", bits == 16 ? "rgba64le" : "rgba",
                                    "pipe:1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

std::string probe(const std::string& file, const std::string& stream, const std::string& entries)
{
    const RunResult r = runProgram({"ffprobe", "-v", "error", "-select_streams", stream, "-count_frames",
                                    "-show_entries", entries, "-of", "csv=p=0", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

/* A digest of the audio packets exactly as stored, to tell a copied stream from a re-encoded one. */
std::string audioDigest(const std::string& file)
{
    const RunResult r = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-map", "0:a:0", "-c", "copy",
                                    "-f", "md5", "pipe:1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

void setChaos(ReferenceEffect& ref, double speed)
{
    ref.setFloat("Pattern Size", 2);
    ref.setFloat("Horizontal Detail", 4);
    ref.setFloat("Vertical Detail", 4);
    ref.setCheckbox("Enable Chaos", true);
    ref.setFloat("Intensity", 3);
    ref.setFloat("Animation Speed", speed);
}

std::vector<std::string> chaosArgs(const std::string& speed)
{
    return {"-s", "Pattern Size=2", "-s", "Horizontal Detail=4", "-s", "Vertical Detail=4", "-s", "Enable Chaos=on",
            "-s", "Intensity=3",    "-s", "Animation Speed=" + speed};
}

class RenderVideo : public ::testing::Test {
protected:
    /* Ten frames of one unchanging picture at 10 fps, stored losslessly, with a second of sine tone: whatever
       changes between output frames comes from the effect. */
    void makeStillClip(const std::string& name)
    {
        ffmpeg({"-f", "lavfi", "-i", "smptebars=size=64x48:rate=10", "-f", "lavfi", "-i",
                "sine=frequency=440:sample_rate=44100", "-t", "1", "-c:v", "ffv1", "-c:a", "aac", dir.file(name)});
    }

    std::vector<std::string> render(const std::string& in, const std::string& out, std::vector<std::string> extra)
    {
        std::vector<std::string> args{"render", dir.file(in), dir.file(out)};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    ScratchDir dir;
};

TEST_F(RenderVideo, ChaosAnimatesFrameByFrameExactlyAsTheHostRendersIt)
{
    makeStillClip("bars.mkv");
    /* APNG keeps every pixel, so the frames can be compared exactly; it cannot hold the audio. */
    auto args = render("bars.mkv", "out.apng", chaosArgs("100"));
    args.insert(args.end(), {"--frame", "-4"});
    const RunResult r = runTool(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.err.find("note: the audio of"), std::string::npos) << "a note says the audio was left out";

    ReferenceEffect ref;
    setChaos(ref, 100);
    const auto inputs = worldsFromRaw(ref.host(), decodeFrames(dir.file("bars.mkv"), 8), kWidth, kHeight, 8);
    const auto outputs = worldsFromRaw(ref.host(), decodeFrames(dir.file("out.apng"), 8), kWidth, kHeight, 8);
    ASSERT_EQ(inputs.size(), 10u);
    ASSERT_EQ(outputs.size(), 10u);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const long frame = -4 + static_cast<long>(i);
        EXPECT_TRUE(cfhost::samePixels(outputs[i], ref.render(inputs[i], frame, 10))) << "frame " << frame;
        if (i > 0) {
            EXPECT_FALSE(cfhost::samePixels(outputs[i], outputs[i - 1])) << "chaos at speed 100 changes every frame";
        }
    }
}

TEST_F(RenderVideo, ChaosStandsStillAtSpeedZero)
{
    makeStillClip("bars.mkv");
    const RunResult r = runTool(render("bars.mkv", "out.apng", chaosArgs("0")));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    cfhost::Host host;
    const auto outputs = worldsFromRaw(host, decodeFrames(dir.file("out.apng"), 8), kWidth, kHeight, 8);
    ASSERT_EQ(outputs.size(), 10u);
    for (std::size_t i = 1; i < outputs.size(); ++i) {
        EXPECT_TRUE(cfhost::samePixels(outputs[i], outputs[0])) << "frame " << i;
    }
}

TEST_F(RenderVideo, Mp4KeepsFrameCountRateAndTheAudioUntouched)
{
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "1",
            "-c:v", "libx264", "-c:a", "aac", "-shortest", dir.file("clip.mp4")});
    const RunResult r = runTool(render("clip.mp4", "out.mp4", chaosArgs("100")));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err, "") << "ffmpeg's own messages stay out of sight";
    EXPECT_EQ(probe(dir.file("out.mp4"), "v:0", "stream=nb_read_frames,r_frame_rate"), "10/1,10\n");
    EXPECT_EQ(probe(dir.file("out.mp4"), "a:0", "stream=codec_name"), "aac\n");
    EXPECT_EQ(audioDigest(dir.file("out.mp4")), audioDigest(dir.file("clip.mp4")));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"clip.mp4", "out.mp4"}));
}

TEST_F(RenderVideo, AudioTheFormatRefusesIsReencodedWithANote)
{
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i", "sine", "-t", "1", "-c:v", "ffv1",
            "-c:a", "pcm_s16le", dir.file("clip.mov")});
    const RunResult r = runTool(render("clip.mov", "out.mp4", {}));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.err.find("note: the audio of"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("re-encoded"), std::string::npos) << r.err;
    EXPECT_EQ(probe(dir.file("out.mp4"), "a:0", "stream=codec_name"), "aac\n");
    const RunResult quiet = runTool(render("clip.mov", "out2.mp4", {"-q"}));
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err, "") << "-q keeps notes quiet too";
}

TEST_F(RenderVideo, DeepVideoIsRenderedAtSixteenBitsUnlessToldOtherwise)
{
    ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=10", "-t", "0.3", "-c:v", "ffv1", "-pix_fmt", "gbrp16le",
            dir.file("deep.mkv")});
    const RunResult r = runTool(render("deep.mkv", "deep_%d.png", {"-s", "Use Original Color=on", "--frame", "1"}));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    ReferenceEffect ref;
    ref.setCheckbox("Use Original Color", true);
    const auto inputs = worldsFromRaw(ref.host(), decodeFrames(dir.file("deep.mkv"), 16), kWidth, kHeight, 16);
    ASSERT_EQ(inputs.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const TestPng out = readTestPng(dir / ("deep_" + std::to_string(i + 1) + ".png"));
        EXPECT_EQ(out.bitDepth, 16);
        EXPECT_EQ(out.samples, fileSamples(ref.render(inputs[static_cast<std::size_t>(i)], i + 1, 10))) << i;
    }
    const RunResult eight = runTool(render("deep.mkv", "flat_%d.png", {"--depth", "8"}));
    ASSERT_EQ(eight.exitCode, 0) << describe(eight);
    EXPECT_EQ(readTestPng(dir / "flat_0.png").bitDepth, 8);
}

TEST_F(RenderVideo, PngSequencesKeepTheirFrameNumbersAndAGapIsRefused)
{
    const TestPng picture = patternImage(40, 30, 8, 6, 11);
    for (const int n : {5, 6, 7}) {
        writeTestPng(dir / ("in_" + std::to_string(n) + ".png"), picture);
    }
    auto args = render("in_%d.png", "out_%03d.png", chaosArgs("100"));
    args.insert(args.end(), {"--frame", "5", "--fps", "30"});
    const RunResult r = runTool(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in_5.png", "in_6.png", "in_7.png", "out_005.png",
                                                       "out_006.png", "out_007.png"}));
    ReferenceEffect ref;
    setChaos(ref, 100);
    const cfhost::World in = worldFromPng(ref.host(), picture, cfhost::Depth::Eight);
    for (const int n : {5, 6, 7}) {
        const TestPng out = readTestPng(dir / ("out_00" + std::to_string(n) + ".png"));
        EXPECT_EQ(out.samples, fileSamples(ref.render(in, n, 30))) << "frame " << n;
    }

    /* A later frame after a missing one: nothing is rendered, and the first missing file is named. */
    writeTestPng(dir / "in_9.png", picture);
    const RunResult gap = runTool(render("in_%d.png", "gap_%03d.png", {"--frame", "5"}));
    EXPECT_EQ(gap.exitCode, 2) << describe(gap);
    EXPECT_NE(gap.err.find("in_8.png"), std::string::npos) << gap.err;
    EXPECT_EQ(dir.entries().size(), 7u) << "no output is written";
}

TEST_F(RenderVideo, SequencesBecomeVideoAtTheGivenRate)
{
    for (const int n : {0, 1, 2}) {
        writeTestPng(dir / ("f" + std::to_string(n) + ".png"), patternImage(32, 24, 8, 6, 12));
    }
    const RunResult r = runTool(render("f%d.png", "out.mkv", {"--fps", "25"}));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(probe(dir.file("out.mkv"), "v:0", "stream=nb_read_frames,r_frame_rate"), "25/1,3\n");
}

} // namespace
} // namespace cftest
