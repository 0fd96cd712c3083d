// Live monitoring: the live convolver against the offline one (same filters, delayed by the
// blocking), whatever the sizes of the blocks handed in, and a staged filter change: refused while
// one is pending, faded in without a jump, then exactly the new filter; the monitor's mix (the
// corrected signal, the bare pickup level-matched and lined up, the limiter's ceiling); and the
// recording meters (peak, RMS, hold and clip light of tones at known levels).
#include "dsp/LiveConvolver.h"
#include "dsp/Convolver.h"
#include "dsp/LevelMeter.h"
#include "dsp/MonitorMix.h"

#include "support/RandomSignals.h"

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


// The offline convolver's stereo output for x.
std::vector<float> offline(const std::vector<double>& left, const std::vector<double>& right,
                           const std::vector<float>& x) {
    TConvolver c(left, right);
    std::vector<float> out;
    const auto sink = [&out](const float* f, int n) { out.insert(out.end(), f, f + 2 * n); };
    c.push(x.data(), static_cast<std::int64_t>(x.size()), sink);
    c.finish(sink);
    return out;
}

// Feeds x to c in blocks of sizes cycling through `sizes`; calls between(frame) before each block.
template <typename F>
std::vector<float> live(TLiveConvolver& c, const std::vector<float>& x, const std::vector<int>& sizes,
                        F between) {
    std::vector<float> out(2 * x.size());
    std::size_t pos = 0;
    for (std::size_t b = 0; pos < x.size(); ++b) {
        between(pos);
        const int n = static_cast<int>(std::min<std::size_t>(sizes[b % sizes.size()], x.size() - pos));
        c.process(x.data() + pos, out.data() + 2 * pos, n);
        pos += n;
    }
    return out;
}

// Largest difference of live output frames [from, to) from the reference delayed by the latency,
// relative to the reference's peak.
double delayedError(const std::vector<float>& y, const std::vector<float>& reference, std::size_t from,
                    std::size_t to) {
    double err = 0, peak = 1e-30;
    for (std::size_t n = std::max<std::size_t>(from, TLiveConvolver::latencyFrames); n < to; ++n)
        for (int side = 0; side < 2; ++side) {
            const double r = reference[2 * (n - TLiveConvolver::latencyFrames) + side];
            peak = std::max(peak, std::abs(r));
            err = std::max(err, std::abs(y[2 * n + side] - r));
        }
    return err / peak;
}

} // namespace

class LiveConvolverBlocks : public testing::TestWithParam<std::vector<int>> {};

TEST_P(LiveConvolverBlocks, EqualsTheOfflineConvolutionDelayedByOneBlock) {
    const std::vector<double> left = decayingTaps(TLiveConvolver::maxTaps, 1, 0.3);
    const std::vector<double> right = decayingTaps(300, 2, 0.3);
    const std::vector<float> x = uniformNoise(3 * TLiveConvolver::maxTaps + 77, 3, 0.5f);
    TLiveConvolver c(left, right);
    const std::vector<float> y = live(c, x, GetParam(), [](std::size_t) {});
    for (int n = 0; n < TLiveConvolver::latencyFrames; ++n)
        ASSERT_EQ(y[2 * n], 0.0f);
    EXPECT_LT(delayedError(y, offline(left, right, x), 0, x.size()), 1e-6);
    c.reset();
    const std::vector<float> again = live(c, x, {128}, [](std::size_t) {});
    EXPECT_LT(delayedError(again, offline(left, right, x), 0, x.size()), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, LiveConvolverBlocks,
                         testing::Values(std::vector<int>{128}, std::vector<int>{1, 127, 300, 64, 0, 5000},
                                         std::vector<int>{441}));

TEST(LiveConvolver, AStagedPolarityFlipFadesWithoutAJumpThenIsTheNewFilter) {
    std::vector<double> up(1, 1.0), down(1, -1.0);
    std::vector<float> x(20000);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(0.5 * std::sin(2 * M_PI * 50 * n / 48000.0) + 0.4);
    TLiveConvolver c(up, up);
    const std::size_t at = 5000;
    bool refused = false;
    const std::vector<float> y = live(c, x, {100}, [&](std::size_t pos) {
        if (pos == at) {
            ASSERT_TRUE(c.stage(down, down));
            refused = !c.stage(up, up) && c.changing();
        }
    });
    EXPECT_TRUE(refused);
    EXPECT_FALSE(c.changing());
    double largestStep = 0;
    for (std::size_t n = TLiveConvolver::latencyFrames + 1; n < x.size(); ++n)
        largestStep = std::max(largestStep, std::abs(double(y[2 * n]) - y[2 * n - 2]));
    // A hard switch would jump by about 1.6; the fade moves by 1.6 over fadeFrames at most.
    EXPECT_LT(largestStep, 2.0 / TLiveConvolver::fadeFrames + 0.01);
    const std::size_t settled = at + TLiveConvolver::fadeFrames + 2 * TLiveConvolver::blockFrames + 100;
    EXPECT_LT(delayedError(y, offline(up, up, x), 0, at), 1e-6);
    EXPECT_LT(delayedError(y, offline(down, down, x), settled, x.size()), 1e-6);
}

class LevelMeterTones : public testing::TestWithParam<double> {};

TEST_P(LevelMeterTones, ReadPeakRmsAndHoldOfATone) {
    const double db = GetParam();
    TLevelMeter meter(rate);
    const std::vector<float> x = tone(std::pow(10.0, db / 20), rate);
    meter.add(x.data(), 1, rate);
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
    // One sample at full scale lights the clip light for 2 s.
    const float full = -1.0f;
    meter.add(&full, 1, 1);
    meter.add(quiet.data(), 1, rate / 2);
    EXPECT_TRUE(meter.take().clip);
    for (int i = 0; i < 3; ++i)
        meter.add(quiet.data(), 1, rate / 2);
    EXPECT_FALSE(meter.take().clip);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelMeterTones, testing::Values(-40.0, -12.0, -0.5));

TEST(MonitorMix, CorrectedIsTheConvolutionAndPickupTheLevelMatchedInputLinedUp) {
    const std::vector<double> left(40, 1.0 / 40), right(1, 0.5);
    const std::vector<float> x = uniformNoise(3 * rate, 5, 0.5f);
    TMonitorMix mix(rate, left, right);
    std::vector<float> y(2 * x.size());
    const int half = static_cast<int>(x.size() / 2);
    mix.process(x.data(), y.data(), half);
    mix.select(TABSource::pickup);
    mix.process(x.data() + half, y.data() + 2 * half, half);
    EXPECT_EQ(mix.limitedFrames(), 0);

    const std::vector<float> expected = offline(left, right, x);
    const int lag = TMonitorMix::latencyFrames;
    for (int n = lag; n < half; n += 7)
        for (int side = 0; side < 2; ++side)
            ASSERT_NEAR(y[2 * n + side], expected[2 * (n - lag) + side], 1e-6) << n;
    // The right side halves the input and the left smooths away most of white noise's power.
    const double gain = std::sqrt((0.25 + 1.0 / 40) / 2);
    EXPECT_NEAR(mix.pickupGain(), gain, 0.05 * gain);
    for (int n = half + rate / 10; n < static_cast<int>(x.size()); n += 7)
        ASSERT_NEAR(y[2 * n], mix.pickupGain() * x[n - lag], 0.02) << n;
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
