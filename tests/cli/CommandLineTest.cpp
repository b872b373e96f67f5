/* CommandLineTest.cpp — reading the command line: options in any position and form, and parameter
   settings checked against what a module declares. */
#include <gtest/gtest.h>

#include <cstring>

#include "Errors.h"
#include "Options.h"
#include "ParamSetter.h"

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
                             "--fps=29.97", "--depth", "16", "--host", "premiere", "--threads", "2", "-q"});
    EXPECT_EQ(o.command, Command::Render);
    EXPECT_EQ(o.positional, (std::vector<std::string>{"in.png", "out.png"}));
    EXPECT_EQ(o.frame, -12) << "a negative frame is a value, not an option";
    EXPECT_EQ(o.settings, (std::vector<std::string>{"Seed=3", "Presets=Dots"}));
    EXPECT_DOUBLE_EQ(o.fps.value().value(), 29.97);
    EXPECT_EQ(o.depth.value(), 16);
    EXPECT_TRUE(o.premiere);
    EXPECT_EQ(o.threads, 2u);
    EXPECT_TRUE(o.quiet);
}

TEST(Options, DefaultsLeaveChoicesToTheInput)
{
    const Options o = parse({"render", "a.png", "b.png"});
    EXPECT_EQ(o.frame, 0);
    EXPECT_FALSE(o.fps.has_value());
    EXPECT_FALSE(o.depth.has_value());
    EXPECT_FALSE(o.premiere);
    EXPECT_FALSE(o.plugin.has_value());
    EXPECT_EQ(parse({"demo"}).positional.size(), 0u);
    EXPECT_TRUE(parse({"describe", "--json"}).json);
}

TEST(Options, BadUsageIsRefusedWithTheOffendingWord)
{
    EXPECT_NE(usageError([] { parse({}); }), "");
    EXPECT_NE(usageError([] { parse({"paint"}); }).find("'paint'"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a.png"}); }).find("IN OUT"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "c"}); }).find("'c'"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "--depth", "12"}); }).find("'12'"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "--frame", "1.5"}); }).find("--frame"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "--frame", "30000000"}); }), "");
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "--fps", "0"}); }).find("--fps"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "--host", "resolve"}); }).find("'resolve'"),
              std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "--bogus"}); }).find("'--bogus'"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"render", "a", "b", "--set"}); }).find("needs a value"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"demo", "--json"}); }).find("--json"), std::string::npos);
    EXPECT_NE(usageError([] { parse({"describe", "--frame", "2"}); }).find("--frame"), std::string::npos);
}

TEST(Options, HelpWinsOverEverythingElse)
{
    EXPECT_EQ(parse({"render", "--bogus", "--help"}).command, Command::Help);
    EXPECT_EQ(parse({"--version"}).command, Command::Version);
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
    const PF_Pixel c = parseSetting("Pixel Color=#ff8800", params).color;
    EXPECT_EQ(c.red, 0xFF);
    EXPECT_EQ(c.green, 0x88);
    EXPECT_EQ(c.blue, 0x00);
    EXPECT_EQ(c.alpha, 200) << "the colour's declared alpha is kept";
    for (const char* bad : {"ff8800", "#ff880", "#ff88zz", "red"}) {
        EXPECT_NE(usageError([&] { parseSetting(std::string("Pixel Color=") + bad, params); }).find("#RRGGBB"),
                  std::string::npos)
            << bad;
    }
    for (const char* on : {"on", "TRUE", "1"}) {
        EXPECT_TRUE(parseSetting(std::string("Enable Chaos=") + on, params).checked) << on;
    }
    for (const char* off : {"off", "False", "0"}) {
        EXPECT_FALSE(parseSetting(std::string("Enable Chaos=") + off, params).checked) << off;
    }
    EXPECT_NE(usageError([&] { parseSetting("Enable Chaos=yes please", params); }), "");
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
