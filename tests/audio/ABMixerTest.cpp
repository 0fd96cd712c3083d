// The A/B switch's mixing: level matching and a crossfade without a jump.
#include "dsp/ABMixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Mixes `frames` frames of constant inputs: corrected (cl, cr), pickup p.
std::vector<float> mixConstant(TABMixer& mixer, float cl, float cr, float p, int frames) {
    std::vector<float> corrected(2 * frames), pickup(frames, p), out(2 * frames);
    for (int i = 0; i < frames; ++i) {
        corrected[2 * i] = cl;
        corrected[2 * i + 1] = cr;
    }
    mixer.mix(corrected.data(), pickup.data(), frames, out.data());
    return out;
}

} // namespace

TEST(ABMixer, LevelMatchGainEqualsTheRmsRatioAndIsOneWithNothingToMatch) {
    EXPECT_DOUBLE_EQ(levelMatchGain(0.5, 0.25), 2.0);
    EXPECT_DOUBLE_EQ(levelMatchGain(0.1, 0.4), 0.25);
    EXPECT_DOUBLE_EQ(levelMatchGain(0.0, 0.4), 1.0);
    EXPECT_DOUBLE_EQ(levelMatchGain(0.3, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(levelMatchGain(NAN, 0.3), 1.0);
}

TEST(ABMixer, PlaysTheCorrectedSignalOrTheScaledPickupOnBothSides) {
    TABMixer mixer(8);
    mixer.setPickupGain(2.0f);
    std::vector<float> out = mixConstant(mixer, 0.25f, -0.5f, 0.1f, 4);
    EXPECT_FLOAT_EQ(out[6], 0.25f);
    EXPECT_FLOAT_EQ(out[7], -0.5f);
    mixer.select(TABSource::pickup);
    mixer.settle();
    out = mixConstant(mixer, 0.25f, -0.5f, 0.1f, 4);
    EXPECT_FLOAT_EQ(out[0], 0.2f);
    EXPECT_FLOAT_EQ(out[1], 0.2f);
}

TEST(ABMixer, SwitchCrossfadesInSmallStepsAndArrivesAfterTheFadeLength) {
    // Corrected +1, pickup -1: the largest possible jump is 2 between neighbouring frames.
    const int fade = 240; // 5 ms at 48 kHz
    TABMixer mixer(fade);
    mixConstant(mixer, 1, 1, -1, 10);
    mixer.select(TABSource::pickup);
    std::vector<float> out = mixConstant(mixer, 1, 1, -1, 2 * fade);
    EXPECT_LT(out[0], 1.0f); // the change starts at once
    float previous = 1;
    for (int i = 0; i < 2 * fade; ++i) {
        EXPECT_LE(std::abs(out[2 * i] - previous), 2.0f / fade + 1e-6f) << "frame " << i;
        EXPECT_EQ(out[2 * i], out[2 * i + 1]);
        previous = out[2 * i];
    }
    EXPECT_FLOAT_EQ(out[2 * (fade - 1)], -1.0f);
    EXPECT_DOUBLE_EQ(mixer.weight(), 1.0);

    // Back before the fade has ended: it turns round where it stands, without a jump.
    mixer.select(TABSource::corrected);
    mixConstant(mixer, 1, 1, -1, fade / 2);
    mixer.select(TABSource::pickup);
    out = mixConstant(mixer, 1, 1, -1, 1);
    EXPECT_NEAR(out[0], 0.0f + -2.0f / fade, 1e-5f);
}

TEST(ABMixer, EqualGainFadeOfOneSignalKeepsItUnchanged) {
    // The same signal on both inputs (a filter of one unit tap, gain 1) goes through a switch as it is.
    TABMixer mixer(16);
    std::vector<float> corrected(64), pickup(32), out(64);
    for (int i = 0; i < 32; ++i) {
        pickup[i] = std::sin(0.3f * i);
        corrected[2 * i] = corrected[2 * i + 1] = pickup[i];
    }
    mixer.select(TABSource::pickup);
    mixer.mix(corrected.data(), pickup.data(), 32, out.data());
    for (int i = 0; i < 64; ++i)
        EXPECT_NEAR(out[i], corrected[i], 1e-6f);
}
