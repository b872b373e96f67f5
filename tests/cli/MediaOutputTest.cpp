/* MediaOutputTest.cpp — video as viewers get it: playable default codecs per container, alpha kept where the
   container can hold it, colours read by the stream's own description, timing and audio offsets kept, and the
   inputs that used to go wrong quietly (output that is the input, damaged files, animated PNG, y4m). */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/Scratch.h"
#include "support/ToolRun.h"

namespace fs = std::filesystem;

namespace cftest {
namespace {

std::string probe(const std::string& file, const std::string& stream, const std::string& entries)
{
    const RunResult r = runProgram({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", entries, "-of",
                                    "csv=p=0", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

/* The first frame as 8-bit RGBA, read by `decoder` (empty: FFmpeg's choice) honouring the stream's tags. */
std::string firstFrame(const std::string& file, const std::string& decoder = "")
{
    std::vector<std::string> args{"ffmpeg", "-nostdin", "-v", "error"};
    if (!decoder.empty()) {
        args.insert(args.end(), {"-c:v", decoder});
    }
    args.insert(args.end(), {"-i", file, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgba", "pipe:1"});
    const RunResult r = runProgram(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

/* The presentation times of the video frames, "0.500000 0.550000 ...". */
std::string frameTimes(const std::string& file)
{
    const RunResult r = runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                    "frame=pts_time", "-of", "default=nw=1", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string times;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("pts_time=", 0) == 0) {
            times += (times.empty() ? "" : " ") + line.substr(9);
        }
    }
    return times;
}

bool someTransparent(const std::string& rgba)
{
    for (std::size_t i = 3; i < rgba.size(); i += 4) {
        if (static_cast<unsigned char>(rgba[i]) < 255) {
            return true;
        }
    }
    return false;
}

class MediaOutput : public ::testing::Test {
protected:
    std::vector<std::string> render(const std::string& in, const std::string& out, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"render", dir.file(in), dir.file(out), "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    void makeClip(const std::string& name)
    {
        ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-t", "0.5", "-c:v", "libx264", "-pix_fmt",
                "yuv420p", dir.file(name)});
    }
    ScratchDir dir;
};

TEST_F(MediaOutput, EachContainerGetsACodecAndPixelFormatPlayersTake)
{
    makeClip("clip.mp4");
    struct Case {
        const char* out;
        const char* expected; /* codec,profile,pix_fmt as ffprobe prints them */
    };
    for (const Case& c : {Case{"o.mp4", "h264,High,yuv420p\n"}, Case{"o.m4v", "h264,High,yuv420p\n"},
                          Case{"o.mov", "h264,High,yuv420p\n"}, Case{"o.mkv", "h264,High,yuv420p\n"},
                          Case{"o.webm", "vp9,Profile 0,yuv420p\n"}, Case{"o.avi", "mpeg4,Simple Profile,yuv420p\n"},
                          Case{"o.y4m", "rawvideo,unknown,yuv420p\n"}}) {
        const RunResult r = runTool(render("clip.mp4", c.out));
        ASSERT_EQ(r.exitCode, 0) << c.out << ": " << describe(r);
        EXPECT_EQ(probe(dir.file(c.out), "v:0", "stream=codec_name,profile,pix_fmt"), c.expected) << c.out;
    }
    /* y4m is also read back */
    const RunResult back = runTool(render("o.y4m", "back.mkv"));
    EXPECT_EQ(back.exitCode, 0) << describe(back);
    /* MJPEG takes only full-range formats unless told otherwise */
    const RunResult mjpeg = runTool(render("clip.mp4", "mjpeg.mp4", {"--codec", "mjpeg"}));
    ASSERT_EQ(mjpeg.exitCode, 0) << describe(mjpeg);
    EXPECT_EQ(probe(dir.file("mjpeg.mp4"), "v:0", "stream=codec_name,pix_fmt"), "mjpeg,yuvj420p\n");
    /* -q means quiet: also x265 and SVT-AV1, which print their banners and statistics themselves */
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x64:rate=10", "-t", "0.3", "-c:v", "libx264", dir.file("big.mp4")});
    for (const char* codec : {"libx265", "libsvtav1"}) {
        const RunResult quiet = runTool(render("big.mp4", std::string(codec) + ".mkv", {"--codec", codec}));
        ASSERT_EQ(quiet.exitCode, 0) << codec << ": " << describe(quiet);
        EXPECT_EQ(quiet.err, "") << codec;
    }
    /* MOV says it takes Opus and then refuses it in the header: re-encoded */
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i", "sine=sample_rate=48000", "-t",
            "0.5", "-c:v", "libx264", "-c:a", "libopus", dir.file("opus.mkv")});
    const RunResult opus = runTool(render("opus.mkv", "opus.mov"));
    ASSERT_EQ(opus.exitCode, 0) << describe(opus);
    EXPECT_EQ(probe(dir.file("opus.mov"), "a:0", "stream=codec_name"), "aac\n");
}

TEST_F(MediaOutput, TransparencyIsKeptWhereTheContainerHoldsItAndTheDropIsToldElsewhere)
{
    makeClip("clip.mp4");
    struct Case {
        const char* out;
        const char* codec;
        const char* decoder; /* one that reads the alpha */
    };
    for (const Case& c : {Case{"a.mov", "prores", ""}, Case{"a.mkv", "ffv1", ""}, Case{"a.webm", "vp9", "libvpx-vp9"},
                          Case{"a.gif", "gif", ""}}) {
        const RunResult r = runTool(render("clip.mp4", c.out, {"-s", "Transparent Background=on"}));
        ASSERT_EQ(r.exitCode, 0) << c.out << ": " << describe(r);
        EXPECT_EQ(probe(dir.file(c.out), "v:0", "stream=codec_name"), std::string(c.codec) + "\n");
        EXPECT_TRUE(someTransparent(firstFrame(dir.file(c.out), c.decoder))) << c.out;
    }
    const RunResult opaque = runTool({"render", dir.file("clip.mp4"), dir.file("o.webm")});
    ASSERT_EQ(opaque.exitCode, 0) << describe(opaque);
    EXPECT_EQ(probe(dir.file("o.webm"), "v:0", "stream_tags=alpha_mode"), "\n") << "alpha is signalled only when there is some";
    const RunResult dropped = runTool({"render", dir.file("clip.mp4"), dir.file("a.mp4"), "-s", "Transparent Background=on"});
    ASSERT_EQ(dropped.exitCode, 0) << describe(dropped);
    EXPECT_NE(dropped.err.find("transparency"), std::string::npos) << dropped.err;
}

TEST_F(MediaOutput, APatchComesBackInItsColoursAsATagHonouringPlayerShowsIt)
{
    /* Small frames count as BT.601 when untagged: this one says BT.709, which must be read and written. The second
       is full range and dark, which outputs that cannot say so must bring to limited range, not crush. Every pixel
       is either the input's colour or a background of the colour a player shows for the input. */
    ffmpeg({"-f", "lavfi", "-i", "color=c=0x1AC61B:size=64x48:rate=10", "-t", "0.3", "-vf",
            "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-color_primaries", "bt709", "-color_trc",
            "bt709", "-colorspace", "bt709", "-c:v", "libx264", dir.file("patch.mp4")});
    ffmpeg({"-f", "lavfi", "-i", "color=c=0x0A0C0B:size=64x48:rate=10", "-t", "0.3", "-vf",
            "scale=out_range=pc,format=yuvj420p", "-color_range", "pc", "-c:v", "libx264", dir.file("full.mp4")});
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {Case{"patch.mp4", "p.mp4"}, Case{"patch.mp4", "p.webm"}, Case{"patch.mp4", "p.avi"},
                          Case{"full.mp4", "f.avi"}, Case{"full.mp4", "f.ts"}, Case{"full.mp4", "f.mkv"}}) {
        const std::string in = firstFrame(dir.file(c.in));
        ASSERT_GE(in.size(), 4u);
        const int shown[3] = {static_cast<unsigned char>(in[0]), static_cast<unsigned char>(in[1]),
                              static_cast<unsigned char>(in[2])};
        char background[16];
        std::snprintf(background, sizeof background, "#%02X%02X%02X", shown[0], shown[1], shown[2]);
        const RunResult r = runTool(render(c.in, c.out, {"-s", "Presets=1", "-s", "Use Original Color=on", "-s",
                                                         std::string("Background Color=") + background}));
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        const std::string frame = firstFrame(dir.file(c.out));
        int worst = 0;
        for (std::size_t i = 0; i + 3 < frame.size(); i += 4) {
            for (int k = 0; k < 3; ++k) {
                worst = std::max(worst, std::abs(static_cast<unsigned char>(frame[i + k]) - shown[k]));
            }
        }
        EXPECT_LE(worst, 4) << c.in << " to " << c.out;
    }
    EXPECT_EQ(probe(dir.file("p.mp4"), "v:0", "stream=color_space,color_range,color_primaries,color_transfer"),
              "tv,bt709,bt709,bt709\n");
}

TEST_F(MediaOutput, FlatRgbColoursSurviveChangesOfDepthAndModel)
{
    /* RGB footage, 8 and 16 bits, drawn unchanged (a flat frame in its own colour). Each output read back at its
       own depth must hold exactly the input's level: RGB into YUV gets a matrix players know, never "GBR" on YUV
       planes, and depth changes round as PNG stills do. */
    struct Case {
        const char* what;
        const char* inFormat;  /* rawvideo pixel format of the flat input */
        std::string sample;    /* one pixel of it */
        const char* out;
        std::vector<std::string> extra;
        const char* readAs;    /* pixel format the output is read back in */
        std::string expected;  /* one pixel of that */
    };
    const std::string white8("\xff\xff\xff", 3);
    const std::string grey8("\x80\x80\x80", 3);
    const std::string grey16("\x80\x80\x80\x80\x80\x80", 6);
    const std::vector<Case> cases{
        {"8-bit RGB into VP9", "rgb24", white8, "w.webm", {}, "rgb24", white8},
        {"8-bit RGB into H.264", "rgb24", grey8, "g.mp4", {}, "rgb24", grey8},
        {"16-bit RGB drawn at 8 bits", "rgb48le", grey16, "g_%d.png", {"--depth", "8"}, "rgb24", grey8},
        {"8-bit RGB into 16-bit RGB", "rgb24", grey8, "g.mkv", {"--codec", "ffv1", "--pix-fmt", "gbrp16le"}, "rgb48le",
         grey16},
    };
    auto check = [&](const Case& c) {
        std::string frames;
        for (int i = 0; i < 3 * 64 * 48; ++i) {
            frames += c.sample;
        }
        writeFile(dir / "flat.raw", frames);
        ffmpeg({"-f", "rawvideo", "-pix_fmt", c.inFormat, "-s", "64x48", "-r", "10", "-i", dir.file("flat.raw"), "-c:v",
                "ffv1", dir.file("flat.mkv")});
        std::vector<std::string> extra{"-s", "Presets=Solid", "-s", "Use Original Color=on"};
        extra.insert(extra.end(), c.extra.begin(), c.extra.end());
        const RunResult r = runTool(render("flat.mkv", c.out, extra));
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        const std::string written = std::string(c.out).find('%') != std::string::npos ? "g_0.png" : c.out;
        const RunResult back = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", dir.file(written), "-frames:v", "1",
                                           "-f", "rawvideo", "-pix_fmt", c.readAs, "pipe:1"});
        ASSERT_EQ(back.exitCode, 0) << back.err;
        ASSERT_EQ(back.out.size(), 64u * 48u * c.expected.size());
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < back.out.size(); i += c.expected.size()) {
            wrong += back.out.compare(i, c.expected.size(), c.expected) != 0 ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u) << "first pixel " << testing::PrintToString(back.out.substr(0, c.expected.size()));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        check(c);
    }
    EXPECT_EQ(probe(dir.file("g.mp4"), "v:0", "stream=color_space,color_range"), "tv,smpte170m\n");
}

