/* BadInputTest.cpp — every kind of bad input or failing part ends with one line naming the file or
   parameter, the documented exit code, and no partial output: an existing output stays as it was and no
   temporary is left behind, interrupted runs included. */
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <thread>

#include "support/Scratch.h"
#include "support/TestPng.h"
#include "support/ToolRun.h"

namespace cftest {
namespace {

namespace fs = std::filesystem;

constexpr int kEffectFailed = 1;
constexpr int kBadInput = 2;

/* A run that failed as it should: the exit code, one error line mentioning `names`, nothing else. */
void expectFailure(const RunResult& r, int exitCode, const std::vector<std::string>& names)
{
    EXPECT_EQ(r.exitCode, exitCode) << describe(r);
    EXPECT_EQ(r.err.rfind("crumbleforge: error: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
    for (const std::string& name : names) {
        EXPECT_NE(r.err.find(name), std::string::npos) << "the message names " << name << ": " << r.err;
    }
    EXPECT_EQ(r.out, "");
}

/* A folder with a valid input and an existing output that no failure may touch. */
struct Workspace {
    ScratchDir dir;
    Workspace()
    {
        writeTestPng(dir / "in.png", patternImage(16, 12, 8, 6, 1));
        writeFile(dir / "out.png", "previous result");
    }
    void expectUntouched() const
    {
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.png", "out.png"})) << "no temporaries left";
        EXPECT_EQ(readFile(dir / "out.png"), "previous result");
    }
};

TEST(BadInput, MissingOrFolderInputsAreNamed)
{
    Workspace ws;
    expectFailure(runTool({"render", ws.dir.file("nope.png"), ws.dir.file("out.png")}), kBadInput, {"nope.png"});
    expectFailure(runTool({"render", ws.dir.file("nope.mp4"), ws.dir.file("out.png")}), kBadInput, {"nope.mp4"});
    expectFailure(runTool({"render", ws.dir.path().string(), ws.dir.file("out.png")}), kBadInput, {"folder"});
    expectFailure(runTool({"render", ws.dir.file("seq_%03d.png"), ws.dir.file("out_%03d.png"), "--frame", "4"}),
                  kBadInput, {"seq_%03d.png", "seq_004.png", "--frame"});
    ws.expectUntouched();
}

TEST(BadInput, UnreadableInputIsNamed)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files whatever their permissions; the unreadable case needs another user";
    }
    Workspace ws;
    fs::permissions(ws.dir / "in.png", fs::perms::none);
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("out.png")}), kBadInput, {"in.png"});
    fs::permissions(ws.dir / "in.png", fs::perms::owner_read | fs::perms::owner_write);
    ws.expectUntouched();
}

TEST(BadInput, DamagedPngsAreRefused)
{
    Workspace ws;
    const std::string good = readFile(ws.dir / "in.png");
    writeFile(ws.dir / "text.png", "this is not an image at all");
    writeFile(ws.dir / "cut.png", good.substr(0, good.size() / 2));
    std::string corrupt = good;
    for (std::size_t i = 40; i < corrupt.size() - 20; i += 7) {
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    }
    writeFile(ws.dir / "corrupt.png", corrupt);
    // A sound header promising 65535 x 65535 pixels of 16-bit RGBA (32 GiB once read) in a file of a few
    // dozen bytes: refused from its size, before any memory is asked for.
    writeTestPng(ws.dir / "huge.png", patternImage(1, 1, 16, 6, 1));
    std::string huge = readFile(ws.dir / "huge.png");
    for (const std::size_t at : {16u, 20u}) {
        huge.replace(at, 4, std::string("\x00\x00\xff\xff", 4));
    }
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(huge.data() + 12), 17);
    for (int i = 0; i < 4; ++i) {
        huge[static_cast<std::size_t>(29 + i)] = static_cast<char>(crc >> (24 - 8 * i));
    }
    writeFile(ws.dir / "huge.png", huge);
    expectFailure(runTool({"render", ws.dir.file("huge.png"), ws.dir.file("out.png")}), kBadInput,
                  {"huge.png", "damaged", "65535x65535"});
    expectFailure(runTool({"render", ws.dir.file("text.png"), ws.dir.file("out.png")}), kBadInput,
                  {"text.png", "not a PNG"});
    expectFailure(runTool({"render", ws.dir.file("cut.png"), ws.dir.file("out.png")}), kBadInput,
                  {"cut.png", "truncated"});
    expectFailure(runTool({"render", ws.dir.file("corrupt.png"), ws.dir.file("out.png")}), kBadInput,
                  {"corrupt.png", "damaged"});
    for (const char* name : {"text.png", "cut.png", "corrupt.png", "huge.png"}) {
        fs::remove(ws.dir / name);
    }
    ws.expectUntouched();
}

