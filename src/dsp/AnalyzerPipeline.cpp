// The analysis run: from the two impulse responses to the spectra, the correction filter, its
// band-windowed impulse response and the three dB curves of the plot grid.
#include "dsp/Analyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int N = blockLength;

// A delay field's value as a whole number of samples: truncated toward zero and kept inside
// 0..8192, so that a negative, huge or NaN value cannot read outside the responses.
int delaySamples(double delay) {
    if (!(delay > 0))
        return 0;
    if (delay >= N)
        return N;
    return static_cast<int>(delay);
}

double magnitude(const Complex& z) {
    return std::sqrt(z.re * z.re + z.im * z.im);
}

constexpr int bandCount = analysisBandCount; // even: the bands are taken back in pairs
constexpr const TAnalysisBand* bands = analysisBands;

} // namespace

void TAnalyzer::makeBandWindows() {
    static_assert(std::tuple_size_v<decltype(bandWindow)> == bandCount);
    for (int b = 0; b < bandCount; ++b) {
        double w = bands[b].decay;
        for (int t = 0; t < N; ++t) {
            bandWindow[b][t] = w;
            w = w * bands[b].decay;
        }
    }
}

void TAnalyzer::computeResponses() {
    if (!analysisReady)
        return;

    // Both responses from their compensated onsets, cut to the same length, as one complex signal.
    const int dm = delaySamples(delayMic);
    const int dp = delaySamples(delayPickup);
    const int length = N - std::max(dm, dp);
    int micSamples = 0; // non-zero samples (a NaN counts as sound)
    int pickupSamples = 0;
    for (int i = 0; i < length; ++i) {
        fftIn[i].re = irData[i + dm].mic;
        fftIn[i].im = irData[i + dp].pickup;
        micSamples += fftIn[i].re != 0;
        pickupSamples += fftIn[i].im != 0;
    }
    std::fill(fftIn.begin() + length, fftIn.end(), Complex{});
    micSilent = micSamples == 0;
    pickupSilent = pickupSamples == 0;
    fft->transformBlock(fftIn.data(), fftOut.data(), false);

    // Split the packed transform into the two real signals' spectra (each twice its DFT). A silent
    // response gets exact zeros, not the other one's rounding noise.
    micSpectrum[0] = Complex{};
    pickupSpectrum[0] = Complex{};
    filterSpectrum[0] = Complex{};
    for (int k = 1; k < binCount; ++k) {
        const Complex z = fftOut[k];
        const Complex w = fftOut[N - k];
        micSpectrum[k] = {z.re + w.re, z.im - w.im};
        pickupSpectrum[k] = {z.im + w.im, w.re - z.re};
    }
    if (micSilent)
        micSpectrum.fill(Complex{});
    if (pickupSilent)
        pickupSpectrum.fill(Complex{});

    micSpectrumUndelayed = dm == 0 && dp == 0;
    compressPeaks();
    if (useMinPhase && !pickupSilent)
        cleanPickupModel();

    // The filter turns the pickup into the (compressed) mic; a pickup bin of zero stays undivided.
    // The result also goes to fftOut, for the raw filter response.
    fftOut[0] = Complex{};
    if (enablePickup) {
        for (int k = 1; k < binCount; ++k) {
            const Complex p = pickupSpectrum[k];
            const double m = p.re * p.re + p.im * p.im;
            Complex f = filterSpectrum[k];
            if (m > 0)
                f = {(f.re * p.re + f.im * p.im) / m, (f.im * p.re - f.re * p.im) / m};
            filterSpectrum[k] = f;
            fftOut[k] = f;
        }
    } else {
        std::copy_n(filterSpectrum.begin() + 1, binCount - 1, fftOut.begin() + 1);
    }

    // Raw filter impulse response (8192 times true scale) into lpSignal, for the straightening.
    fftOut[binCount] = Complex{};
    fft->inverseRealBlock(fftOut.data(), lpSignal.data());

    straightenAndGainOfLpSignal();

    // dB curves on the plot grid; only the bins that end up as knots are converted.
    planPlotResampling();
    spectrumToDb(micSpectrum, -20);
    plotResampling.apply(binDb.data(), micDb.data());
    spectrumToDb(pickupSpectrum, -20);
    plotResampling.apply(binDb.data(), pickupDb.data());

    // The bands go back to the time domain two at a time: the first of a pair as the real part,
    // the second (disjoint bins) as the imaginary part of one complex inverse transform.
    for (int b = 0; b < bandCount; b += 2) {
        // Zeros outside the pair's bins and their mirrors (the bands of a pair are adjacent).
        const int first = bands[b].firstBin;
        const int end = bands[b + 1].endBin;
        static_assert(bands[0].firstBin == 1 && bands[bandCount - 1].endBin == binCount);
        std::fill(fftOut.begin(), fftOut.begin() + first, Complex{});
        std::fill(fftOut.begin() + end, fftOut.begin() + (N - end + 1), Complex{});
        std::fill(fftOut.begin() + (N - first + 1), fftOut.end(), Complex{});
        for (int k = bands[b].firstBin; k < bands[b].endBin; ++k) {
            const Complex f = filterSpectrum[k];
            fftOut[k] = f;
            fftOut[N - k] = {f.re, -f.im};
        }
        for (int k = bands[b + 1].firstBin; k < bands[b + 1].endBin; ++k) {
            const Complex f = filterSpectrum[k]; // times i, and its mirror conj(f) times i
            fftOut[k] = {-f.im, f.re};
            fftOut[N - k] = {f.im, f.re};
        }
        fft->transformBlock(fftOut.data(), fftIn.data(), true);
        const std::array<double, N>& windowFirst = bandWindow[b];
        const std::array<double, N>& windowSecond = bandWindow[b + 1];
        if (b == 0) { // filterIr starts as the first pair (0 + x is x)
            for (int t = 0; t < N; ++t) {
                filterIr[t] = fftIn[t].re * windowFirst[t] * (1.0 / N);
                filterIr[t] += fftIn[t].im * windowSecond[t] * (1.0 / N);
            }
        } else { // the last pair completes filterIr, which also goes to fftIn for its spectrum
            static_assert(bandCount == 4);
            for (int t = 0; t < N; ++t) {
                double v = filterIr[t] + fftIn[t].re * windowFirst[t] * (1.0 / N);
                v += fftIn[t].im * windowSecond[t] * (1.0 / N);
                filterIr[t] = v;
                fftIn[t] = {v, 0.0};
            }
        }
    }

    // From here on filterSpectrum is exactly the spectrum of filterIr without its DC bin, as the
    // engine's complex transform gives it.
    fft->transformBlock(fftIn.data(), fftOut.data(), false);
    std::copy_n(fftOut.begin(), binCount, filterSpectrum.begin());
    filterSpectrum[0] = Complex{};
    blendPickup(); // keeps that, and the curve below shows the filter as mixed

    spectrumToDb(filterSpectrum, 0);
    plotResampling.apply(binDb.data(), filterDb.data());
}

void TAnalyzer::planPlotResampling() {
    if (plannedTables && std::memcmp(plannedBinFreq.data(), binFreq.data(), sizeof binFreq) == 0 &&
        std::memcmp(plannedPlotFreq.data(), plotFreq.data(), sizeof plotFreq) == 0)
        return;
    plotResampling.plan(binFreq.data(), plotFreq.data());
    plannedBinFreq = binFreq;
    plannedPlotFreq = plotFreq;
    plannedTables = true;
}

void TAnalyzer::spectrumToDb(const std::array<Complex, binCount>& x, double offsetDb) {
    for (int n = 0; n < plotResampling.binsUsed; ++n) {
        const int k = plotResampling.bins[n];
        binDb[k] = 20 * std::log10(magnitude(x[k]) + 0.001) + offsetDb;
    }
}

void TAnalyzer::resampleToPlot(const double* v, double* out) const {
    TPlotResampling resampling;
    resampling.plan(binFreq.data(), plotFreq.data());
    resampling.apply(v, out);
}
