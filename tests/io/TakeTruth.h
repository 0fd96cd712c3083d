// The exact pair behind the synthetic takes (the example guitar's mic and pickup responses) and
// how closely a learned pair analyses like it.
#pragma once

#include "dsp/Analyzer.h"
#include "dsp/RealFFT.h"
#include "io/WaveReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace take_truth {

inline std::string example(const char* name) {
    return std::string(std::getenv("EXAMPLES_DIR")) + "/" + name;
}

// The example pair as the analyzer holds it after loading.
inline std::unique_ptr<TAnalyzer> truePair(int rate) {
    auto a = std::make_unique<TAnalyzer>();
    EXPECT_TRUE(readWave(*a, 0, example("mic.wav")).ok);
    EXPECT_TRUE(readWave(*a, 1, example("pickup.wav")).ok);
    a->setFs(rate);
    return a;
}

// The exact transfer from pickup to mic of the example pair, the mic `delay` samples later and the
// whole advanced by `shift` samples (both fractional), times `sign`, as a learned pair is held:
// the transfer as the mic response over a unit-impulse pickup. `mic`: another mic response.
inline std::unique_ptr<TAnalyzer> placedTruth(int rate, double delay, double shift, double sign = 1,
                                              const std::array<double, blockLength>* mic = nullptr) {
    auto a = truePair(rate);
    TRealFFT m(blockLength), p(blockLength);
    for (int i = 0; i < blockLength; ++i) {
        m.real()[i] = mic ? (*mic)[i] : a->irData[i].mic;
        p.real()[i] = a->irData[i].pickup;
    }
    m.forward();
    p.forward();
    for (int k = 0; k <= blockLength / 2; ++k) {
        const Complex x = m.spectrum()[k], y = p.spectrum()[k];
        const double d = y.re * y.re + y.im * y.im;
        const Complex h = {(x.re * y.re + x.im * y.im) / d, (x.im * y.re - x.re * y.im) / d};
        const double phase = -2 * M_PI * k * (delay - shift) / blockLength;
        m.spectrum()[k] = {sign * (h.re * std::cos(phase) - h.im * std::sin(phase)),
                           k == blockLength / 2 ? 0.0
                                                : sign * (h.re * std::sin(phase) + h.im * std::cos(phase))};
    }
    m.backward();
    for (int i = 0; i < blockLength; ++i)
        a->irData[i] = {m.real()[i] / blockLength, i == 0 ? 1.0 : 0.0};
    a->delayMic = a->delayPickup = 0;
    return a;
}

// The filter curve with alpha 50 and beta 50 (no straightening, no compression).
inline std::array<double, plotPoints> filterCurve(TAnalyzer& a) {
    a.alpha = 50;
    a.beta = 50;
    a.analysisReady = true;
    a.computeResponses();
    return a.filterDb;
}

struct TAgreement {
    double median = 0, p95 = 0;
};

// |difference| of the two curves over 150 Hz .. 8 kHz after removing their mean difference.
inline TAgreement agreement(const TAnalyzer& grid, const std::array<double, plotPoints>& truth,
                            const std::array<double, plotPoints>& learned) {
    std::vector<double> d;
    for (int i = 0; i < plotPoints; ++i)
        if (grid.plotFreq[i] >= 150 && grid.plotFreq[i] <= 8000)
            d.push_back(learned[i] - truth[i]);
    double mean = 0;
    for (const double v : d)
        mean += v / static_cast<double>(d.size());
    for (double& v : d)
        v = std::fabs(v - mean);
    std::sort(d.begin(), d.end());
    return {d[d.size() / 2], d[static_cast<std::size_t>(0.95 * static_cast<double>(d.size() - 1))]};
}

} // namespace take_truth