TEST(BadInput, FormatsFfmpegCannotHandleAreNamedWithItsReason)
{
    Workspace ws;
    writeFile(ws.dir / "notes.txt", "plain words, not a picture\n");
    const RunResult in = runTool({"render", ws.dir.file("notes.txt"), ws.dir.file("out.png")});
    expectFailure(in, kBadInput, {"notes.txt", "Invalid data"});
    fs::remove(ws.dir / "notes.txt");
    /* the reason FFmpeg logs, not the code it returns ("Device or resource busy") */
    writeFile(ws.dir / "huge.y4m", "YUV4MPEG2 W60000 H60000 F25:1 Ip A1:1 C420jpeg\nFRAME\nabc");
    expectFailure(runTool({"render", ws.dir.file("huge.y4m"), ws.dir.file("out.png")}), kBadInput,
                  {"huge.y4m", "60000x60000 is invalid"});
    fs::remove(ws.dir / "huge.y4m");

    /* An extension no format goes by is refused before any work; no temporary is left. */
    const RunResult out = runTool({"render", ws.dir.file("in.png"), ws.dir.file("out.xyz")});
    expectFailure(out, kBadInput, {"out.xyz"});
    EXPECT_EQ(out.err.find(".tmp-"), std::string::npos) << "messages show the user's name, not temporaries";
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("noextension")}), kBadInput,
                  {"noextension", "extension"});
    /* Playlists written as many files could not appear whole. */
    for (const char* playlist : {"out.m3u8", "out.mpd"}) {
        expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file(playlist)}), kBadInput,
                      {playlist, "many files"});
    }
    ws.expectUntouched();
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitized = true;
#elif defined(__has_feature)
constexpr bool kThreadSanitized = __has_feature(thread_sanitizer);
#else
constexpr bool kThreadSanitized = false;
#endif