TEST_F(MediaOutput, APortraitPhoneClipComesOutUprightInEveryFormat)
{
    /* Stored 64x48, red left and blue right, with a display matrix that turns it a quarter: shown 48x64 with the
       blue half on top. The effect draws on the picture as shown, and the output needs no turn of its own. */
    ffmpeg({"-f", "lavfi", "-i", "color=c=red:size=32x48:rate=10[a];color=c=blue:size=32x48:rate=10[b];[a][b]hstack",
            "-t", "0.3", "-c:v", "libx264", "-pix_fmt", "yuv420p", dir.file("stored.mp4")});
    ffmpeg({"-i", dir.file("stored.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90", dir.file("phone.mp4")});
    ASSERT_NE(probe(dir.file("phone.mp4"), "v:0", "stream_side_data=rotation"), "\n") << "the input is as meant";
    for (const char* out : {"u.mp4", "u.mov", "u.mkv", "u.webm", "u.avi", "u.gif", "u_%d.png"}) {
        const RunResult r = runTool(render("phone.mp4", out, {"-s", "Presets=1", "-s", "Use Original Color=on", "-s",
                                                              "Background Color=#FF0000"}));
        ASSERT_EQ(r.exitCode, 0) << out << ": " << describe(r);
        std::string file = dir.file(out);
        if (file.find("%d") != std::string::npos) {
            file.replace(file.find("%d"), 2, "0");
        }
        EXPECT_EQ(probe(file, "v:0", "stream=width,height"), "48,64\n") << out;
        EXPECT_EQ(probe(file, "v:0", "stream_side_data=rotation"), "\n") << out << ": upright, no turn left to do";
        const std::string frame = firstFrame(file);
        ASSERT_EQ(frame.size(), 48u * 64 * 4) << out;
        long top = 0;
        long bottom = 0;
        for (std::size_t i = 0; i < frame.size(); i += 4) {
            const bool blue = static_cast<unsigned char>(frame[i + 2]) > 128 && static_cast<unsigned char>(frame[i]) < 128;
            (i < frame.size() / 2 ? top : bottom) += blue ? 1 : 0;
        }
        EXPECT_GT(top, 3 * bottom + 50) << out << ": the blue half is on top";
    }
}

TEST_F(MediaOutput, TheLargestVideoIsRenderedAndOtherStreamsGoAlongWhereTheFormatTakesThem)
{
    /* a thumbnail stream first, the main picture second, two audio tracks and subtitles */
    writeFile(dir / "s.srt", "1\n00:00:00,000 --> 00:00:00,400\nhello\n");
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=32x18:rate=10", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f",
            "lavfi", "-i", "sine=sample_rate=48000", "-f", "lavfi", "-i", "sine=sample_rate=44100:frequency=200", "-i",
            dir.file("s.srt"), "-t", "0.5", "-map", "0:v", "-map", "1:v", "-map", "2", "-map", "3", "-map", "4", "-c:v",
            "libx264", "-c:a", "aac", "-c:s", "srt", dir.file("many.mkv")});
    const RunResult mkv = runTool({"render", dir.file("many.mkv"), dir.file("out.mkv")});
    ASSERT_EQ(mkv.exitCode, 0) << describe(mkv);
    EXPECT_EQ(probe(dir.file("out.mkv"), "v:0", "stream=width,height"), "64,48\n");
    EXPECT_EQ(runProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0",
                          dir.file("out.mkv")}).out,
              "video\naudio\naudio\nsubtitle\n");
    EXPECT_NE(mkv.err.find("leaves out a stream of"), std::string::npos) << mkv.err;
    EXPECT_NE(mkv.err.find("video (h264)"), std::string::npos) << "the thumbnail is named: " << mkv.err;

    const RunResult mp4 = runTool({"render", dir.file("many.mkv"), dir.file("out.mp4")});
    ASSERT_EQ(mp4.exitCode, 0) << describe(mp4);
    EXPECT_EQ(runProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0",
                          dir.file("out.mp4")}).out,
              "video\naudio\naudio\n");
    EXPECT_NE(mp4.err.find("subtitle (subrip)"), std::string::npos) << "what MP4 cannot take is named: " << mp4.err;
}

