/* CommandLineTest.cpp — reading the command line: options in any position and form, and parameter
   settings checked against what a module declares. */
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "common/Errors.h"
#include "common/Options.h"
#include "pipeline/ParamSetter.h"

namespace cfcli {
namespace {

Options parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "crumbleforge");
    return parseOptions(static_cast<int>(args.size()), args.data());
}

/* The message of the UsageError that `f` throws, or "" when it throws none. */
template <class F>
std::string usageError(F f)
{
    try {
        f();
    } catch (const UsageError& e) {
        return e.what();
    }
    return "";
}

TEST(Options, RenderTakesOptionsBeforeBetweenAndAfterItsFiles)
{
    const Options o = parse({"render", "--frame", "-12", "in.png", "-s", "Seed=3", "out.png", "--set=Presets=Dots",
                             "--fps=29.97", "--depth", "16", "--host", "premiere", "--threads", "2", "-q",
                             "--codec", "libx265", "--crf=-0", "--pix-fmt", "yuv420p10le", "--encoder-opt",
                             "preset=slow", "--encoder-opt=x265-params=log-level=1:aq-mode=3", "--encoder-opt",
                             "tune="});
    EXPECT_EQ(o.command, Command::Render);
    EXPECT_EQ(o.positional, (std::vector<std::string>{"in.png", "out.png"}));
    EXPECT_EQ(o.frame, -12) << "a negative frame is a value, not an option";
    EXPECT_EQ(o.settings, (std::vector<std::string>{"Seed=3", "Presets=Dots"}));
    EXPECT_EQ(o.fps.value(), (FrameRate{2997, 100}));
    EXPECT_EQ(o.depth.value(), 16);
    EXPECT_TRUE(o.premiere);
    EXPECT_EQ(o.threads, 2u);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.codec.value(), "libx265");
    EXPECT_EQ(o.crf.value(), 0);
    EXPECT_EQ(o.pixFmt.value(), "yuv420p10le");
    using KeyValue = std::pair<std::string, std::string>;
    EXPECT_EQ(o.encoderOptions, (std::vector<KeyValue>{{"preset", "slow"},
                                                        {"x265-params", "log-level=1:aq-mode=3"},
                                                        {"tune", ""}}))
        << "in order, split at the first '='";
    EXPECT_EQ(parse({"render", "--", "-a.png", "--b.png"}).positional, (std::vector<std::string>{"-a.png", "--b.png"}));
}

TEST(Options, DefaultsLeaveChoicesToTheInputAndTheContainer)
{
    const Options o = parse({"render", "a.png", "b.png"});
    EXPECT_EQ(o.frame, 0);
    EXPECT_FALSE(o.fps || o.depth || o.premiere || o.plugin || o.codec || o.crf || o.pixFmt);
    EXPECT_TRUE(o.encoderOptions.empty());
    EXPECT_EQ(parse({"demo"}).positional.size(), 0u);
    EXPECT_TRUE(parse({"describe", "--json"}).json);
}

TEST(Options, FrameRatesAreExactFractionsInLowestTerms)
{
    const std::pair<const char*, FrameRate> good[] = {
        {"30000/1001", {30000, 1001}},          {"60000/2002", {30000, 1001}}, {"29.97", {2997, 100}},
        {"23.976", {2997, 125}},                {"24", {24, 1}},               {"25/1", {25, 1}},
        {"0.01", {1, 100}},                     {"1000", {1000, 1}},           {"1000.000000", {1000, 1}},
        {".5", {1, 2}},                         {"123457/1000000", {123457, 1000000}},
        {"999999999/1000000", {999999999, 1000000}}};
    for (const auto& [text, rate] : good) {
        EXPECT_EQ(parse({"render", "a", "b", "--fps", text}).fps.value(), rate) << text;
    }
    /* Zero, outside 0.01–1000, not a plain decimal or fraction, or a denominator that could overflow. */
    for (const char* bad : {"0", "0/5", "0.009", "1000.000001", "1001", "30000/0", "-24", "+24", " 24", "24/",
                            "/1", "1e3", "29.9700001", "30.", "nan", "inf", "0x10", "1/1000001",
                            "2147483647/2147483646", "99999999999/1"}) {
        EXPECT_NE(usageError([&] { parse({"render", "a", "b", "--fps", bad}); }).find("--fps"), std::string::npos)
            << bad;
    }
}

