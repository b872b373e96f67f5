/* ParamsTest.cpp — the 22 parameters as a host receives them: kinds, ids, labels, ranges, defaults,
   precisions and choices, and a host that refuses one of them. */
#include "EffectFixture.h"

#include "Crumbleforge.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

class ParamsTest : public EffectFixture {
protected:
    void SetUp() override
    {
        EffectFixture::SetUp();
        ASSERT_EQ(fx().paramsSetup(), PF_Err_NONE);
    }
};

struct SliderRow {
    ParamIndex index;
    A_long id;
    const char* name;
    float min, max, dephault;
    A_short precision;
};

const SliderRow kSliders[] = {
    {PARAM_BRIGHTNESS, 4, "Brightness", -100, 100, 0, 2},
    {PARAM_CONTRAST, 5, "Contrast", -150, 150, 0, 2},
    {PARAM_PATTERN_SIZE, 11, "Pattern Size", 1, 10, 3, 2},
    {PARAM_HORIZONTAL_DETAIL, 6, "Horizontal Detail", 1, 250, 20, 2},
    {PARAM_VERTICAL_DETAIL, 7, "Vertical Detail", 1, 250, 10, 2},
    {PARAM_INTENSITY, 18, "Intensity", 0, 25, 5, 0},
    {PARAM_ANIMATION_SPEED, 20, "Animation Speed", 0, 100, 0, 0},
    {PARAM_SEED, 19, "Seed", 0, 1000, 0, 0},
};

TEST_F(ParamsTest, ReportsTwentyThreeIncludingTheInputLayer)
{
    EXPECT_EQ(fx().reportedParamCount(), 23);
    EXPECT_EQ(fx().parameterCount(), 23u);
    EXPECT_EQ(h().counters().addParamCalls, 22);
    EXPECT_EQ(h().leakReport(), "");
}

TEST_F(ParamsTest, FloatSlidersCarryTheirRangesDefaultsAndPrecision)
{
    for (const SliderRow& row : kSliders) {
        SCOPED_TRACE(row.name);
        const PF_ParamDef def = fx().parameter(row.index);
        EXPECT_EQ(def.param_type, PF_Param_FLOAT_SLIDER);
        EXPECT_EQ(def.uu.id, row.id);
        EXPECT_STREQ(def.name, row.name);
        EXPECT_EQ(def.u.fs_d.valid_min, row.min);
        EXPECT_EQ(def.u.fs_d.slider_min, row.min);
        EXPECT_EQ(def.u.fs_d.valid_max, row.max);
        EXPECT_EQ(def.u.fs_d.slider_max, row.max);
        EXPECT_EQ(def.u.fs_d.value, static_cast<double>(row.dephault));
        EXPECT_EQ(def.u.fs_d.dephault, row.dephault);
        EXPECT_EQ(def.u.fs_d.precision, row.precision);
        EXPECT_EQ(def.u.fs_d.display_flags, 0);
        EXPECT_EQ(def.u.fs_d.fs_flags, 0u);
        EXPECT_FLOAT_EQ(def.u.fs_d.curve_tolerance, 0.05f);
        EXPECT_EQ(def.u.fs_d.phase, 0.0);
        EXPECT_EQ(def.flags, 0);
        EXPECT_EQ(def.ui_flags, 0);
    }
}

TEST_F(ParamsTest, PopupsStartAtChoiceZeroWithTheirChoiceStrings)
{
    const PF_ParamDef presets = fx().parameter(PARAM_PRESETS);
    EXPECT_EQ(presets.param_type, PF_Param_POPUP);
    EXPECT_EQ(presets.uu.id, 3);
    EXPECT_STREQ(presets.name, "Presets");
    EXPECT_EQ(presets.u.pd.num_choices, 10);
    EXPECT_EQ(presets.u.pd.value, 0);
    EXPECT_EQ(presets.u.pd.dephault, 0);
    EXPECT_STREQ(presets.u.pd.u.namesptr, "High Detail|Numbers & Letters|Horizontal Lines|Dots|Vertical Lines|"
                                          "Extra Grunge|Rings|Solid|Diagonal (Left)|Diagonal (Right)");

    const PF_ParamDef behavior = fx().parameter(PARAM_CHAOS_BEHAVIOR);
    EXPECT_EQ(behavior.param_type, PF_Param_POPUP);
    EXPECT_EQ(behavior.uu.id, 21);
    EXPECT_STREQ(behavior.name, "Chaos Behavior");
    EXPECT_EQ(behavior.u.pd.num_choices, 3);
    EXPECT_EQ(behavior.u.pd.value, 0);
    EXPECT_EQ(behavior.u.pd.dephault, 0);
    EXPECT_STREQ(behavior.u.pd.u.namesptr, "Increase Size|Decrease Size|Increase & Decrease Size");
}

TEST_F(ParamsTest, CheckboxesStartOffWithNoTextBesideThem)
{
    const struct {
        ParamIndex index;
        A_long id;
        const char* name;
    } boxes[] = {{PARAM_SCALE_LOCK, 12, "Enable Scale Lock"},
                 {PARAM_USE_ORIGINAL_COLOR, 15, "Use Original Color"},
                 {PARAM_TRANSPARENT_BACKGROUND, 10, "Transparent Background"},
                 {PARAM_ENABLE_CHAOS, 17, "Enable Chaos"}};
    for (const auto& box : boxes) {
        SCOPED_TRACE(box.name);
        const PF_ParamDef def = fx().parameter(box.index);
        EXPECT_EQ(def.param_type, PF_Param_CHECKBOX);
        EXPECT_EQ(def.uu.id, box.id);
        EXPECT_STREQ(def.name, box.name);
        EXPECT_EQ(def.u.bd.value, 0);
        EXPECT_EQ(def.u.bd.dephault, 0);
        ASSERT_NE(def.u.bd.u.nameptr, nullptr);
        EXPECT_STREQ(def.u.bd.u.nameptr, "");
    }
}

