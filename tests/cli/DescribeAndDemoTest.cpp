/* DescribeAndDemoTest.cpp — `describe` reports the module as it declares itself, in words and as JSON;
   `demo` writes its contact sheet with no input; the tool finds the module built beside it. */
#include <gtest/gtest.h>

#include <set>

#include "support/Scratch.h"
#include "support/TestPng.h"
#include "support/ToolRun.h"
#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

namespace cftest {
namespace {

const char* const kLabels =
    "Presets|Brightness|Contrast|Scale|Pattern Size|Enable Scale Lock|Horizontal Detail|Vertical Detail||Color|"
    "Pixel Color|Background Color|Use Original Color|Transparent Background||Chaos|Enable Chaos|Intensity|"
    "Animation Speed|Seed|Chaos Behavior||";

TEST(Describe, JsonParsesAndListsTheTwentyTwoDeclaredParameters)
{
    ScratchDir dir;
    const RunResult r = runTool({"describe", "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    writeFile(dir / "describe.json", r.out);
    /* the same into a full device is a failure, not a success */
    const RunResult full = runProgram({"sh", "-c", "exec \"$0\" describe --json > /dev/full", CF_TOOL});
    EXPECT_EQ(full.exitCode, 2) << describe(full);

    /* What the module tells our host directly. */
    cfhost::Host host;
    cfhost::EffectInstance fx(host, CF_MODULE);
    fx.registerModule();
    ASSERT_EQ(fx.globalSetup(), PF_Err_NONE);
    writeFile(dir / "about.txt", fx.about());
    const std::string flags = std::to_string(fx.effectVersion()) + "|" + std::to_string(fx.outFlags()) + "|" +
                              std::to_string(fx.outFlags2()) + "|True\n";
    fx.globalSetdown();

    /* Python's own JSON reader decides whether this is JSON. */
    const RunResult py = runProgram(
        {"python3", "-c",
         "import json, sys\n"
         "d = json.load(open(sys.argv[1]))\n"
         "about = open(sys.argv[2], newline='').read()\n"
         "print(d['name'], d['match_name'], d['category'], d['entry'], d['kind'], d['api_version'], sep='|')\n"
         "print(d['version'], d['out_flags'], d['out_flags2'], d['about'] == about, sep='|')\n"
         "print(''.join(p['name'] + '|' for p in d['params']))\n"
         "print([p['index'] for p in d['params']] == list(range(1, 23)), sorted({p['id'] for p in d['params']}))\n"
         "size = next(p for p in d['params'] if p['name'] == 'Pattern Size')\n"
         "print(size['type'], size['valid_min'], size['valid_max'], size['default'], size['precision'])\n"
         "pop = d['params'][0]\n"
         "print(pop['type'], pop['default'], pop['command_default'], pop['choices'][6], len(pop['choices']))\n"
         "color = next(p for p in d['params'] if p['name'] == 'Pixel Color')\n"
         "print(color['type'], color['default'], color['default_alpha'])\n",
         dir.file("describe.json"), dir.file("about.txt")});
    ASSERT_EQ(py.exitCode, 0) << py.err;
    EXPECT_EQ(py.out, "Crumble_Forge|ADBE Crumbleforge|BRISKANDUL|EffectMain|eFKT|13.27\n" + flags + kLabels +
                          "\n"
                          "True [3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21]\n"
                          "float_slider 1 10 3 2\n"
                          "popup 0 1 Rings 10\n"
                          "color #ffffff 255\n");
    EXPECT_NE(r.out.find("\\rlo-fi grungy pixel animations.\\r"), std::string::npos)
        << "carriage returns are escaped in JSON";
}

TEST(Describe, TextShowsTheAboutTextLineByLine)
{
    const RunResult r = runTool({"describe"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << "carriage returns become line breaks";
    EXPECT_NE(r.out.find("\n  An effect to convert footage into\n  lo-fi grungy pixel animations.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1.6.3 release"), std::string::npos);
    EXPECT_NE(r.out.find("DEEP_COLOR_AWARE"), std::string::npos);
    EXPECT_NE(r.out.find("SUPPORTS_THREADED_RENDERING"), std::string::npos);
    EXPECT_NE(r.out.find("Parameters (22)"), std::string::npos);
    EXPECT_NE(r.out.find("Diagonal (Left) | Diagonal (Right)"), std::string::npos);
    EXPECT_NE(r.out.find("Presets                   default 0 (the command starts at 1, High Detail); choices"),
              std::string::npos)
        << "both what the effect declares and what the command uses";
}

TEST(Describe, TheOtherModuleIsDescribedWhenNamed)
{
    const RunResult r = runTool({"describe", "--json", "--plugin", CF_FAILING_MODULE});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.out.find("\"name\": \"Failing Effect\""), std::string::npos);
    EXPECT_NE(r.out.find("\"params\": []"), std::string::npos);
}

TEST(Describe, ACopyOfTheToolStillFindsTheModuleItWasBuiltWith)
{
    ScratchDir dir;
    std::filesystem::copy_file(CF_TOOL, dir / "crumbleforge");
    std::filesystem::permissions(dir / "crumbleforge", std::filesystem::perms::owner_all);
    const RunResult r = runProgram({dir.file("crumbleforge"), "describe", "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.out.find("\"name\": \"Crumble_Forge\""), std::string::npos);
}

TEST(Demo, WritesTheLabelledSheetOfEveryPresetWithoutInput)
{
    ScratchDir dir;
    const RunResult r = runTool({"demo"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, "crumbleforge-demo.png\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"crumbleforge-demo.png"});
    const TestPng sheet = readTestPng(dir / "crumbleforge-demo.png");
    /* five columns of 320 × 240 tiles under 24-pixel labels, 8-pixel gutters, two rows for ten presets */
    EXPECT_EQ(sheet.width, 8 + 5 * (320 + 8));
    EXPECT_EQ(sheet.height, 8 + 2 * (24 + 240 + 8));
    EXPECT_EQ(sheet.bitDepth, 8);
    /* each tile shows something of its own */
    std::set<std::vector<std::uint16_t>> tiles;
    for (int t = 0; t < 10; ++t) {
        const int left = 8 + (t % 5) * 328;
        const int top = 8 + (t / 5) * 272 + 24;
        std::vector<std::uint16_t> pixels;
        for (int y = top; y < top + 240; y += 3) {
            for (int x = left; x < left + 320; x += 3) {
                const std::size_t at = (static_cast<std::size_t>(y) * sheet.width + x) * 4;
                pixels.insert(pixels.end(), sheet.samples.begin() + at, sheet.samples.begin() + at + 3);
            }
        }
        tiles.insert(pixels);
    }
    EXPECT_EQ(tiles.size(), 10u);
}

TEST(Demo, NamedOutputIsWrittenAndReported)
{
    ScratchDir dir;
    const RunResult r = runTool({"demo", dir.file("sheet.png"), "--threads", "1"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, dir.file("sheet.png") + "\n");
    EXPECT_EQ(readTestPng(dir / "sheet.png").width, 1648);
    const RunResult bad = runTool({"demo", dir.file("sheet.jpg")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("sheet.jpg"), std::string::npos);
}

TEST(Usage, HelpAndVersionSucceedAndNoCommandIsAnError)
{
    const RunResult help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("crumbleforge render IN OUT"), std::string::npos);
    const RunResult version = runTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("crumbleforge 1.6.3", 0), 0u);
    const RunResult none = runTool({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("--help"), std::string::npos);
}

} // namespace
} // namespace cftest
