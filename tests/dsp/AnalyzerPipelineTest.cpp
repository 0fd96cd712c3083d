#include "dsp/Analyzer.h"
#include "dsp/SyntheticGuitar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using testing_dsp::guitar;

namespace {

constexpr int N = blockLength;

double magnitude(const Complex& z) {
    return std::sqrt(z.re * z.re + z.im * z.im);
}

// Twice the DFT of x (8192 real values), bins 0..4095.
std::vector<Complex> twiceSpectrum(TFFT& fft, const std::vector<double>& x) {
    std::vector<Complex> in(N), out(N);
    for (int n = 0; n < N; ++n)
        in[n] = {x[n], 0.0};
    fft.transform(in.data(), out.data(), N, false);
    out.resize(binCount);
    for (Complex& c : out)
        c = {2 * c.re, 2 * c.im};
    return out;
}

TEST(AnalyzerPipeline, DoesNothingUntilReady) {
    auto a = guitar();
    a->analysisReady = false;
    a->computeResponses();
    for (int i = 0; i < plotPoints; ++i)
        ASSERT_TRUE(a->micDb[i] == 0 && a->pickupDb[i] == 0 && a->filterDb[i] == 0);
    for (int t = 0; t < N; ++t)
        ASSERT_EQ(a->filterIr[t], 0.0);
    for (int k = 0; k < binCount; ++k)
        ASSERT_TRUE(a->micSpectrum[k].re == 0 && a->filterSpectrum[k].re == 0);
}

TEST(AnalyzerPipeline, DelayCompensationShiftsEachResponseAndCutsBothToTheSameLength) {
    auto a = guitar();
    for (int n = 8092; n < N; ++n) // a pickup tail that the cut must drop
        a->irData[n].pickup = 0.5;
    a->delayMic = 100.9; // truncated to 100
    a->delayPickup = 0;
    a->computeResponses();

    std::vector<double> mic(N, 0.0), pickup(N, 0.0);
    for (int n = 0; n < N - 100; ++n) {
        mic[n] = a->irData[n + 100].mic;
        pickup[n] = a->irData[n].pickup;
    }
    const std::vector<Complex> m = twiceSpectrum(*a->fft, mic);
    const std::vector<Complex> p = twiceSpectrum(*a->fft, pickup);
    for (int k = 1; k < binCount; ++k) {
        ASSERT_NEAR(a->micSpectrum[k].re, m[k].re, 1e-9) << k;
        ASSERT_NEAR(a->micSpectrum[k].im, m[k].im, 1e-9) << k;
        ASSERT_NEAR(a->pickupSpectrum[k].re, p[k].re, 1e-9) << k;
        ASSERT_NEAR(a->pickupSpectrum[k].im, p[k].im, 1e-9) << k;
    }
}

TEST(AnalyzerPipeline, DelaysOutsideTheResponseReadNothingOutside) {
    auto a = guitar();
    a->delayMic = -40; // read as no delay
    a->computeResponses();
    auto b = guitar();
    b->computeResponses();
    EXPECT_EQ(std::memcmp(a->micSpectrum.data(), b->micSpectrum.data(), sizeof(Complex) * binCount), 0);

    a->delayMic = 1e12; // past the end: both responses are cut to nothing
    a->computeResponses();
    for (int k = 0; k < binCount; ++k)
        ASSERT_TRUE(a->micSpectrum[k].re == 0 && a->pickupSpectrum[k].re == 0 &&
                    a->pickupSpectrum[k].im == 0);
    a->delayMic = std::nan("");
    a->computeResponses();
    EXPECT_EQ(std::memcmp(a->micSpectrum.data(), b->micSpectrum.data(), sizeof(Complex) * binCount), 0);
}

TEST(AnalyzerPipeline, DcBinsAreZeroAndTheFilterSpectrumIsThatOfItsImpulseResponse) {
    auto a = guitar();
    a->computeResponses();
    EXPECT_EQ(a->micSpectrum[0].re, 0.0);
    EXPECT_EQ(a->micSpectrum[0].im, 0.0);
    EXPECT_EQ(a->filterSpectrum[0].re, 0.0);
    EXPECT_EQ(a->filterSpectrum[0].im, 0.0);
    std::vector<double> ir(a->filterIr.begin(), a->filterIr.end());
    const std::vector<Complex> f = twiceSpectrum(*a->fft, ir);
    for (int k = 1; k < binCount; ++k) {
        ASSERT_DOUBLE_EQ(a->filterSpectrum[k].re, f[k].re / 2) << k;
        ASSERT_DOUBLE_EQ(a->filterSpectrum[k].im, f[k].im / 2) << k;
    }
    a->setChannel(0);
    EXPECT_EQ(a->channels[0].filterSpectrum[0].re, 0.0);
    EXPECT_EQ(a->channels[0].filterSpectrum[0].im, 0.0);
}

TEST(AnalyzerPipeline, EachBandOfTheFilterDecaysByItsOwnFactorFromTheFirstSample) {
    // Neutral shaping and no pickup leave the mic spectrum as the filter before the time window;
    // the impulse response is then rebuilt here band by band with a direct inverse DFT.
    auto a = guitar();
    a->beta = 50;
    a->alpha = 50;
    a->enablePickup = false;
    a->computeResponses();
    struct {
        int first, end;
        double decay;
    } const bands[] = {{1, 128, 1.0}, {128, 256, 0.9995}, {256, 1024, 0.999}, {1024, 4096, 0.998}};
    std::vector<double> cosTable(N), sinTable(N), expected(N, 0.0), band(N);
    for (int n = 0; n < N; ++n) {
        cosTable[n] = std::cos(2 * M_PI * n / N);
        sinTable[n] = std::sin(2 * M_PI * n / N);
    }
    for (const auto& b : bands) {
        std::fill(band.begin(), band.end(), 0.0);
        for (int k = b.first; k < b.end; ++k) {
            const Complex f = a->micSpectrum[k];
            for (int t = 0; t < N; ++t) {
                const int phase = static_cast<int>((static_cast<long>(k) * t) % N);
                band[t] += 2 * (f.re * cosTable[phase] - f.im * sinTable[phase]);
            }
        }
        for (int t = 0; t < N; ++t)
            expected[t] += band[t] * std::pow(b.decay, t + 1) / N;
    }
    const double peak = *std::max_element(a->filterIr.begin(), a->filterIr.end(),
                                          [](double x, double y) { return std::fabs(x) < std::fabs(y); });
    for (int t = 0; t < N; ++t)
        ASSERT_NEAR(a->filterIr[t], expected[t], 1e-9 * std::fabs(peak)) << t;
}

TEST(AnalyzerPipeline, CurvesAreTheBinLevelsResampledToThePlotGrid) {
    auto a = guitar();
    a->useMinPhase = true;
    a->computeResponses();
    std::vector<double> v(binCount), out(plotPoints);
    const std::pair<const std::array<Complex, binCount>*, const std::array<double, plotPoints>*> curves[] = {
        {&a->micSpectrum, &a->micDb}, {&a->pickupSpectrum, &a->pickupDb}, {&a->filterSpectrum, &a->filterDb}};
    for (const auto& [spectrum, curve] : curves) {
        const double offset = curve == &a->filterDb ? 0.0 : -20.0;
        for (int k = 0; k < binCount; ++k)
            v[k] = 20 * std::log10(magnitude((*spectrum)[k]) + 0.001) + offset;
        a->resampleToPlot(v.data(), out.data());
        for (int i = 0; i < plotPoints; ++i)
            ASSERT_EQ((*curve)[i], out[i]) << i;
    }
}

TEST(AnalyzerPipeline, AllZeroMicGivesSilentFilter) {
    // The mic spectrum comes out of the transform shared with the pickup, so "zero" holds to
    // rounding only.
    auto a = guitar();
    for (IrPair& p : a->irData)
        p.mic = 0;
    a->useMinPhase = true;
    a->computeResponses();
    for (int t = 0; t < N; ++t)
        ASSERT_NEAR(a->filterIr[t], 0.0, 1e-12);
    for (int i = 0; i < plotPoints; ++i) {
        ASSERT_NEAR(a->micDb[i], -80.0, 1e-9);
        ASSERT_NEAR(a->filterDb[i], -60.0, 1e-9);
        ASSERT_TRUE(std::isfinite(a->pickupDb[i]));
    }
}

TEST(AnalyzerPipeline, ZeroPickupBinsLeaveTheFilterUndivided) {
    // A unit-impulse mic transforms to exactly 1 in every bin, so a silent pickup's bins are
    // exactly 0: the filter must stay the compressed mic, as with the pickup switched off.
    auto a = guitar();
    a->setUnitImpulse(0);
    for (IrPair& p : a->irData)
        p.pickup = 0;
    a->computeResponses();
    for (int k = 1; k < binCount; ++k)
        ASSERT_TRUE(a->pickupSpectrum[k].re == 0 && a->pickupSpectrum[k].im == 0) << k;
    auto b = guitar();
    b->setUnitImpulse(0);
    for (IrPair& p : b->irData)
        p.pickup = 0;
    b->enablePickup = false;
    b->computeResponses();
    for (int t = 0; t < N; ++t)
        ASSERT_TRUE(std::isfinite(a->filterIr[t]));
    EXPECT_EQ(std::memcmp(a->filterIr.data(), b->filterIr.data(), sizeof(double) * N), 0);
}

TEST(AnalyzerPipeline, BothResponsesSilentGiveAFiniteSilentFilter) {
    auto a = guitar();
    a->irData.fill(IrPair{});
    a->useMinPhase = true;
    a->computeResponses();
    for (int t = 0; t < N; ++t)
        ASSERT_EQ(a->filterIr[t], 0.0);
    for (int i = 0; i < plotPoints; ++i)
        ASSERT_TRUE(std::isfinite(a->pickupDb[i]) && std::isfinite(a->filterDb[i]));
}

TEST(AnalyzerPipeline, UnitImpulsePickupHalvesTheFilterOfAPickupSwitchedOff) {
    // The split spectra carry twice the DFT, so a unit-impulse pickup divides by 2 in every bin.
    auto on = guitar();
    auto off = guitar();
    on->setUnitImpulse(1);
    off->setUnitImpulse(1);
    off->enablePickup = false;
    for (TAnalyzer* a : {on.get(), off.get()}) {
        a->alpha = 50;
        a->beta = 50;
        a->computeResponses();
    }
    for (int t = 0; t < N; ++t)
        ASSERT_NEAR(on->filterIr[t], off->filterIr[t] / 2, 1e-12) << t;
}

TEST(AnalyzerPipeline, GainScalesTheWholeFilter) {
    auto a = guitar();
    auto b = guitar();
    b->gainDb = -12.5;
    a->computeResponses();
    b->computeResponses();
    const double factor = std::pow(10.0, -12.5 / 20);
    double peak = 0;
    for (int t = 0; t < N; ++t)
        peak = std::max(peak, std::abs(a->filterIr[t]));
    ASSERT_GT(peak, 0.0);
    for (int t = 0; t < N; ++t)
        ASSERT_NEAR(b->filterIr[t], a->filterIr[t] * factor, 1e-12 * peak) << t;
}

TEST(AnalyzerPipeline, SetChannelCopiesTheFilterButNotTheCurve) {
    auto a = guitar();
    a->computeResponses();
    const double dummy[plotPoints] = {};
    TCurve& curve = a->channels[1].curve;
    curve.data = dummy;
    curve.visible = false;
    std::strcpy(curve.name, "Right");
    a->setChannel(1);
    const ChannelResult& c = a->channels[1];
    EXPECT_EQ(c.filterIr, a->filterIr);
    EXPECT_EQ(std::memcmp(c.filterSpectrum.data(), a->filterSpectrum.data(), sizeof(Complex) * binCount), 0);
    EXPECT_EQ(c.filterDb, a->filterDb);
    EXPECT_EQ(curve.data, dummy);
    EXPECT_FALSE(curve.visible);
    EXPECT_STREQ(curve.name, "Right");
    for (double v : a->channels[0].filterIr)
        ASSERT_EQ(v, 0.0);

    a->setChannel(2); // no such channel: nothing changes
    a->setChannel(-1);
    for (double v : a->channels[0].filterIr)
        ASSERT_EQ(v, 0.0);
}

} // namespace

