// The guidance lines of the Record page: what to play next from how far each band is learned, and
// which gain to raise from the two levels; and the live learner reaching "enough" on a take that
// excites every band.
#include "io/LiveLearning.h"
#include "dsp/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

TEST(RecordGuidance, SaysWhatToPlayNextAndWhichGainToRaise) {
    using TBands = std::array<double, octaveBandCount>;
    EXPECT_EQ(learningGuidance(TBands{0.5, 1, 1, 1, 1, 1, 1, 1, 0}, true),
              "enough: every band from 80 Hz to 8 kHz is reliable");
    EXPECT_EQ(learningGuidance(TBands{0.5, 1, 1, 1, 1, 1, 1, 1, 1}, false), "play more low notes");
    EXPECT_EQ(learningGuidance(TBands{1, 0.9, 1, 1, 1, 1, 1, 1, 1}, false), "play more low notes");
    EXPECT_EQ(learningGuidance(TBands{1, 1, 1, 1, 1, 1, 0.2, 0.1, 0}, false), "play louder / strum");
    EXPECT_EQ(levelGuidance(-20, -24), "");
    EXPECT_EQ(levelGuidance(-18, -30), "raise the mic's gain by about 12 dB");
    EXPECT_EQ(levelGuidance(-50, -20), "raise the pickup's gain by about 32 dB");
    EXPECT_EQ(levelGuidance(-30, -120), "no signal on the mic's channel");
}

// A band is reliable where the verdict's range covers its thirds, else learned (limit / error)^2.
struct TRangeCase {
    double lowHz, highHz, learned63, learned2k;
    const char* guidance;
};
class LiveBands : public testing::TestWithParam<TRangeCase> {};
TEST_P(LiveBands, FollowTheReliableRangeOfTheVerdict) {
    TTransferResult r;
    r.rate = 48000;
    r.bandErrorDb.fill(0.5);
    r.bandErrorDb[28] = 2;            // 12.5 kHz
    r.bandErrorDb[30] = std::nan(""); // 20 kHz, above 0.45 fs, is left out
    r.reliableLowHz = GetParam().lowHz;
    r.reliableHighHz = GetParam().highHz;
    const TLiveProgress p = summariseLearning(r);
    EXPECT_DOUBLE_EQ(p.learned[0], GetParam().learned63);
    EXPECT_DOUBLE_EQ(p.learned[5], GetParam().learned2k);
    EXPECT_DOUBLE_EQ(p.learned[8], 0.25);
    EXPECT_EQ(p.guidance, GetParam().guidance);
}
INSTANTIATE_TEST_SUITE_P(Ranges, LiveBands,
                         testing::Values(TRangeCase{63, 10000, 0.99, 1,
                                                    "enough: every band from 80 Hz to 8 kHz is reliable"},
                                         TRangeCase{100, 10000, 0.99, 1, "play more low notes"},
                                         TRangeCase{50, 2000, 1, 0.99, "play louder / strum"}));

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