TEST_F(ParamsTest, ColoursDefaultToOpaqueWhiteAndBlack)
{
    const PF_ParamDef pixel = fx().parameter(PARAM_PIXEL_COLOR);
    EXPECT_EQ(pixel.param_type, PF_Param_COLOR);
    EXPECT_EQ(pixel.uu.id, 8);
    EXPECT_STREQ(pixel.name, "Pixel Color");
    const PF_Pixel white = {255, 255, 255, 255};
    EXPECT_EQ(std::memcmp(&pixel.u.cd.value, &white, 4), 0);
    EXPECT_EQ(std::memcmp(&pixel.u.cd.dephault, &white, 4), 0);

    const PF_ParamDef background = fx().parameter(PARAM_BACKGROUND_COLOR);
    EXPECT_EQ(background.uu.id, 9);
    EXPECT_STREQ(background.name, "Background Color");
    const PF_Pixel black = {255, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&background.u.cd.value, &black, 4), 0);
    EXPECT_EQ(std::memcmp(&background.u.cd.dephault, &black, 4), 0);
}

TEST_F(ParamsTest, GroupsOpenWithANameAndCloseNamelessUnderTheSameId)
{
    const struct {
        ParamIndex start, end;
        A_long id;
        const char* name;
    } groups[] = {{PARAM_SCALE_GROUP_START, PARAM_SCALE_GROUP_END, 13, "Scale"},
                  {PARAM_COLOR_GROUP_START, PARAM_COLOR_GROUP_END, 14, "Color"},
                  {PARAM_CHAOS_GROUP_START, PARAM_CHAOS_GROUP_END, 16, "Chaos"}};
    for (const auto& g : groups) {
        SCOPED_TRACE(g.name);
        const PF_ParamDef start = fx().parameter(g.start);
        const PF_ParamDef end = fx().parameter(g.end);
        EXPECT_EQ(start.param_type, PF_Param_GROUP_START);
        EXPECT_EQ(end.param_type, PF_Param_GROUP_END);
        EXPECT_EQ(start.uu.id, g.id);
        EXPECT_EQ(end.uu.id, g.id);
        EXPECT_STREQ(start.name, g.name);
        EXPECT_STREQ(end.name, "");
    }
}

TEST_F(ParamsTest, IdsThreeToTwentyOneAreEachUsedOnceApartFromGroupEnds)
{
    int uses[32] = {};
    for (PF_ParamIndex i = 1; i < PARAM_COUNT; ++i) {
        const PF_ParamDef def = fx().parameter(i);
        if (def.param_type != PF_Param_GROUP_END) {
            ASSERT_GE(def.uu.id, 3);
            ASSERT_LE(def.uu.id, 21);
            ++uses[def.uu.id];
        }
        EXPECT_LT(std::strlen(def.name), sizeof(def.name));
    }
    for (int id = 3; id <= 21; ++id) {
        EXPECT_EQ(uses[id], 1) << "id " << id;
    }
}

TEST(ParamsSetupRefused, RejectedEighthParameterStopsSetupWithItsError)
{
    cfhost::Host host;
    cfhost::EffectInstance effect(host, CRUMBLEFORGE_MODULE_PATH);
    effect.registerModule();
    host.faults().rejectAddParam(8, PF_Err_INVALID_INDEX);
    cfhost::CommandFrame frame = effect.prepare(PF_Cmd_PARAMS_SETUP);
    frame.out.num_params = -77;
    EXPECT_EQ(effect.send(frame), PF_Err_INVALID_INDEX);
    EXPECT_EQ(host.counters().addParamCalls, 8);
    EXPECT_EQ(frame.out.num_params, -77);
    EXPECT_EQ(frame.out.out_flags, 0);
    EXPECT_EQ(host.leakReport(), "");
}

TEST(StringTable, LooksUpByPositionAndGivesEmptyOutsideIt)
{
    EXPECT_STREQ(GetStringPtr(STR_NONE), "");
    EXPECT_STREQ(GetStringPtr(STR_NAME), "Crumble_Forge");
    const std::string choices = GetStringPtr(STR_PRESETS_CHOICES);
    EXPECT_EQ(std::count(choices.begin(), choices.end(), '|'), 9);
    EXPECT_STREQ(GetStringPtr(-1), "");
    EXPECT_STREQ(GetStringPtr(STR_COUNT), "");
    EXPECT_STREQ(GetStringPtr(1 << 30), "");
    for (int id = 0; id < STR_COUNT; ++id) {
        EXPECT_EQ(g_strs[id].id, id);
    }
    const std::string description = GetStringPtr(STR_DESCRIPTION);
    EXPECT_EQ(description.rfind("An effect to convert footage into\rlo-fi grungy pixel animations.\r", 0), 0u);
    EXPECT_EQ(description.find('\n'), std::string::npos);
}

} // namespace
