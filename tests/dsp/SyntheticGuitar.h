// A synthetic mic/pickup impulse response pair for the analysis tests.
#pragma once

#include "dsp/Analyzer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace testing_dsp {

// A plausible pair: body modes decaying from their onsets, the pickup earlier and brighter.
struct TMode {
    double freq, amplitude, tau;
};
inline void fillResponse(TAnalyzer& a, int channel, int onset, const std::vector<TMode>& modes) {
    double peak = 1e-32;
    for (int n = 0; n < blockLength; ++n) {
        double v = 0;
        if (n >= onset) {
            const double t = (n - onset) / 44100.0;
            for (const TMode& m : modes)
                v += m.amplitude * std::exp(-t / m.tau) * std::sin(2 * M_PI * m.freq * t + 0.3);
        }
        (channel == 0 ? a.irData[n].mic : a.irData[n].pickup) = v;
        peak = std::max(peak, std::abs(v));
    }
    for (IrPair& p : a.irData)
        (channel == 0 ? p.mic : p.pickup) /= peak;
}

// Body modes in the mic from sample 30, a brighter pickup from sample 2; both peak at 1.0.
inline std::unique_ptr<TAnalyzer> guitar() {
    auto a = std::make_unique<TAnalyzer>();
    fillResponse(*a, 0, 30,
                 {{98, 1.0, 0.1}, {196, 0.8, 0.08}, {400, 0.4, 0.04}, {1100, 0.2, 0.02}, {3000, 0.1, 0.01}});
    fillResponse(
        *a, 1, 2,
        {{196, 0.3, 0.06}, {2500, 0.4, 0.01}, {6000, 0.3, 0.004}, {11000, 0.2, 0.002}, {150, 0.2, 0.05}});
    a->analysisReady = true;
    return a;
}

} // namespace testing_dsp