namespace {

double largestDifference(const double* x, const double* y, int n, double* largest) {
    double worst = 0;
    *largest = 0;
    for (int i = 0; i < n; ++i) {
        worst = std::max(worst, std::abs(x[i] - y[i]));
        *largest = std::max(*largest, std::abs(y[i]));
    }
    return worst;
}

} // namespace

TEST(AnalyzerPipeline, SilentPickupDividesNothingSoTheFilterIsThatWithoutThePickup) {
    for (const bool clean : {false, true}) {
        for (const bool silentAfterDelay : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "clean " << clean << " after delay " << silentAfterDelay);
            auto silent = guitar();
            for (IrPair& p : silent->irData)
                p.pickup = 0.0;
            if (silentAfterDelay) { // sound only before the compensated onset
                silent->irData[3].pickup = 1.0;
                silent->delayPickup = 10;
            }
            silent->useMinPhase = clean;
            silent->computeResponses();
            EXPECT_TRUE(silent->pickupSilent);
            EXPECT_FALSE(silent->micSilent);
            for (int k = 0; k < binCount; ++k)
                ASSERT_TRUE(silent->pickupSpectrum[k].re == 0 && silent->pickupSpectrum[k].im == 0) << k;

            auto without = guitar();
            without->setUnitImpulse(1);
            without->enablePickup = false;
            without->delayPickup = silent->delayPickup; // the same cut of the mic response
            without->computeResponses();
            double largest = 0;
            const double irDifference =
                largestDifference(silent->filterIr.data(), without->filterIr.data(), N, &largest);
            EXPECT_LE(irDifference, 1e-9 * largest);
            const double dbDifference =
                largestDifference(silent->filterDb.data(), without->filterDb.data(), plotPoints, &largest);
            EXPECT_LE(dbDifference, 1e-9 * largest);
            EXPECT_LT(*std::max_element(silent->filterDb.begin(), silent->filterDb.end()), 60.0);
        }
    }
}