TEST(BadInput, EndlessAndOversizedInputsStopWithBoundedMemory)
{
    Workspace ws;
    const fs::path& dir = ws.dir.path();
    for (const char* name : {"zero.h264", "zero.mjpeg", "zero.nut", "zero.png", "endless_0.png"}) {
        fs::create_symlink("/dev/zero", dir / name);
    }
    writeFile(dir / "huge.png", "");
    fs::resize_file(dir / "huge.png", std::uintmax_t{4} << 30); /* sparse: 4 GiB that take no disk */
    /* headers that claim frames of 16000 x 16000 (FFmpeg's decoders take that size) and ones past any bound */
    writeFile(dir / "claims.y4m", "YUV4MPEG2 W16000 H16000 F25:1 Ip A1:1 C420jpeg\nFRAME\nabc");
    writeFile(dir / "wide.y4m", "YUV4MPEG2 W100000 H1000 F25:1 Ip A1:1 C420jpeg\nFRAME\nabc");
    writeFile(dir / "vast.y4m", "YUV4MPEG2 W100000 H100000 F25:1 Ip A1:1 C420jpeg\nFRAME\nabc");
    std::vector<std::string> manyStreams{"-f", "lavfi", "-i", "testsrc=size=16x16:rate=5:duration=0.2", "-f", "lavfi",
                                         "-i", "anullsrc=sample_rate=8000:channel_layout=mono", "-map", "0"};
    for (int i = 0; i < 300; ++i) {
        manyStreams.insert(manyStreams.end(), {"-map", "1"});
    }
    manyStreams.insert(manyStreams.end(), {"-c:a", "pcm_u8", "-t", "0.2", ws.dir.file("many.mkv")});
    ffmpeg(manyStreams);
    struct Case {
        std::string input;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases{
        {"zero.h264", {"zero.h264", "without finding a frame"}},
        {"zero.mjpeg", {"zero.mjpeg", "without finding a frame"}},
        {"zero.nut", {"zero.nut", "without finding a frame"}},
        {"zero.png", {"zero.png", "not a PNG"}},
        {"endless_%d.png", {"endless_0.png", "not a PNG"}},
        {"huge.png", {"huge.png", "not a PNG"}},
        {"claims.y4m", {"claims.y4m", "no frames"}},
        {"wide.y4m", {"wide.y4m", "100000x1000"}},
        {"vast.y4m", {"vast.y4m", "100000x100000"}},
        {"many.mkv", {"many.mkv", "streams", "256"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        /* a deadline, and (where no sanitizer reserves address space) a cap on it, so that the faults this
           guards against end the run instead of the machine */
        std::vector<std::string> argv{"timeout", "-s", "KILL", "60"};
        if (!kSanitized) {
            argv.insert(argv.end(), {"prlimit", "--as=" + std::to_string(std::uint64_t{4} << 30), "--"});
        }
        const std::vector<std::string> tool =
            toolCommand({"render", ws.dir.file(c.input), ws.dir.file("out.png")});
        argv.insert(argv.end(), tool.begin(), tool.end());
        const RunResult r = runProgram(argv);
        expectFailure(r, kBadInput, c.names);
        /* at most one frame of the claimed size (1 GiB) is ever made, and the readers keep 64 MiB of input; the
           thread sanitizer's shadow of the memory touched counts in the peak too (about twice as much again) */
        EXPECT_LT(r.peakKiB / 1024, kThreadSanitized ? 4200 : 1400);
    }
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename() != "in.png" && e.path().filename() != "out.png") {
            fs::remove(e.path());
        }
    }
    ws.expectUntouched();
}

TEST(BadInput, OutputsThatCannotTakeTheInputAreRefusedBeforeWork)
{
    Workspace ws;
    writeTestPng(ws.dir / "s_1.png", patternImage(8, 8, 8, 6, 2));
    writeTestPng(ws.dir / "s_2.png", patternImage(8, 8, 8, 6, 3));
    expectFailure(runTool({"render", ws.dir.file("s_%d.png"), ws.dir.file("out.png"), "--frame", "1"}), kBadInput,
                  {"out.png", "sequence"});
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("o_%d.jpg")}), kBadInput, {"o_%d.jpg"});
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.path().string()}), kBadInput, {"folder"});
    /* audio formats, whose only picture is a cover image: a typo of .mp3 for .mp4 must not lose the render */
    for (const char* audio : {"o.mp3", "o.flac", "o.m4a"}) {
        expectFailure(runTool({"render", ws.dir.file("s_%d.png"), ws.dir.file(audio), "--frame", "1"}), kBadInput,
                      {audio, "audio format"});
    }
    fs::remove(ws.dir / "s_1.png");
    fs::remove(ws.dir / "s_2.png");
    ws.expectUntouched();
}

TEST(BadInput, MissingOutputFolderIsNamed)
{
    Workspace ws;
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("no/such/out.png")}), kBadInput,
                  {"no/such"});
    writeFile(ws.dir / "plain", "a file, not a folder");
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("plain/out_%02d.png")}), kBadInput,
                  {"plain"});
    fs::remove(ws.dir / "plain");
    ws.expectUntouched();
}

