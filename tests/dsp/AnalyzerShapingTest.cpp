#include "dsp/Analyzer.h"
#include "dsp/SyntheticGuitar.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>

using testing_dsp::guitar;

namespace {

constexpr int N = blockLength;

double magnitude(const Complex& z) {
    return std::sqrt(z.re * z.re + z.im * z.im);
}

// A guitar after one run, so that the spectra and the raw filter response exist.
std::unique_ptr<TAnalyzer> analysedGuitar() {
    auto a = guitar();
    a->computeResponses();
    return a;
}

TEST(PeakCompression, Beta50LeavesTheMicSpectrum) {
    auto a = analysedGuitar();
    for (int beta : {50, 80}) { // positions past the track bar's end read as its end
        a->beta = beta;
        a->compressPeaks();
        for (int k = 1; k < binCount; ++k) {
            ASSERT_EQ(a->filterSpectrum[k].re, a->micSpectrum[k].re) << k;
            ASSERT_EQ(a->filterSpectrum[k].im, a->micSpectrum[k].im) << k;
        }
    }
}

TEST(PeakCompression, Beta0ClipsPeaksToTheEnvelopeAndLeavesTheRest) {
    auto a = analysedGuitar();
    a->beta = 0;
    a->compressPeaks();
    int clipped = 0, kept = 0;
    for (int k = 1; k < binCount; ++k) {
        const double mic = magnitude(a->micSpectrum[k]);
        const double out = magnitude(a->filterSpectrum[k]);
        if (mic > a->envelope[k]) {
            ++clipped;
            ASSERT_NEAR(out, a->envelope[k], 1e-12 * a->envelope[k]) << k;
            // The phase is kept.
            ASSERT_NEAR(a->filterSpectrum[k].re * a->micSpectrum[k].im,
                        a->filterSpectrum[k].im * a->micSpectrum[k].re, 1e-9 * mic * mic);
        } else {
            ++kept;
            ASSERT_EQ(a->filterSpectrum[k].re, a->micSpectrum[k].re) << k;
        }
    }
    EXPECT_GT(clipped, 0); // the body modes stand above the raised envelope
    EXPECT_GT(kept, 0);
}

TEST(PeakCompression, Beta30KeepsSixtyPercentOfEachExcessInDecibels) {
    auto a = analysedGuitar();
    a->beta = 30;
    a->compressPeaks();
    int checked = 0;
    for (int k = 1; k < binCount; ++k) {
        const double excess = 20 * std::log10(magnitude(a->micSpectrum[k]) / a->envelope[k]);
        if (excess > 0.5) {
            const double left = 20 * std::log10(magnitude(a->filterSpectrum[k]) / a->envelope[k]);
            ASSERT_NEAR(left, 0.6 * excess, 1e-9) << k;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(Straightening, Alpha50WithoutGainChangesNothing) {
    for (int alpha : {50, 120}) { // positions past the track bar's end read as its end
        auto a = analysedGuitar();
        // Give straightening a raw response and a spectrum to scale.
        std::array<Complex, binCount> before = a->filterSpectrum;
        for (int n = 0; n < N; ++n)
            a->fftIn[n] = {a->filterIr[n], 0.0};
        a->alpha = alpha;
        a->gainDb = 0;
        a->straightenAndGain();
        for (int k = 0; k < binCount; ++k) {
            ASSERT_DOUBLE_EQ(a->filterSpectrum[k].re, before[k].re) << k;
            ASSERT_DOUBLE_EQ(a->filterSpectrum[k].im, before[k].im) << k;
        }
    }
}

TEST(Straightening, Alpha50With6DbMultipliesEveryBinBy10To03) {
    auto a = analysedGuitar();
    std::array<Complex, binCount> before = a->filterSpectrum;
    for (int n = 0; n < N; ++n)
        a->fftIn[n] = {a->filterIr[n], 0.0};
    a->alpha = 50;
    a->gainDb = 6;
    a->straightenAndGain();
    const double g = std::pow(10.0, 0.3);
    EXPECT_NEAR(g, 1.995, 0.001);
    for (int k = 0; k < binCount; ++k) {
        ASSERT_NEAR(a->filterSpectrum[k].re, before[k].re * g, 1e-14 * magnitude(before[k])) << k;
        ASSERT_NEAR(a->filterSpectrum[k].im, before[k].im * g, 1e-14 * magnitude(before[k])) << k;
    }
}

TEST(Straightening, Alpha0FlattensABroadTilt) {
    // A raw response whose spectrum falls steadily (a one-pole low-pass): full straightening
    // divides the trend out, so the spectrum ends up much flatter than it started.
    auto a = analysedGuitar();
    double v = 1;
    for (int n = 0; n < N; ++n, v *= 0.9)
        a->fftIn[n] = {v, 0.0};
    for (int k = 0; k < binCount; ++k) {
        const double w = 2 * M_PI * k / N;
        const double denRe = 1 - 0.9 * std::cos(w), denIm = 0.9 * std::sin(w);
        const double d = denRe * denRe + denIm * denIm;
        a->filterSpectrum[k] = {denRe / d, -denIm / d}; // 1 / (1 - 0.9 e^-iw)
    }
    const double tiltBefore = magnitude(a->filterSpectrum[10]) / magnitude(a->filterSpectrum[4000]);
    a->alpha = 0;
    a->straightenAndGain();
    const double tiltAfter = magnitude(a->filterSpectrum[10]) / magnitude(a->filterSpectrum[4000]);
    EXPECT_GT(tiltBefore, 15.0);
    EXPECT_NEAR(tiltAfter, 1.0, 0.01);
}

TEST(CleanPickupModel, ModelOfAUnitImpulseIsFlat) {
    auto a = guitar();
    a->setUnitImpulse(1);
    a->useMinPhase = true;
    a->computeResponses();
    // The measured unit impulse carries 2 in every bin; the model matches that energy.
    for (int k = 0; k < binCount; ++k) {
        ASSERT_NEAR(a->pickupSpectrum[k].re, 2.0, 1e-9) << k;
        ASSERT_NEAR(a->pickupSpectrum[k].im, 0.0, 1e-9) << k;
    }
    for (int i = 1; i < plotPoints; ++i)
        ASSERT_NEAR(a->pickupDb[i], a->pickupDb[0], 1e-9);
}

TEST(CleanPickupModel, MatchesTheUpperBandEnergyOfTheMeasuredPickup) {
    auto a = analysedGuitar();
    const std::array<Complex, binCount> measured = a->pickupSpectrum;
    a->cleanPickupModel();
    double sp = 0, sm = 0;
    for (int k = 1025; k < binCount; ++k) {
        sp += measured[k].re * measured[k].re + measured[k].im * measured[k].im;
        sm += a->pickupSpectrum[k].re * a->pickupSpectrum[k].re +
              a->pickupSpectrum[k].im * a->pickupSpectrum[k].im;
    }
    EXPECT_NEAR(sm / sp, 1.0, 1e-12);
    // The model is smooth: neighbouring bins differ far less than the measured resonances do.
    double roughModel = 0, roughMeasured = 0;
    for (int k = 2; k < binCount; ++k) {
        roughModel = std::max(roughModel, std::abs(std::log(magnitude(a->pickupSpectrum[k]) /
                                                            magnitude(a->pickupSpectrum[k - 1]))));
        roughMeasured =
            std::max(roughMeasured, std::abs(std::log(magnitude(measured[k]) / magnitude(measured[k - 1]))));
    }
    EXPECT_LT(roughModel, roughMeasured);
}

TEST(PeakCompression, TheEnvelopeFollowsTheWholeMicResponseWhateverTheDelays) {
    // Without delays the run's mic spectrum serves the level match; with one, the whole
    // response is transformed on its own: the envelope is the same to rounding.
    auto undelayed = analysedGuitar();
    auto delayed = guitar();
    delayed->delayMic = 200; // cuts the mic's onset
    delayed->delayPickup = 3;
    delayed->computeResponses();
    for (int k = 1; k < binCount; ++k)
        ASSERT_NEAR(delayed->envelope[k], undelayed->envelope[k], 1e-12 * undelayed->envelope[k]) << k;
}

} // namespace