TEST(Options, BadUsageIsRefusedWithTheOffendingWord)
{
    EXPECT_NE(usageError([] { parse({}); }), "");
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"paint"}, "'paint'"},
        {{"render", "a.png"}, "IN OUT"},
        {{"render", "a", "b", "c"}, "'c'"},
        {{"render", "a", "b", "--depth", "12"}, "'12'"},
        {{"render", "a", "b", "--frame", "1.5"}, "--frame"},
        {{"render", "a", "b", "--frame", "30000000"}, "--frame"},
        {{"render", "a", "b", "--host", "resolve"}, "'resolve'"},
        {{"render", "a", "b", "--threads", "0"}, "--threads"},
        {{"render", "a", "b", "--plugin="}, "--plugin needs a value"},
        {{"render", "--fps=", "a", "b"}, "--fps needs a value"},
        {{"render", "a", "b", "--bogus"}, "'--bogus'"},
        {{"render", "a", "b", "--set"}, "--set needs a value"},
        {{"render", "a", "b", "--quiet=1"}, "--quiet takes no value"},
        {{"render", "a", "b", "--crf", "64"}, "from 0 to 63"},
        {{"render", "a", "b", "--crf", "-1"}, "from 0 to 63"},
        {{"render", "a", "b", "--crf", "23.5"}, "'23.5'"},
        {{"render", "a", "b", "--codec", ""}, "--codec"},
        {{"render", "a", "b", "--codec", "lib x264"}, "'lib x264'"},
        {{"render", "a", "b", "--pix-fmt", "yuv420p;"}, "--pix-fmt"},
        {{"render", "a", "b", "--encoder-opt", "preset"}, "KEY=VALUE"},
        {{"render", "a", "b", "--encoder-opt", "=slow"}, "'=slow'"},
        {{"render", "a", "b", "--encoder-opt", "pre set=slow"}, "KEY=VALUE"},
        {{"demo", "--json"}, "'demo' does not take --json"},
        {{"demo", "-s", "Seed=1"}, "'demo' does not take -s"},
        {{"describe", "--frame", "2"}, "'describe' does not take --frame"},
        {{"describe", "--codec=ffv1"}, "'describe' does not take --codec"},
        {{"render", "a", "b", "--range", "4"}, "FIRST-END"},
        {{"render", "a", "b", "--range", "4-x"}, "'4-x'"},
        {{"render", "a", "b", "--range", "-1:00-2:00"}, "FIRST-END"},
        {{"render", "a", "b", "--range", "+5-10"}, "not '+5-10'"},
        {{"plan", "a"}, "--chunks N or --chunk-seconds S"},
        {{"plan", "a", "--chunks", "2", "--chunk-seconds", "1"}, "--chunks N or --chunk-seconds S"},
        {{"plan", "a", "--chunk-seconds", "0"}, "--chunk-seconds"},
        {{"plan", "a", "--range", "0-4"}, "'plan' does not take --range"},
        {{"join", "out.mkv"}, "join needs an output and the chunks"},
        {{"join", "o", "c", "--frame", "2"}, "'join' does not take --frame"},
    };
    for (const auto& [args, fragment] : cases) {
        std::vector<const char*> argv = args;
        const std::string message = usageError([&] { parse(argv); });
        EXPECT_NE(message.find(fragment), std::string::npos) << args.back() << ": " << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << "one line: " << message;
    }
}

