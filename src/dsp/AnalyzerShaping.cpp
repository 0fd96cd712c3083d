// The three shaping stages of the analysis: peak compression of the mic response (beta), the
// clean minimum-phase pickup model, and straightening of the filter's broad trend (alpha) with gain.
#include "dsp/Analyzer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int N = blockLength;

// A track bar position as the model reads it: kept within 0..50, so that a caller passing an
// out-of-range value cannot turn the lag window unstable or invert the compression.
int trackBarPosition(int position) {
    return std::clamp(position, 0, 50);
}

// Bins over which a model's level is matched to the measured spectrum: the upper three quarters.
constexpr int matchFirstBin = 1025;

} // namespace

void TAnalyzer::fitAllPoleModel(int order, double lagFactor) {
    autocorrelate(lpSignal.data(), order, lpCorrelation.data());
    levinsonDurbin(lpCorrelation.data(), order, lpCoefficients.data());
    lagWindow(lpCoefficients.data(), order, lagFactor);
    allPoleResponse(lpCoefficients.data(), order, lpResponse.data());
}

void TAnalyzer::compressPeaks() {
    const double p = 1 - 0.02 * trackBarPosition(beta);

    for (int n = 0; n < N; ++n)
        lpSignal[n] = irData[n].mic;
    fitAllPoleModel(100, 0.97);

    // One transform carries the envelope (real part) and the undelayed mic response (imaginary).
    for (int n = 0; n < N; ++n)
        fftIn[n] = {lpResponse[n], irData[n].mic};
    fft->transformBlock(fftIn.data(), fftOut.data(), false);
    double se = 1e-32;
    double sm = 1e-32;
    for (int k = 1; k < binCount; ++k) {
        const Complex z = fftOut[k];
        const Complex w = fftOut[N - k];
        const double envRe = z.re + w.re;
        const double envIm = z.im - w.im;
        envelope[k] = std::sqrt(envRe * envRe + envIm * envIm);
        if (k >= matchFirstBin) {
            const double micRe = z.re - w.re;
            const double micIm = z.im + w.im;
            const double mag = std::sqrt(micRe * micRe + micIm * micIm);
            se += envelope[k] * envelope[k];
            sm += mag * mag;
        }
    }
    // The envelope sits about 3 dB above the level that would carry the mic's energy.
    const double g = std::sqrt(sm / se) * 1.41;

    for (int k = 1; k < binCount; ++k) {
        envelope[k] = envelope[k] * g;
        const Complex m = micSpectrum[k];
        const double re = m.re + 1e-32;
        const double ratio = std::sqrt(re * re + m.im * m.im) / envelope[k];
        const double d = ratio >= 1 ? std::pow(ratio, p) : 1.0;
        filterSpectrum[k] = {m.re / d, m.im / d};
    }
}

void TAnalyzer::cleanPickupModel() {
    for (int n = 0; n < N; ++n)
        lpSignal[n] = irData[n].pickup;
    fitAllPoleModel(50, 0.95);

    fft->forwardRealBlock(lpResponse.data(), fftOut.data());
    double se = 1e-32;
    double sp = 1e-32;
    for (int k = matchFirstBin; k < binCount; ++k) {
        se += fftOut[k].re * fftOut[k].re + fftOut[k].im * fftOut[k].im;
        sp += pickupSpectrum[k].re * pickupSpectrum[k].re + pickupSpectrum[k].im * pickupSpectrum[k].im;
    }
    const double g = std::sqrt(sp / se);
    for (int k = 0; k < binCount; ++k)
        pickupSpectrum[k] = {g * fftOut[k].re, g * fftOut[k].im};
}

void TAnalyzer::straightenAndGain() {
    // The raw filter response in the real parts of fftIn; its scale does not matter to the model.
    for (int n = 0; n < N; ++n)
        lpSignal[n] = fftIn[n].re;
    straightenAndGainOfLpSignal();
}

void TAnalyzer::straightenAndGainOfLpSignal() {
    const double s = 1 - 0.02 * trackBarPosition(alpha);
    fitAllPoleModel(4, s);
    const double gainLin = std::pow(10.0, 0.05 * gainDb);

    fft->forwardRealBlock(lpResponse.data(), fftOut.data());
    for (int k = 0; k < binCount; ++k) {
        const Complex e = fftOut[k];
        const double m = std::sqrt(e.re * e.re + e.im * e.im) / gainLin;
        filterSpectrum[k] = {filterSpectrum[k].re * m / (m * m), filterSpectrum[k].im * m / (m * m)};
    }
}
