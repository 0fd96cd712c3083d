// The acceptance measure of an exported impulse response: its 1/3-octave smoothed magnitude against
// the full filter's, on 1/24-octave points from a lower frequency to 10 kHz.
#pragma once

#include "dsp/RealFFT.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace ir_accuracy {

struct TFigures {
    double medianDb; // of |difference|
    double p95Db;
};

// 10 log10 of the mean power over [f 2^-1/6, f 2^1/6] of `ir` at `rate`, at each of `freqs`.
inline std::vector<double> thirdOctaveDb(std::span<const double> ir, int rate,
                                         const std::vector<double>& freqs) {
    const int n = 1 << 18;
    TRealFFT fft(n);
    std::fill(fft.real(), fft.real() + n, 0.0);
    std::copy(ir.begin(), ir.end(), fft.real());
    fft.forward();
    std::vector<double> out;
    for (const double f : freqs) {
        const int lo = static_cast<int>(std::ceil(f * std::pow(2, -1.0 / 6) * n / rate));
        const int hi = static_cast<int>(std::floor(f * std::pow(2, 1.0 / 6) * n / rate));
        double sum = 0;
        for (int k = lo; k <= hi; ++k)
            sum += fft.spectrum()[k].re * fft.spectrum()[k].re + fft.spectrum()[k].im * fft.spectrum()[k].im;
        out.push_back(10 * std::log10(sum / (hi - lo + 1) + 1e-300));
    }
    return out;
}

inline TFigures compare(std::span<const double> full, int fullRate, std::span<const double> ir, int rate,
                        double fromHz, double toHz = 10000) {
    std::vector<double> freqs;
    for (double f = fromHz; f <= toHz * 1.0001; f *= std::pow(2, 1.0 / 24))
        freqs.push_back(f);
    const std::vector<double> a = thirdOctaveDb(full, fullRate, freqs);
    const std::vector<double> b = thirdOctaveDb(ir, rate, freqs);
    std::vector<double> d;
    for (std::size_t i = 0; i < a.size(); ++i)
        d.push_back(std::abs(b[i] - a[i]));
    std::sort(d.begin(), d.end());
    const auto at = [&](double q) { return d[static_cast<std::size_t>(std::lround(q * (d.size() - 1)))]; };
    return {at(0.5), at(0.95)};
}

// Fraction of the energy of `ir` in its first `samples` samples.
inline double earlyEnergy(std::span<const double> ir, int samples) {
    double early = 0, total = 1e-300;
    for (std::size_t i = 0; i < ir.size(); ++i) {
        total += ir[i] * ir[i];
        if (static_cast<int>(i) < samples)
            early += ir[i] * ir[i];
    }
    return early / total;
}

} // namespace ir_accuracy