/* Frame numbers (negative ones too) and times after the first frame, as time values at 10 fps from frame 0. */
TEST(Options, RangesAreFrameNumbersOrTimesAndMayBeOpen)
{
    const TimeValues tenFps(AVRational{1, 1000}, AVRational{10, 1}, 0);
    const std::tuple<const char*, std::int64_t, std::optional<std::int64_t>> cases[] = {
        {"4-8", 400, 800},       {"-4--2", -400, -200},          {"20-", 2000, std::nullopt},
        {"00:00:01-00:00:02.05", 1000, 2050}, {"1.5s-2:00", 1500, 120000}, {"-3-1s", -300, 1000},
    };
    for (const auto& [text, first, end] : cases) {
        const Options o = parse({"render", "a", "b", "--range", text});
        const FrameRange r = FrameRange::resolve(o.range.value(), tenFps);
        EXPECT_EQ(r.first, first) << text;
        EXPECT_EQ(r.end, end) << text;
    }
    EXPECT_NE(usageError([&] { FrameRange::resolve(RangeSpec::parse("1s-10"), tenFps); }).find("holds no frames"),
              std::string::npos);
    /* The highest rate --fps takes, whose numerator times 100 passes an int: one second is still 1000 frames. */
    EXPECT_EQ(TimeValues(AVRational{1, 1000}, AVRational{999999999, 1000000}, 0).ofTimestamp(1000), 100000);
}

/* Times a container keeps in whole milliseconds land on their frame at 24 and 30 fps, as exact ones do;
   times between frames (variable rates) keep their place, and finer time bases round as before. */
TEST(Options, FrameTimesStoredCoarselyLandOnTheirFrame)
{
    struct Case {
        AVRational timeBase;
        AVRational rate;
        std::int64_t timestamp;
        std::int64_t value;
    };
    const Case cases[] = {
        {{1, 1000}, {24, 1}, 83, 200},       {{1, 1000}, {24, 1}, 42, 100},     {{1, 1000}, {24, 1}, 1958, 4700},
        {{1, 1000}, {30000, 1001}, 33, 100}, {{1, 1000}, {30, 1}, 967, 2900},   {{1, 1000}, {24, 1}, -42, -100},
        {{1, 1000}, {24, 1}, 60, 144},       {{1, 1000}, {24, 1}, 75, 180},     {{1, 12800}, {24, 1}, 1066, 200},
        {{1, 90000}, {24, 1}, 7499, 200},    {{1, 90000}, {24, 1}, 7470, 199},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeValues(c.timeBase, c.rate, 3).ofTimestamp(c.timestamp), 300 + c.value)
            << c.timestamp << " in " << c.timeBase.num << "/" << c.timeBase.den << " at " << c.rate.num << "/"
            << c.rate.den << " fps";
    }
    /* A time too far to express in time values (a damaged file's) lands past every frame number, not wrapped. */
    const TimeValues seconds(AVRational{1, 1}, AVRational{24, 1}, 3);
    EXPECT_GT(seconds.ofTimestamp(std::int64_t{1} << 60), kMaxFrame * 100L);
    EXPECT_LT(seconds.ofTimestamp(-(std::int64_t{1} << 60)), -kMaxFrame * 100L);
}

TEST(Options, HelpWinsOverEverythingElseAndListsEveryOptionAndExitCode)
{
    EXPECT_EQ(parse({"render", "--bogus", "--set", "--help"}).command, Command::Help);
    EXPECT_EQ(parse({"--version"}).command, Command::Version);
    const std::string usage = usageText();
    auto listed = [&](const std::string& name) {
        for (auto at = usage.find(name); at != std::string::npos; at = usage.find(name, at + 1)) {
            const char next = usage[at + name.size()];
            if (!std::isalnum(static_cast<unsigned char>(next)) && next != '-') {
                return true;
            }
        }
        return false;
    };
    for (const std::string& names : optionNames()) {
        for (std::size_t at = 0; at < names.size();) {
            const std::size_t comma = std::min(names.find(',', at), names.size());
            EXPECT_TRUE(listed(names.substr(at, comma - at))) << names;
            at = comma + 1;
        }
    }
    for (const char* code : {"0  done", "1  the effect or host failed", "2  bad usage", "3  done, but the input"}) {
        EXPECT_NE(usage.find(code), std::string::npos) << code;
    }
}