TEST(BadInput, BadParameterValuesNameTheParameterAndWhatIsAllowed)
{
    Workspace ws;
    auto render = [&](const std::string& setting) {
        return runTool({"render", ws.dir.file("in.png"), ws.dir.file("out.png"), "--set", setting});
    };
    expectFailure(render("Pattern Size=0.5"), kBadInput, {"Pattern Size", "1 to 10"});
    expectFailure(render("Seed=1001"), kBadInput, {"Seed", "0 to 1000"});
    expectFailure(render("Presets=Squares"), kBadInput, {"Presets", "'Squares'", "Diagonal (Right)", "1 to 10"});
    expectFailure(render("Chaos Behavior=4"), kBadInput, {"Chaos Behavior", "Increase & Decrease Size"});
    expectFailure(render("Pixel Color=orange"), kBadInput, {"Pixel Color", "#RRGGBB"});
    expectFailure(render("Enable Chaos=sometimes"), kBadInput, {"Enable Chaos", "on, off"});
    expectFailure(render("Sharpness=2"), kBadInput, {"'Sharpness'", "Pattern Size"});
    expectFailure(runTool({"render", ws.dir.file("in.png")}), kBadInput, {"IN OUT"});
    ws.expectUntouched();
}

TEST(BadInput, ModulesThatFailToLoadOrToRenderAreEffectFailures)
{
    Workspace ws;
    writeFile(ws.dir / "fake.so", "not a shared object");
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("out.png"), "--plugin", ws.dir.file("fake.so")}),
                  kBadInput, {"fake.so", "not an effect module"});
    writeFile(ws.dir / "fake.so", std::string("\x7f" "ELF", 4) + "but cut short");
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("out.png"), "--plugin", ws.dir.file("fake.so")}),
                  kEffectFailed, {"fake.so"});
    fs::remove(ws.dir / "fake.so");
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("out.png"), "--plugin", ws.dir.file("none.so")}),
                  kBadInput, {"none.so"});
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("out.png"), "--plugin", CF_FAILING_MODULE}),
                  kEffectFailed, {"frame 0", "error 512"});
    expectFailure(runTool({"render", ws.dir.file("in.png"), ws.dir.file("out_%d.png"), "--plugin", CF_FAILING_MODULE}),
                  kEffectFailed, {"frame 0"});
    ws.expectUntouched();
}

TEST(BadInput, ARenderFailingPartwayLeavesEveryEarlierOutputAsItWas)
{
    ScratchDir dir;
    for (int i : {0, 1, 3}) {
        writeTestPng(dir / ("s_" + std::to_string(i) + ".png"), patternImage(8, 8, 8, 6, static_cast<unsigned>(i)));
    }
    const std::string whole = readFile(dir / "s_0.png");
    writeFile(dir / "s_2.png", whole.substr(0, whole.size() - 30)); // the third frame is cut short
    for (int i : {0, 1, 2}) {
        writeFile(dir / ("out_" + std::to_string(i) + ".png"), "previous frame " + std::to_string(i));
    }
    writeFile(dir / "out.mkv", "previous video");
    const std::vector<std::string> before = dir.entries();

    // Frames 0 and 1 render before frame 2 fails to read; none of them may replace what was there.
    expectFailure(runTool({"render", dir.file("s_%d.png"), dir.file("out_%d.png")}), kBadInput, {"s_2.png"});
    expectFailure(runTool({"render", dir.file("s_%d.png"), dir.file("out.mkv")}), kBadInput, {"s_2.png"});
    EXPECT_EQ(dir.entries(), before) << "no temporaries left, nothing new";
    for (int i : {0, 1, 2}) {
        EXPECT_EQ(readFile(dir / ("out_" + std::to_string(i) + ".png")), "previous frame " + std::to_string(i));
    }
    EXPECT_EQ(readFile(dir / "out.mkv"), "previous video");
}