TEST_F(MediaOutput, VariableFrameTimesAndAVideoStartingAfterItsAudioSurvive)
{
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "2",
            "-filter_complex", "[0:v]settb=1/1000,setpts='(N*N*0.05+0.5)/TB'[v]", "-map", "[v]", "-map", "1:a",
            "-fps_mode", "passthrough", "-c:v", "libx264", "-c:a", "pcm_s16le", dir.file("vfr.mkv")});
    const std::string times = frameTimes(dir.file("vfr.mkv"));
    ASSERT_EQ(times, "0.500000 0.600000 0.700000 0.900000 1.300000 1.800000") << "the input is as meant";
    for (const char* out : {"vfr.mov", "vfr.mkv.mkv"}) {
        const RunResult r = runTool(render("vfr.mkv", out));
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        EXPECT_EQ(frameTimes(dir.file(out)), times) << out;
        EXPECT_EQ(probe(dir.file(out), "v:0", "stream=start_time"), "0.500000\n") << out;
        EXPECT_EQ(probe(dir.file(out), "a:0", "stream=start_time"), probe(dir.file("vfr.mkv"), "a:0", "stream=start_time"));
    }
}

TEST_F(MediaOutput, AnOutputThatIsTheInputIsRefusedThroughAnyName)
{
    makeClip("clip.mp4");
    const std::string before = readFile(dir / "clip.mp4");
    fs::create_symlink("clip.mp4", dir / "link.mp4");
    fs::create_hard_link(dir / "clip.mp4", dir / "hard.mp4");
    for (const std::string& out : {dir.file("clip.mp4"), dir.file("link.mp4"), dir.file("hard.mp4"),
                                   (dir / "." / "clip.mp4").string()}) {
        const RunResult r = runTool({"render", dir.file("clip.mp4"), out});
        EXPECT_EQ(r.exitCode, 2) << out << ": " << describe(r);
        EXPECT_NE(r.err.find("is the input"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(dir / "clip.mp4"), before);
    ffmpeg({"-i", dir.file("clip.mp4"), dir.file("s_%d.png")});
    const RunResult seq = runTool({"render", dir.file("s_%d.png"), (dir / "." / "s_%d.png").string(), "--frame", "1"});
    EXPECT_EQ(seq.exitCode, 2) << describe(seq);
    EXPECT_NE(seq.err.find("s_1.png"), std::string::npos) << seq.err;
    /* two patterns that meet only at a later frame, also when a range is rendered */
    ffmpeg({"-i", dir.file("clip.mp4"), "-start_number", "8", dir.file("t_%d.png")});
    const RunResult later = runTool({"render", dir.file("t_%d.png"), dir.file("t_%02d.png"), "--frame", "8",
                                     "--range", "0-"});
    EXPECT_EQ(later.exitCode, 2) << describe(later);
    EXPECT_NE(later.err.find("t_10.png"), std::string::npos) << later.err;
}

TEST_F(MediaOutput, ADamagedVideoRendersWhatDecodesKeepsItAndEndsWithCodeThree)
{
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-t", "3", "-c:v", "libx264", "-g", "5",
            dir.file("full.mkv")});
    const std::string full = readFile(dir / "full.mkv");
    writeFile(dir / "cut.mkv", full.substr(0, full.size() * 6 / 10));
    const RunResult r = runTool({"render", dir.file("cut.mkv"), dir.file("out.mkv")});
    EXPECT_EQ(r.exitCode, 3) << describe(r);
    EXPECT_NE(r.err.find("input: "), std::string::npos) << "the reader's own error is shown: " << r.err;
    EXPECT_NE(r.err.find("of the 30 frames it declares"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir / "out.mkv")) << "what decoded is kept";

    /* an MP4 whose audio chunks from the middle on point past the end of the file (the last 'stco' box is the
       audio track's): its demuxer ends the track early without a word */
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "2",
            "-c:v", "libx264", "-c:a", "aac", dir.file("tone.mp4")});
    std::string mp4 = readFile(dir / "tone.mp4");
    const std::size_t box = mp4.rfind("stco");
    ASSERT_NE(box, std::string::npos);
    const auto byte = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<unsigned char>(mp4[at])); };
    const std::uint32_t entries = byte(box + 8) << 24 | byte(box + 9) << 16 | byte(box + 10) << 8 | byte(box + 11);
    ASSERT_GT(entries, 2u);
    for (std::uint32_t i = entries / 2; i < entries; ++i) {
        mp4[box + 12 + 4 * i] = '\x7f';
    }
    writeFile(dir / "tone-cut.mp4", mp4);
    const RunResult audio = runTool({"render", dir.file("tone-cut.mp4"), dir.file("tone.mkv")});
    EXPECT_EQ(audio.exitCode, 3) << describe(audio);
    EXPECT_NE(audio.err.find("its audio ends after"), std::string::npos) << audio.err;

    /* a YUV4MPEG file cut inside a frame, which its demuxer takes for the end of the file */
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-t", "0.4", "-pix_fmt", "yuv420p", dir.file("full.y4m")});
    const std::string y4m = readFile(dir / "full.y4m");
    writeFile(dir / "cut.y4m", y4m.substr(0, y4m.size() - 1000));
    const RunResult cut = runTool({"render", dir.file("cut.y4m"), dir.file("out.mp4")});
    EXPECT_EQ(cut.exitCode, 3) << describe(cut);
    EXPECT_NE(cut.err.find("ends inside a frame"), std::string::npos) << cut.err;
}

TEST_F(MediaOutput, AnAnimatedPngRendersEveryFrame)
{
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=5", "-t", "1", "-f", "apng", dir.file("anim.png")});
    const RunResult r = runTool(render("anim.png", "f_%d.png"));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_TRUE(fs::exists(dir / "f_4.png"));
    EXPECT_FALSE(fs::exists(dir / "f_5.png"));
}

} // namespace
} // namespace cftest