/* A parameter list shaped like a module's declaration. */
std::vector<DeclaredParam> declared()
{
    std::vector<DeclaredParam> params;
    auto add = [&](PF_ParamType type, const char* name) -> PF_ParamDef& {
        DeclaredParam p;
        p.index = static_cast<PF_ParamIndex>(params.size() + 1);
        p.def.param_type = type;
        std::strncpy(p.def.name, name, sizeof p.def.name - 1);
        params.push_back(p);
        return params.back().def;
    };
    add(PF_Param_POPUP, "Presets").u.pd.num_choices = 3;
    params.back().choices = {"High Detail", "Numbers & Letters", "Dots"};
    PF_ParamDef& size = add(PF_Param_FLOAT_SLIDER, "Pattern Size");
    size.u.fs_d.valid_min = 1;
    size.u.fs_d.valid_max = 10;
    add(PF_Param_GROUP_START, "Color");
    add(PF_Param_COLOR, "Pixel Color").u.cd.value = PF_Pixel{200, 1, 2, 3};
    add(PF_Param_CHECKBOX, "Enable Chaos");
    PF_ParamDef& count = add(PF_Param_SLIDER, "Count");
    count.u.sd.valid_min = -5;
    count.u.sd.valid_max = 5;
    add(PF_Param_ANGLE, "Angle");
    add(PF_Param_GROUP_END, "");
    return params;
}

TEST(ParamSetter, PopupsTakeAChoiceInAnyCaseOrItsNumberFromOne)
{
    const auto params = declared();
    EXPECT_EQ(parseSetting("Presets=numbers & letters", params).choice, 2);
    EXPECT_EQ(parseSetting("Presets = Dots ", params).choice, 3) << "spaces around label and value are ignored";
    EXPECT_EQ(parseSetting("Presets=1", params).choice, 1);
    EXPECT_EQ(parseSetting("presets=3", params).index, 1) << "labels match in any case";
    const std::string e = usageError([&] { parseSetting("Presets=4", params); });
    EXPECT_EQ(e, "Presets: no choice '4'; choose one of High Detail, Numbers & Letters, Dots (or a number from 1 to 3)");
    EXPECT_NE(usageError([&] { parseSetting("Presets=0", params); }), "");
}

TEST(ParamSetter, SlidersMustLieInTheDeclaredValidRange)
{
    const auto params = declared();
    EXPECT_DOUBLE_EQ(parseSetting("Pattern Size=1", params).number, 1.0);
    EXPECT_DOUBLE_EQ(parseSetting("Pattern Size=9.75", params).number, 9.75);
    EXPECT_EQ(usageError([&] { parseSetting("Pattern Size=10.5", params); }),
              "Pattern Size: 10.5 is outside the valid range 1 to 10");
    EXPECT_NE(usageError([&] { parseSetting("Pattern Size=big", params); }).find("not a number"), std::string::npos);
    EXPECT_NE(usageError([&] { parseSetting("Pattern Size=nan", params); }), "");
    EXPECT_NE(usageError([&] { parseSetting("Pattern Size=", params); }), "");
    EXPECT_DOUBLE_EQ(parseSetting("Count=-5", params).number, -5.0);
    EXPECT_NE(usageError([&] { parseSetting("Count=2.5", params); }).find("whole number"), std::string::npos);
}

