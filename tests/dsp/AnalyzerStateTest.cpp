#include "dsp/Analyzer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(AnalyzerState, StartValues) {
    auto a = std::make_unique<TAnalyzer>();
    EXPECT_EQ(a->fs, 44100);
    EXPECT_EQ(a->irData[0].mic, 1.0);
    EXPECT_EQ(a->irData[0].pickup, 1.0);
    for (int i = 1; i < blockLength; ++i)
        ASSERT_TRUE(a->irData[i].mic == 0.0 && a->irData[i].pickup == 0.0);
    EXPECT_EQ(a->delayMic, 0);
    EXPECT_EQ(a->fMin, 50);
    EXPECT_EQ(a->fMax, 20000);
    EXPECT_EQ(a->dbRange, 50);
    EXPECT_EQ(a->fHelm, 100);
    EXPECT_EQ(a->fFirstBody, 200);
    EXPECT_TRUE(a->enablePickup);
    EXPECT_FALSE(a->useMinPhase);
    EXPECT_EQ(a->alpha, 40);
    EXPECT_EQ(a->beta, 30);
    EXPECT_FALSE(a->analysisReady);
    EXPECT_EQ(a->release, (std::array<std::int32_t, 4>{0, 0, 1, 20040318}));
    for (const ChannelResult& c : a->channels) {
        for (double v : c.filterIr)
            ASSERT_EQ(v, 0.0);
        EXPECT_TRUE(c.curve.visible);
    }
}

TEST(AnalyzerState, PlotGridRunsFrom20HzTo20kHzInLogSteps) {
    auto a = std::make_unique<TAnalyzer>();
    EXPECT_DOUBLE_EQ(a->plotFreq[0], 20.0);
    EXPECT_NEAR(a->plotFreq[499], 20000.0, 1e-9);
    const double ratio = a->plotFreq[1] / a->plotFreq[0];
    for (int i = 1; i < plotPoints; ++i)
        ASSERT_NEAR(a->plotFreq[i] / a->plotFreq[i - 1], ratio, 1e-12);
}

TEST(AnalyzerState, BinFrequenciesFollowSampleRate) {
    auto a = std::make_unique<TAnalyzer>();
    EXPECT_EQ(a->binFreq[0], 0.1);
    EXPECT_DOUBLE_EQ(a->binFreq[1], 44100.0 / 8192);
    EXPECT_DOUBLE_EQ(a->binFreq[4095], 4095 * 44100.0 / 8192);
    const double grid499 = a->plotFreq[499];
    a->setFs(48000);
    EXPECT_EQ(a->fs, 48000);
    EXPECT_EQ(a->binFreq[0], 0.1);
    EXPECT_DOUBLE_EQ(a->binFreq[1], 48000.0 / 8192);
    EXPECT_EQ(a->plotFreq[499], grid499);
}

} // namespace
