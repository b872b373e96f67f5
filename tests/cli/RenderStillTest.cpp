/* RenderStillTest.cpp — `render` of PNG stills gives exactly the pixels our host renders for the same
   parameters, time and input, at both depths and for every PNG colour type. */
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "images/PngIO.h"

#include "support/Reference.h"
#include "support/Scratch.h"
#include "support/TestPng.h"
#include "support/ToolRun.h"

namespace cftest {
namespace {

using cfhost::Depth;

/* The same settings, once as command-line options and once applied to a reference instance. */
const std::vector<std::string> kSettings = {
    "--set", "Presets=rings",          "-s", "Pattern Size=1",    "-s", "Horizontal Detail=3",
    "-s",    "Vertical Detail=2",      "-s", "Pixel Color=#FF8800", "-s", "Enable Chaos=on",
    "-s",    "Animation Speed=100",    "-s", "Seed=7",            "-s", "Intensity=2"};

void applySettings(ReferenceEffect& ref)
{
    ref.setPopup("Presets", 7);
    ref.setFloat("Pattern Size", 1);
    ref.setFloat("Horizontal Detail", 3);
    ref.setFloat("Vertical Detail", 2);
    ref.setColor("Pixel Color", 0xFF, 0x88, 0x00);
    ref.setCheckbox("Enable Chaos", true);
    ref.setFloat("Animation Speed", 100);
    ref.setFloat("Seed", 7);
    ref.setFloat("Intensity", 2);
}

/* Renders `input` through the command with kSettings (plus `extra`) and returns the output PNG. */
TestPng renderThroughTool(const ScratchDir& dir, const TestPng& input, const std::vector<std::string>& extra)
{
    writeTestPng(dir / "in.png", input);
    std::vector<std::string> args{"render", dir.file("in.png"), dir.file("out.png")};
    args.insert(args.end(), kSettings.begin(), kSettings.end());
    args.insert(args.end(), extra.begin(), extra.end());
    const RunResult r = runTool(args);
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err, "") << "a successful still render prints nothing";
    return readTestPng(dir / "out.png");
}

/* Renders `input` through the command with original colours on (plus `extra`), expects the reference host's
   pixels for it at `depth`, and returns the output. */
TestPng expectOriginalColours(const TestPng& input, Depth depth, std::vector<std::string> extra = {})
{
    ScratchDir dir;
    extra.insert(extra.begin(), {"-s", "Use Original Color=on"});
    TestPng out = renderThroughTool(dir, input, extra);
    ReferenceEffect ref;
    applySettings(ref);
    ref.setCheckbox("Use Original Color", true);
    EXPECT_EQ(out.samples, fileSamples(ref.render(worldFromPng(ref.host(), input, depth), 0, 24)));
    return out;
}

TEST(RenderStill, EightBitRgbaMatchesTheHostRenderAtTheGivenFrame)
{
    ScratchDir dir;
    const TestPng input = patternImage(61, 37, 8, 6, 1);
    const TestPng out = renderThroughTool(dir, input, {"--frame", "5", "--fps", "30"});
    EXPECT_EQ(out.bitDepth, 8);
    EXPECT_EQ(out.colorType, 6);

    ReferenceEffect ref;
    applySettings(ref);
    const cfhost::World in = worldFromPng(ref.host(), input, Depth::Eight);
    EXPECT_EQ(out.samples, fileSamples(ref.render(in, 5, 30)));
    /* With chaos animating every frame, the frame number decides the picture. */
    EXPECT_NE(out.samples, fileSamples(ref.render(in, 6, 30)));
}

TEST(RenderStill, SixteenBitRgbaGoesThroughTheExactConversionsBothWays)
{
    ScratchDir dir;
    const TestPng input = patternImage(40, 30, 16, 6, 2);
    /* Original colours in one-pixel blocks carry input values through to the output. */
    const TestPng out = renderThroughTool(dir, input, {"-s", "Use Original Color=on", "-s", "Horizontal Detail=1",
                                                       "-s", "Vertical Detail=1", "--frame", "-3"});
    EXPECT_EQ(out.bitDepth, 16);

    ReferenceEffect ref;
    applySettings(ref);
    ref.setCheckbox("Use Original Color", true);
    ref.setFloat("Horizontal Detail", 1);
    ref.setFloat("Vertical Detail", 1);
    EXPECT_EQ(out.samples, fileSamples(ref.render(worldFromPng(ref.host(), input, Depth::Sixteen), -3, 24)));
}

TEST(RenderStill, FileValuesReachTheEffectByTheDocumentedRule)
{
    /* One 16-bit pixel per edge value, drawn in its own colour: p → h → p gives these exact values. */
    ScratchDir dir;
    TestPng input;
    input.width = 6;
    input.height = 1;
    input.bitDepth = 16;
    input.colorType = 6;
    const std::uint16_t in[] = {0, 1, 2, 32767, 65534, 65535};
    const std::uint16_t back[] = {0, 2, 2, 32768, 65533, 65535};
    for (const std::uint16_t v : in) {
        input.samples.insert(input.samples.end(), {v, v, v, 65535});
    }
    writeTestPng(dir / "in.png", input);
    const RunResult r = runTool({"render", dir.file("in.png"), dir.file("out.png"), "-s", "Presets=Solid", "-s",
                                 "Use Original Color=on", "-s", "Contrast=-150", "-s", "Brightness=100", "-s",
                                 "Horizontal Detail=1", "-s", "Vertical Detail=1"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const TestPng out = readTestPng(dir / "out.png");
    ASSERT_EQ(out.samples.size(), 24u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(out.samples[i * 4], back[i]) << "pixel " << i << " held " << in[i];
    }
}

TEST(RenderStill, RgbGreyAndPaletteInputsAreReadAsRgbaWithOpaqueDefaults)
{
    for (const int colorType : {2, 0, 4}) {
        SCOPED_TRACE("PNG colour type " + std::to_string(colorType));
        expectOriginalColours(patternImage(33, 21, 8, colorType, 3), Depth::Eight);
    }
    TestPng palette = patternImage(20, 20, 8, 3, 4);
    for (auto& index : palette.samples) {
        index = static_cast<std::uint16_t>(index % 4);
    }
    palette.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 250};
    palette.paletteAlpha = {255, 128, 0}; /* the fourth entry has no tRNS value: opaque */
    expectOriginalColours(palette, Depth::Eight);
}

TEST(RenderStill, DepthOptionChangesTheWorkingAndOutputDepth)
{
    EXPECT_EQ(expectOriginalColours(patternImage(30, 20, 8, 6, 5), Depth::Sixteen, {"--depth", "16"}).bitDepth, 16);
    EXPECT_EQ(expectOriginalColours(patternImage(30, 20, 16, 6, 6), Depth::Eight, {"--depth", "8"}).bitDepth, 8);
}

TEST(RenderStill, HostOptionTellsTheEffectItRunsInPremiereWhichDrawsEightBits)
{
    /* In Premiere Pro the effect draws only 8 bits, so deep input is converted down first (with a note) rather
       than handed over at 16 bits, where the 8-bit kernel would draw garbage. */
    ScratchDir dir;
    const TestPng input = patternImage(24, 16, 16, 6, 7);
    writeTestPng(dir / "in.png", input);
    std::vector<std::string> args{"render", dir.file("in.png"), dir.file("out.png"), "--host", "premiere"};
    args.insert(args.end(), kSettings.begin(), kSettings.end());
    const RunResult r = runTool(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.err.find("note: the effect draws 8 bits in Premiere Pro"), std::string::npos) << r.err;
    const TestPng out = readTestPng(dir / "out.png");
    EXPECT_EQ(out.bitDepth, 8);
    ReferenceEffect premiere(true);
    applySettings(premiere);
    EXPECT_EQ(out.samples, fileSamples(premiere.render(worldFromPng(premiere.host(), input, Depth::Eight), 0, 24)));
}

/* An existing output is replaced as writing it in place would replace it: its mode is kept (a new file's
   usual permissions, or a private 0600), a symbolic link keeps pointing at the file, now the new one, and a
   file the user may not write is refused with nothing changed. */
TEST(RenderStill, AnExistingOutputIsReplacedAsWritingItInPlaceWould)
{
    namespace fs = std::filesystem;
    for (const fs::perms mode : {fs::perms(0644), fs::perms(0600)}) {
        ScratchDir dir;
        writeFile(dir / "out.png", "old");
        fs::permissions(dir / "out.png", mode);
        EXPECT_EQ(renderThroughTool(dir, patternImage(8, 8, 8, 6, 8), {}).width, 8);
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.png", "out.png"}));
        EXPECT_EQ(fs::status(dir / "out.png").permissions(), mode);
    }
    {
        ScratchDir dir;
        fs::create_directory(dir / "real");
        writeFile(dir / "real" / "target.png", "old");
        fs::create_symlink(fs::path("real") / "target.png", dir / "out.png");
        EXPECT_EQ(renderThroughTool(dir, patternImage(8, 8, 8, 6, 8), {}).width, 8);
        EXPECT_TRUE(fs::is_symlink(dir / "out.png")) << "the link stays a link";
        EXPECT_EQ(readTestPng(dir / "real" / "target.png").width, 8) << "the file it names is the new output";
        EXPECT_EQ(entriesOf(dir / "real"), std::vector<std::string>{"target.png"}) << "no temporary left beside it";
    }
    {
        // A root-owned 0444 file in a folder anyone may write: a user other than root may not write it.
        ScratchDir dir;
        fs::permissions(dir.path(), fs::perms::all);
        writeTestPng(dir / "in.png", patternImage(8, 8, 8, 6, 8));
        writeFile(dir / "out.png", "old");
        fs::permissions(dir / "out.png", fs::perms(0444));
        std::vector<std::string> argv = toolCommand({"render", dir.file("in.png"), dir.file("out.png")});
        if (::geteuid() == 0) {
            const std::vector<std::string> asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            std::vector<std::string> help = asNobody;
            help.push_back(argv.front());
            help.push_back("--help");
            if (runProgram(help).exitCode != 0) {
                GTEST_SKIP() << "another user cannot run the built command from where it lies";
            }
            argv.insert(argv.begin(), asNobody.begin(), asNobody.end());
        }
        const RunResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, 2) << describe(r);
        EXPECT_NE(r.err.find("out.png"), std::string::npos) << describe(r);
        EXPECT_EQ(readFile(dir / "out.png"), "old");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.png", "out.png"}));
    }
}

/* An RGB display profile libpng accepts: a header (size, class, colour space, connection space, signature,
   D50 white), one white-point tag, and filler that does not compress (libpng's reader takes a chunk whose
   compressed profile is very short for a truncated one). */
cfcli::PngColourChunks iccProfile()
{
    std::vector<unsigned char> p(400, 0);
    auto put = [&p](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            p[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (24 - 8 * i));
        }
    };
    std::uint32_t noise = 12345;
    for (std::size_t i = 164; i < p.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        p[i] = static_cast<unsigned char>(noise >> 24);
    }
    const std::uint32_t d50[] = {0x0000F6D6, 0x00010000, 0x0000D32D};
    put(0, static_cast<std::uint32_t>(p.size()));
    put(8, 0x02100000);  /* version 2.1 */
    put(12, 0x6D6E7472); /* 'mntr' */
    put(16, 0x52474220); /* 'RGB ' */
    put(20, 0x58595A20); /* 'XYZ ' */
    put(36, 0x61637370); /* 'acsp' */
    put(128, 1);         /* one tag: 'wtpt' at 144, 20 bytes of type 'XYZ ' */
    put(132, 0x77747074);
    put(136, 144);
    put(140, 20);
    put(144, 0x58595A20);
    for (std::size_t i = 0; i < 3; ++i) {
        put(68 + 4 * i, d50[i]);
        put(152 + 4 * i, d50[i]);
    }
    cfcli::PngColourChunks chunks;
    chunks.iccName = "test display";
    chunks.iccProfile = p;
    return chunks;
}

