// Blend: the bare pickup mixed into the correction filter itself, as a level-matched impulse at the
// filter's main arrival, so that every output of the filter carries the mix.
#include "dsp/ABMixer.h"
#include "dsp/Analyzer.h"

#include <algorithm>
#include <cmath>

namespace {

// The band whose loudness on pink noise is matched, Hz.
constexpr double pinkLow = 20;
constexpr double pinkHigh = 20000;

} // namespace

double TAnalyzer::pinkLevelGain() const {
    // Expected powers: pink noise has power 1/f per bin, the filter scales bin k's by |F[k]|^2.
    double filtered = 0;
    double bare = 0;
    for (int k = 1; k < binCount; ++k) {
        if (binFreq[k] < pinkLow || binFreq[k] > pinkHigh)
            continue;
        const double w = 1 / binFreq[k];
        const Complex& f = filterSpectrum[k];
        filtered += w * (f.re * f.re + f.im * f.im);
        bare += w;
    }
    return levelMatchGain(std::sqrt(filtered), std::sqrt(bare));
}

void TAnalyzer::blendPickup() {
    if (!(blend < 100))
        return;
    const double corrected = std::max(blend, 0.0) / 100;
    int arrival = 0;
    for (int t = 1; t < blockLength; ++t)
        if (std::fabs(filterIr[t]) > std::fabs(filterIr[arrival]))
            arrival = t;
    const double pickup = (1 - corrected) * pinkLevelGain() * (filterIr[arrival] < 0 ? -1 : 1);

    // At 0 % nothing of the filter is left, not even a negative zero or a NaN.
    for (int t = 0; t < blockLength; ++t)
        filterIr[t] = corrected > 0 ? corrected * filterIr[t] : 0.0;
    filterIr[arrival] += pickup;
    for (int t = 0; t < blockLength; ++t)
        fftIn[t] = {filterIr[t], 0.0};
    fft->transformBlock(fftIn.data(), fftOut.data(), false);
    std::copy_n(fftOut.begin(), binCount, filterSpectrum.begin());
    filterSpectrum[0] = Complex{};
}