TEST(BadInput, ASequenceIsReplacedWholeOrNotAtAll)
{
    ScratchDir dir;
    for (int i = 0; i < 4; ++i) {
        writeTestPng(dir / ("s_" + std::to_string(i) + ".png"), patternImage(8, 8, 8, 6, static_cast<unsigned>(i)));
    }
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string fault; /* what the preloaded rename() does, see fixtures/InterruptingRename.cpp */
        int exitCode;
        int signal;
        std::vector<int> fresh; /* frames of this render; every other one of out_0..out_5 is the earlier file */
        std::vector<int> gone;  /* earlier frames removed */
    };
    const std::vector<Case> cases{
        {"a shorter sequence replaces a longer one whole", {}, "", 0, 0, {0, 1, 2, 3}, {4, 5}},
        {"an interrupt while frames go in place waits for the last", {}, "interrupt:3", -1, SIGINT, {0, 1, 2, 3}, {4, 5}},
        {"a failure while frames go in place puts every earlier one back", {}, "fail:3", kBadInput, 0, {}, {}},
        {"a range leaves the frames around it to other ranges", {"--range", "1-3"}, "", 0, 0, {1, 2}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < 6; ++i) {
            writeFile(dir / ("out_" + std::to_string(i) + ".png"), "earlier frame " + std::to_string(i));
        }
        std::vector<std::string> command{"env", "LD_PRELOAD=" CF_INTERRUPTING_RENAME, "CF_RENAME_FAULT=" + c.fault,
                                         "ASAN_OPTIONS=verify_asan_link_order=0"};
        std::vector<std::string> args{"render", dir.file("s_%d.png"), dir.file("out_%d.png")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        for (const std::string& a : toolCommand(args)) {
            command.push_back(a);
        }
        const RunResult r = runProgram(command);
        EXPECT_EQ(r.exitCode, c.exitCode) << describe(r);
        EXPECT_EQ(r.signal, c.signal) << describe(r);
        std::vector<std::string> expected{"s_0.png", "s_1.png", "s_2.png", "s_3.png"};
        for (int i = 0; i < 6; ++i) {
            const std::string name = "out_" + std::to_string(i) + ".png";
            if (std::count(c.gone.begin(), c.gone.end(), i) != 0) {
                continue;
            }
            expected.push_back(name);
            const bool fresh = std::count(c.fresh.begin(), c.fresh.end(), i) != 0;
            EXPECT_EQ(readFile(dir / name).rfind("earlier", 0) == 0, !fresh) << name;
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(dir.entries(), expected) << "one whole sequence, no temporaries";
        if (!c.gone.empty() && c.signal == 0) {
            EXPECT_NE(r.err.find("removed 2 frames of the earlier, longer sequence"), std::string::npos) << r.err;
        }
    }
}

/* A small tmpfs mounted for the test; needs the privilege to mount. */
class SmallDisk {
public:
    SmallDisk(const fs::path& at, const char* options, unsigned long flags = 0) : at_(at)
    {
        fs::create_directory(at);
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", flags, options) == 0;
    }
    ~SmallDisk()
    {
        if (mounted_) {
            ::umount2(at_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const noexcept { return mounted_; }

private:
    fs::path at_;
    bool mounted_ = false;
};

/* An input that renders to incompressible output: every pixel its own solid block in its own colour. */
std::vector<std::string> noisyRender(const ScratchDir& dir, const std::string& out)
{
    TestPng noise = patternImage(256, 256, 8, 6, 9);
    std::uint32_t state = 2463534242u;
    for (std::uint16_t& sample : noise.samples) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        sample = static_cast<std::uint16_t>(state >> 24);
    }
    writeTestPng(dir / "noise.png", noise);
    return {"render", dir.file("noise.png"), out, "-s", "Presets=Solid", "-s", "Use Original Color=on", "-s",
            "Brightness=100", "-s", "Horizontal Detail=1", "-s", "Vertical Detail=1"};
}

TEST(BadInput, FullDiskLeavesNoPartialFile)
{
    ScratchDir dir;
    SmallDisk disk(dir / "disk", "size=16k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and mount permission)";
    }
    writeFile(dir / "disk/out.png", "previous result");
    expectFailure(runTool(noisyRender(dir, dir.file("disk/out.png"))), kBadInput, {"disk/out.png", "space"});
    expectFailure(runTool(noisyRender(dir, dir.file("disk/out_%02d.png"))), kBadInput, {"disk/out_00.png"});
    for (const char* video : {"disk/out.mkv", "disk/out.apng"}) {
        expectFailure(runTool(noisyRender(dir, dir.file(video))), kBadInput, {video, "space"});
    }
    EXPECT_EQ(entriesOf(dir / "disk"), std::vector<std::string>{"out.png"});
    EXPECT_EQ(readFile(dir / "disk/out.png"), "previous result");
}

TEST(BadInput, ReadOnlyFolderIsNamed)
{
    ScratchDir dir;
    SmallDisk disk(dir / "ro", "size=16k", MS_RDONLY);
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a read-only tmpfs here (needs root and mount permission)";
    }
    writeTestPng(dir / "in.png", patternImage(8, 8, 8, 6, 1));
    expectFailure(runTool({"render", dir.file("in.png"), dir.file("ro/out.png")}), kBadInput, {"ro", "Read-only"});
    expectFailure(runTool({"render", dir.file("in.png"), dir.file("ro/out.mp4")}), kBadInput, {"ro"});
    EXPECT_TRUE(entriesOf(dir / "ro").empty());
}

/* Waits until some name in `folder` starts with `prefix`; false after a few seconds. */
bool appears(const fs::path& folder, const std::string& prefix, bool needsContent)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& e : fs::directory_iterator(folder)) {
            const std::string name = e.path().filename().string();
            std::error_code ec;
            if (name.rfind(prefix, 0) == 0 &&
                (!needsContent || (e.is_directory(ec) ? !fs::is_empty(e.path(), ec) : e.file_size(ec) > 0))) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

TEST(BadInput, InterruptedRendersRemoveTheirTemporaries)
{
    ScratchDir dir;
    ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t", "12", "-c:v", "ffv1", dir.file("long.mkv")});
    struct Case {
        int signal;
        std::string out;
        std::string temporary;
        bool written; /* Matroska holds its first cluster until a keyframe closes it, near the end here */
    };
    for (const Case& c : {Case{SIGTERM, "frame_%04d.png", ".frame_0000.tmp-", true},
                          Case{SIGINT, "clip.mp4", ".clip.tmp-", true}, Case{SIGHUP, "still.mkv", ".still.tmp-", false},
                          Case{SIGUSR1, "other.mp4", ".other.tmp-", true}}) {
        SCOPED_TRACE(c.out);
        Child tool(toolCommand({"render", dir.file("long.mkv"), dir.file(c.out)}));
        ASSERT_TRUE(appears(dir.path(), c.temporary, c.written)) << "the render never started writing";
        ::kill(tool.pid(), c.signal);
        const RunResult r = tool.wait();
        EXPECT_EQ(r.signal, c.signal) << "the command dies of the signal it got: " << describe(r);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"long.mkv"});
    }

    // A kill that allows no clean-up (or a power cut) leaves the hidden temporary behind, never a partial
    // file in place of the previous output.
    writeFile(dir / "kept.mp4", "previous result");
    Child tool(toolCommand({"render", dir.file("long.mkv"), dir.file("kept.mp4")}));
    ASSERT_TRUE(appears(dir.path(), ".kept.tmp-", true)) << "the render never started writing";
    ::kill(tool.pid(), SIGKILL);
    EXPECT_EQ(tool.wait().signal, SIGKILL);
    EXPECT_EQ(readFile(dir / "kept.mp4"), "previous result");
    const std::vector<std::string> left = dir.entries();
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[0].rfind(".kept.tmp-", 0), 0u) << left[0];
    EXPECT_EQ(std::vector<std::string>(left.begin() + 1, left.end()), (std::vector<std::string>{"kept.mp4", "long.mkv"}));
}

} // namespace
} // namespace cftest