TEST(RenderStill, PngColourChunksPassFromPngInputToPngOutput)
{
    cfcli::PngColourChunks gammaAndPrimaries;
    gammaAndPrimaries.gamma = 55555;
    gammaAndPrimaries.chrm = std::array<std::int32_t, 8>{31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
    cfcli::PngColourChunks srgb = gammaAndPrimaries;
    srgb.gamma = 45455;
    srgb.srgbIntent = 1;
    const struct {
        const char* name;
        cfcli::PngColourChunks chunks;
    } kinds[] = {{"gAMA and cHRM", gammaAndPrimaries}, {"sRGB", srgb}, {"iCCP", iccProfile()}};
    cfcli::RgbaImage image(6, 4, 8);
    for (auto& v : image.samples) {
        v = 200;
    }
    for (const auto& kind : kinds) {
        /* a still, a still at the other depth, and a numbered sequence, each to PNG */
        for (const auto& [in, out, extra] : {std::tuple<std::string, std::string, std::string>{"in.png", "out.png", ""},
                                             {"in.png", "out.png", "16"},
                                             {"in_%02d.png", "out_%02d.png", ""}}) {
            SCOPED_TRACE(std::string(kind.name) + ": " + in + " to " + out + (extra.empty() ? "" : " at 16 bits"));
            ScratchDir dir;
            const std::string inFile = in == "in.png" ? "in.png" : "in_00.png";
            const auto bytes = cfcli::encodePng(image, inFile, &kind.chunks);
            std::ofstream(dir / inFile, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                static_cast<std::streamsize>(bytes.size()));
            std::vector<std::string> args{"render", dir.file(in), dir.file(out), "-q"};
            if (!extra.empty()) {
                args.insert(args.end(), {"--depth", extra});
            }
            const RunResult r = runTool(args);
            ASSERT_EQ(r.exitCode, 0) << describe(r);
            cfcli::PngColourChunks got;
            cfcli::readPng(dir / (out == "out.png" ? "out.png" : "out_00.png"), &got);
            EXPECT_EQ(got.gamma, kind.chunks.gamma);
            EXPECT_EQ(got.chrm, kind.chunks.chrm);
            EXPECT_EQ(got.srgbIntent, kind.chunks.srgbIntent);
            EXPECT_EQ(got.iccName, kind.chunks.iccName);
            EXPECT_EQ(got.iccProfile, kind.chunks.iccProfile);
        }
    }
}

} // namespace
} // namespace cftest
