#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::optional<TCliOptions> parse(std::vector<std::string> args, std::string* error = nullptr) {
    std::string e;
    auto o = parseCliOptions(args, e);
    if (error)
        *error = e;
    return o;
}

TEST(CliOptions, DefaultsAreTheWindowsStartValues) {
    const auto o = parse({});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->alpha, 40);
    EXPECT_EQ(o->beta, 30);
    EXPECT_EQ(o->gainDb, 0);
    EXPECT_EQ(o->delayMic, 0);
    EXPECT_FALSE(o->clean);
    EXPECT_EQ(o->name, "Guitar");
    EXPECT_EQ(o->helmholtz, 100);
    EXPECT_EQ(o->firstBody, 200);
    EXPECT_TRUE(o->setLeft && o->setRight);
    EXPECT_EQ(o->fMin, 50);
    EXPECT_EQ(o->fMax, 20000);
    EXPECT_EQ(o->dbRange, 50);
    EXPECT_EQ(o->plotWidth, 540);
    EXPECT_EQ(o->plotHeight, 356);
    EXPECT_FALSE(o->wantsAnalysis());
}

TEST(CliOptions, ValuesWithinLimitsAreTaken) {
    const auto o =
        parse({"--delay-mic", "12.7", "--alpha", "0", "--beta", "50", "--gain", "-20", "--channel", "right",
               "--name", "My guitar", "--clean", "--plot-size", "800x600", "--export", "a.smd"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->delayMic, 12.7);
    EXPECT_EQ(o->alpha, 0);
    EXPECT_EQ(o->beta, 50);
    EXPECT_EQ(o->gainDb, -20);
    EXPECT_FALSE(o->setLeft);
    EXPECT_TRUE(o->setRight);
    EXPECT_EQ(o->name, "My guitar");
    EXPECT_TRUE(o->clean);
    EXPECT_EQ(o->plotWidth, 800);
    EXPECT_EQ(o->plotHeight, 600);
    EXPECT_TRUE(o->wantsAnalysis());
}

TEST(CliOptions, BadValuesAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--alpha", "51"},
        {"--alpha", "2.5"},
        {"--beta", "-1"},
        {"--gain", "20.5"},
        {"--gain", "abc"},
        {"--delay-mic", "1001"},
        {"--delay-pickup", "-0.5"},
        {"--helmholtz", "49"},
        {"--first-body", "501"},
        {"--fmin", "19"},
        {"--fmax", "20001"},
        {"--db-range", "0"},
        {"--gain", "nan"},
        {"--gain", "1e400"},
        {"--gain", "3dB"},
        {"--gain", "+-5"},
        {"--channel", "centre"},
        {"--plot-size", "540"},
        {"--plot-size", "0x10"},
        {"--mic"},
        {"--frobnicate"},
        {"--export", ""},
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(parse(args, &error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(CliOptions, DisplayRangeKeepsHundredHertzTheEditedBoundGivingWay) {
    auto o = parse({"--fmin", "1500", "--fmax", "1000"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->fMin, 1500);
    EXPECT_EQ(o->fMax, 1600);
    o = parse({"--fmax", "100"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->fMin, 50);
    EXPECT_EQ(o->fMax, 150);
    o = parse({"--fmin", "2000"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->fMin, 2000);
    EXPECT_EQ(o->fMax, 20000);
}

} // namespace

// Each row of the parameter table is an option with the row's start value and limits.
class CliParameterOption : public testing::TestWithParam<TParameter> {};

TEST_P(CliParameterOption, TakesTheRowsDefaultAndLimits) {
    const TParameter& p = GetParam();
    const auto field = parameterFields[std::size_t(p.id)];
    EXPECT_EQ((*parse({})).*field, p.defaultValue);
    for (const double outside : {p.minimum - 1, p.maximum + 1})
        EXPECT_FALSE(parse({p.option, std::to_string(outside)})) << outside;
    EXPECT_EQ((*parse({p.option, std::to_string(p.maximum - 1)})).*field, p.maximum - 1);
    EXPECT_NE(std::string(cliUsage()).find(std::string("  ") + p.option + " " + p.optionValue),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, CliParameterOption, testing::ValuesIn(parameterTable), [](const auto& info) {
    std::string name = info.param.option + 2;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});