TEST(ParamSetter, ColoursAndCheckboxesTakeTheirOwnNotations)
{
    const auto params = declared();
    const std::pair<const char*, PF_Pixel> colours[] = {
        {"#ff8800", {200, 0xFF, 0x88, 0x00}}, {"FF8800", {200, 0xFF, 0x88, 0x00}}, {"#f80", {200, 0xFF, 0x88, 0x00}},
        {"#0A1", {200, 0x00, 0xAA, 0x11}},    {"000000", {200, 0, 0, 0}}};
    for (const auto& [text, want] : colours) {
        const PF_Pixel c = parseSetting(std::string("Pixel Color=") + text, params).color;
        EXPECT_EQ((std::vector<int>{c.alpha, c.red, c.green, c.blue}),
                  (std::vector<int>{want.alpha, want.red, want.green, want.blue}))
            << text << " (the colour's declared alpha is kept)";
    }
    for (const char* bad : {"f80", "#ff880", "ff88000", "#ff88zz", "##ff8800", "#", "red"}) {
        EXPECT_NE(usageError([&] { parseSetting(std::string("Pixel Color=") + bad, params); }).find("#RRGGBB"),
                  std::string::npos)
            << bad;
    }
    for (const char* on : {"on", "TRUE", "1", "Yes"}) {
        EXPECT_TRUE(parseSetting(std::string("Enable Chaos=") + on, params).checked) << on;
    }
    for (const char* off : {"off", "False", "0", "no"}) {
        EXPECT_FALSE(parseSetting(std::string("Enable Chaos=") + off, params).checked) << off;
    }
    EXPECT_NE(usageError([&] { parseSetting("Enable Chaos=yes please", params); }).find("yes, no"), std::string::npos);
}

TEST(ParamSetter, PopupsDeclaredOutsideTheirChoicesStartAtTheFirstUnlessSet)
{
    auto params = declared();
    params.front().def.u.pd.dephault = 0; /* as the effect declares both its popups */
    EXPECT_EQ(startingChoice(params.front()), 1);
    std::vector<ParamValue> values = parseSettings({}, params);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].index, 1);
    EXPECT_EQ(values[0].type, PF_Param_POPUP);
    EXPECT_EQ(values[0].choice, 1);
    values = parseSettings({"Presets=Dots"}, params);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values.back().choice, 3) << "a setting comes after the starting choice, so it wins";

    for (const A_short declaredDefault : {A_short{1}, A_short{3}}) {
        params.front().def.u.pd.dephault = declaredDefault;
        EXPECT_EQ(startingChoice(params.front()), declaredDefault);
        EXPECT_TRUE(parseSettings({}, params).empty()) << "a valid declared default stays";
    }
    params.front().def.u.pd.dephault = 4;
    EXPECT_EQ(startingChoice(params.front()), 1);
}

TEST(ParamSetter, LabelsThatNameNoValueAreRefusedWithWhatExists)
{
    const auto params = declared();
    EXPECT_EQ(usageError([&] { parseSetting("Size=3", params); }),
              "unknown parameter 'Size'; the parameters are Presets, Pattern Size, Pixel Color, Enable Chaos, Count, "
              "Angle");
    EXPECT_NE(usageError([&] { parseSetting("Color=#000000", params); }).find("group"), std::string::npos);
    EXPECT_NE(usageError([&] { parseSetting("Angle=3", params); }).find("cannot be set"), std::string::npos);
    EXPECT_NE(usageError([&] { parseSetting("Pattern Size", params); }).find("LABEL=VALUE"), std::string::npos);
    EXPECT_NE(usageError([&] { parseSetting("=3", params); }), "");
}

TEST(ParamSetter, PopupChoiceTextsSplitAtBars)
{
    EXPECT_EQ(splitChoices("A|B & C|D", 3), (std::vector<std::string>{"A", "B & C", "D"}));
    EXPECT_EQ(splitChoices("A|B|C", 2), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(splitChoices(nullptr, 3).empty());
}

} // namespace
} // namespace cfcli
