// The recording meters (peak, RMS, hold and clip light of tones at known levels) and the monitor's
// mix: the corrected signal as the offline convolution, the bare pickup level-matched and lined up,
// and the limiter keeping a loud input under its ceiling.
#include "dsp/Convolver.h"
#include "dsp/LevelMeter.h"
#include "dsp/MonitorMix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int rate = 48000;

std::vector<float> tone(double amplitude, int frames, double hz = 997) {
    std::vector<float> x(frames);
    for (int n = 0; n < frames; ++n)
        x[n] = static_cast<float>(amplitude * std::sin(2 * M_PI * hz * n / rate));
    return x;
}

std::vector<double> smoothing(int taps) {
    return std::vector<double>(taps, 1.0 / taps);
}

} // namespace

class LevelMeterTones : public testing::TestWithParam<double> {};

TEST_P(LevelMeterTones, ReadPeakRmsAndHoldOfATone) {
    const double db = GetParam();
    TLevelMeter meter(rate);
    const std::vector<float> x = tone(std::pow(10.0, db / 20), rate);
    // Two interleaved channels, the tone in the second.
    std::vector<float> stereo(2 * x.size());
    for (size_t i = 0; i < x.size(); ++i)
        stereo[2 * i + 1] = x[i];
    meter.add(stereo.data() + 1, 2, rate);
    const TLevelReading r = meter.take();
    EXPECT_NEAR(r.peakDb, db, 0.01);
    EXPECT_NEAR(r.rmsDb, db - 3.01, 0.05);
    EXPECT_NEAR(r.holdDb, db, 0.01);
    EXPECT_FALSE(r.clip);
    // Silence: the peak at once, the hold after 2 s.
    const std::vector<float> quiet(rate / 2, 0.0f);
    meter.add(quiet.data(), 1, rate / 2);
    EXPECT_EQ(meter.take().peakDb, TLevelMeter::floorDb);
    EXPECT_NEAR(meter.take().holdDb, db, 0.01);
    for (int i = 0; i < 4; ++i)
        meter.add(quiet.data(), 1, rate / 2);
    EXPECT_EQ(meter.take().holdDb, TLevelMeter::floorDb);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelMeterTones, testing::Values(-40.0, -12.0, -0.5));

TEST(LevelMeter, TheClipLightStaysLitTwoSecondsAfterFullScale) {
    TLevelMeter meter(rate);
    std::vector<float> x = tone(0.5, rate / 10);
    x[100] = -1.0f;
    meter.add(x.data(), 1, rate / 10);
    EXPECT_TRUE(meter.take().clip);
    const std::vector<float> quiet(rate, 0.0f);
    meter.add(quiet.data(), 1, rate);
    EXPECT_TRUE(meter.take().clip);
    meter.add(quiet.data(), 1, rate);
    EXPECT_FALSE(meter.take().clip);
}

TEST(MonitorMix, CorrectedIsTheConvolutionAndPickupTheLevelMatchedInputLinedUp) {
    const std::vector<double> left = smoothing(40), right(1, 0.5);
    std::mt19937 gen(5);
    std::normal_distribution<float> d(0.0f, 0.05f);
    std::vector<float> x(3 * rate);
    for (float& v : x)
        v = d(gen);
    TMonitorMix mix(rate, left, right);
    std::vector<float> y(2 * x.size());
    const int half = static_cast<int>(x.size() / 2);
    mix.process(x.data(), y.data(), half);
    mix.select(TABSource::pickup);
    mix.process(x.data() + half, y.data() + 2 * half, half);
    EXPECT_EQ(mix.limitedFrames(), 0);

    TConvolver offline(left, right);
    std::vector<float> expected;
    const auto sink = [&](const float* f, int n) { expected.insert(expected.end(), f, f + 2 * n); };
    offline.push(x.data(), half, sink);
    offline.finish(sink);
    const int lag = TMonitorMix::latencyFrames;
    for (int n = lag; n < half; n += 7)
        for (int side = 0; side < 2; ++side)
            ASSERT_NEAR(y[2 * n + side], expected[2 * (n - lag) + side], 1e-6) << n;
    // The right side halves the input and the left smooths away most of white noise's power.
    const double correctedRms = std::sqrt((0.25 + 1.0 / 40) / 2) * 0.05;
    EXPECT_NEAR(mix.pickupGain(), correctedRms / 0.05, 0.05 * correctedRms / 0.05);
    for (int n = half + rate / 10; n < static_cast<int>(x.size()); n += 7)
        ASSERT_NEAR(y[2 * n], mix.pickupGain() * x[n - lag], 0.002) << n;
}

TEST(MonitorMix, TheLimiterKeepsALoudInputUnderTheCeiling) {
    const std::vector<double> loud(1, 4.0);
    TMonitorMix mix(rate, loud, loud);
    const std::vector<float> x = tone(0.9, rate);
    std::vector<float> y(2 * x.size());
    mix.process(x.data(), y.data(), rate);
    const float ceiling = static_cast<float>(std::pow(10.0, TMonitorMix::ceilingDb / 20));
    float largest = 0;
    for (const float v : y)
        largest = std::max(largest, std::abs(v));
    EXPECT_LE(largest, ceiling * 1.0001f);
    EXPECT_GT(largest, ceiling * 0.95f);
    EXPECT_GT(mix.limitedFrames(), rate / 2);
}
