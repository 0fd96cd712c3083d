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

// Largest lag-window factor for which a stable model's spectrum is taken from its predictor.
constexpr double maxSpectralLagFactor = 0.99;
// Orders below this evaluate the predictor at the bins directly instead of transforming it.
constexpr int hornerOrders = 8;

} // namespace

void TAnalyzer::fitAllPoleModel(int order, double lagFactor) {
    autocorrelate(lpSignal.data(), order, lpCorrelation.data());
    fitAllPoleModelToCorrelation(order, lagFactor);
}

void TAnalyzer::fitAllPoleModelToCorrelation(int order, double lagFactor) {
    const bool stable = levinsonDurbin(lpCorrelation.data(), order, lpCoefficients.data());
    lagWindow(lpCoefficients.data(), order, lagFactor);
    // The lag window pulls the poles of a stable model within radius |q|. The lift of r[0] keeps
    // the model's response below about 100 (its energy is r[0] over the prediction error, which
    // the lift holds above 1e-4 r[0]), so past sample 8192 less than 100 q^8192 (2e-34 for q =
    // 0.99) is cut off: the response's DFT is 1/A at the bins up to rounding.
    if (stable && std::abs(lagFactor) <= maxSpectralLagFactor) {
        predictorSpectrum(order);
        return;
    }
    allPoleResponse(lpCoefficients.data(), order, lpResponse.data());
    fft->forwardRealBlock(lpResponse.data(), fftOut.data());
    for (int k = 0; k < binCount; ++k) {
        const Complex h = fftOut[k];
        const double m = h.re * h.re + h.im * h.im;
        fftOut[k] = {h.re / m, -h.im / m};
    }
}

void TAnalyzer::predictorSpectrum(int order) {
    const double* a = lpCoefficients.data();
    if (order < hornerOrders) {
        predictorAt(a, order, binTwiddle.data(), binCount, fftOut.data());
        return;
    }
    std::copy_n(a, order + 1, lpPadded.begin());
    std::fill(lpPadded.begin() + order + 1, lpPadded.begin() + maxOrder + 1, 0.0);
    fft->forwardRealBlock(lpPadded.data(), fftOut.data());
}

void TAnalyzer::compressPeaks() {
    const double p = 1 - 0.02 * trackBarPosition(beta);

    for (int n = 0; n < N; ++n)
        lpSignal[n] = irData[n].mic;
    fitAllPoleModel(100, 0.97);

    // The level match needs the spectrum of the whole mic response: the run's own when no delay
    // cut it, else one transform of it (its DFT, half the scale of micSpectrum).
    const Complex* mic = micSpectrum.data();
    double micScale = 1;
    if (!micSpectrumUndelayed) {
        fft->forwardRealBlock(lpSignal.data(), fftIn.data());
        mic = fftIn.data();
        micScale = 2;
    }
    double se = 1e-32;
    double sm = 1e-32;
    for (int k = 1; k < binCount; ++k) {
        const Complex d = fftOut[k];
        envelope[k] = 2 / std::sqrt(d.re * d.re + d.im * d.im); // twice the model's DFT
    }
    for (int k = matchFirstBin; k < binCount; ++k) {
        const double mre = micScale * mic[k].re;
        const double mim = micScale * mic[k].im;
        se += envelope[k] * envelope[k];
        sm += mre * mre + mim * mim;
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

    // The model's spectrum is 1 / D = conj(D) / |D|^2.
    double se = 1e-32;
    double sp = 1e-32;
    for (int k = matchFirstBin; k < binCount; ++k) {
        const Complex d = fftOut[k];
        se += 1 / (d.re * d.re + d.im * d.im);
        sp += pickupSpectrum[k].re * pickupSpectrum[k].re + pickupSpectrum[k].im * pickupSpectrum[k].im;
    }
    const double g = std::sqrt(sp / se);
    for (int k = 0; k < binCount; ++k) {
        const Complex d = fftOut[k];
        const double m = g / (d.re * d.re + d.im * d.im);
        pickupSpectrum[k] = {m * d.re, -m * d.im};
    }
}

void TAnalyzer::straightenAndGain() {
    // The raw filter response in the real parts of fftIn; its scale does not matter to the model.
    for (int n = 0; n < N; ++n)
        lpSignal[n] = fftIn[n].re;
    straightenAndGainOfLpSignal();
}

void TAnalyzer::straightenAndGainOfLpSignal() {
    const double s = 1 - 0.02 * trackBarPosition(alpha);
    // The broad trend needs no summation order of its own: the faster interleaved sums will do.
    autocorrelateInterleaved(lpSignal.data(), 4, lpCorrelation.data());
    fitAllPoleModelToCorrelation(4, s);
    const double gainLin = std::pow(10.0, 0.05 * gainDb);

    // Dividing by the model's magnitude 1 / |D| is multiplying by |D|.
    for (int k = 0; k < binCount; ++k) {
        const Complex d = fftOut[k];
        const double m = std::sqrt(d.re * d.re + d.im * d.im) * gainLin;
        filterSpectrum[k] = {filterSpectrum[k].re * m, filterSpectrum[k].im * m};
    }
}