TEST(AnalyzerPipeline, SilentMicGivesAnAllZeroFilter) {
    auto a = guitar();
    for (IrPair& p : a->irData)
        p.mic = 0.0;
    a->computeResponses();
    EXPECT_TRUE(a->micSilent);
    EXPECT_FALSE(a->pickupSilent);
    for (int k = 0; k < binCount; ++k)
        ASSERT_TRUE(a->micSpectrum[k].re == 0 && a->micSpectrum[k].im == 0) << k;
    for (int t = 0; t < N; ++t)
        ASSERT_EQ(a->filterIr[t], 0.0) << t;
    for (int i = 0; i < plotPoints; ++i)
        ASSERT_DOUBLE_EQ(a->filterDb[i], -60.0) << i;
}

TEST(AnalyzerPipeline, CurvesFollowASampleRateChangedBetweenRuns) {
    // The plot grid's knots are kept from run to run while the frequency tables stay the same.
    auto changed = guitar();
    changed->computeResponses();
    changed->setFs(96000);
    changed->computeResponses();
    auto fresh = guitar();
    fresh->setFs(96000);
    fresh->computeResponses();
    EXPECT_EQ(changed->micDb, fresh->micDb);
    EXPECT_EQ(changed->pickupDb, fresh->pickupDb);
    EXPECT_EQ(changed->filterDb, fresh->filterDb);
    changed->binFreq[0] = 1000; // a table written directly counts as well
    changed->computeResponses();
    EXPECT_NE(changed->micDb, fresh->micDb);
}
