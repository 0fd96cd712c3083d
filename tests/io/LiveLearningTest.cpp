// The guidance lines of the Record page: what to play next from how far each band is learned, and
// which gain to raise from the two levels; and the live learner reaching "enough" on a take that
// excites every band.
#include "io/LiveLearning.h"
#include "dsp/LevelMeter.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

using TBands = std::array<double, octaveBandCount>;

class LearningGuidance : public testing::TestWithParam<std::tuple<TBands, std::string>> {};

TEST_P(LearningGuidance, SaysWhatToPlayNext) {
    EXPECT_EQ(learningGuidance(std::get<0>(GetParam())), std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Bands, LearningGuidance,
    testing::Values(std::tuple{TBands{1, 1, 1, 1, 1, 1, 1, 1, 0},
                               "enough: every band from 80 Hz to 8 kHz is reliable"},
                    std::tuple{TBands{0.5, 1, 1, 1, 1, 1, 1, 1, 1}, "play more low notes"},
                    std::tuple{TBands{1, 0.9, 1, 1, 1, 1, 1, 1, 1}, "play more low notes"},
                    std::tuple{TBands{1, 1, 1, 1, 1, 1, 0.2, 0.1, 0}, "play louder / strum"}));

class LevelGuidance : public testing::TestWithParam<std::tuple<double, double, std::string>> {};

TEST_P(LevelGuidance, SaysWhichGainToRaise) {
    const auto& [pickup, mic, line] = GetParam();
    EXPECT_EQ(levelGuidance(pickup, mic), line);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelGuidance,
                         testing::Values(std::tuple{-20.0, -24.0, ""},
                                         std::tuple{-18.0, -30.0, "raise the mic's gain by about 12 dB"},
                                         std::tuple{-50.0, -20.0, "raise the pickup's gain by about 32 dB"},
                                         std::tuple{-30.0, -120.0, "no signal on the mic's channel"}));

TEST(LiveLearner, AMicThatIsThePickupFilteredIsLearnedInEveryBand) {
    constexpr int rate = 48000;
    TLiveLearner learner(rate, 1, 0);
    std::mt19937 gen(4);
    std::normal_distribution<float> d(0.0f, 0.1f);
    std::vector<float> block(2 * 4800);
    float previous = 0;
    bool early = false;
    for (int i = 0; i < 80; ++i) {
        for (size_t n = 0; n < block.size(); n += 2) {
            const float x = d(gen);
            block[n + 1] = x;
            block[n] = 0.6f * x + 0.3f * previous;
            previous = x;
        }
        learner.add(block.data(), 2, 4800);
        if (learner.due() && i == 9)
            early = learner.progress().learned[3] < 1;
    }
    EXPECT_TRUE(early) << "one second of playing counts as fully learned";
    const TLiveProgress p = learner.progress();
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.guidance, "enough: every band from 80 Hz to 8 kHz is reliable");
}
