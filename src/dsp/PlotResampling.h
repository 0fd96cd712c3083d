// Resampling of per-bin values (4096, one per bin frequency) onto the 500-point logarithmic plot
// grid: piecewise-linear interpolation in ln(frequency) between knots, the knots being bin 0 and,
// for each plot point, the first bin whose frequency is at or above it. Plot points below bin 0's
// frequency take bin 0's value; plot points past the last usable bin (above bin 4094) repeat the
// last computed value.
//
// The knots and weights depend only on the two frequency tables, so they are found once (plan) and
// then applied to any number of value arrays; only the bins listed in `bins` are ever read.
#pragma once

#include "dsp/AnalyzerTypes.h"

#include <array>

class TPlotResampling {
public:
    // Finds the knots of every plot point. binFreq: 4096 ascending frequencies; plotFreq: 500
    // ascending frequencies; both in Hz and positive.
    void plan(const double* binFreq, const double* plotFreq);
    // out[i] for i = 0..499 from v (indexed by bin; only the bins listed in `bins` are read).
    void apply(const double* v, double* out) const;

    std::array<int, binCount> bins{}; // the distinct bins apply reads, ascending (at most 501)
    int binsUsed = 0;

private:
    void listBinsRead();

    std::array<bool, binCount> binRead{};
    std::array<int, plotPoints> lower{};        // bin of the lower knot
    std::array<int, plotPoints> upper{};        // bin of the upper knot
    std::array<double, plotPoints> weight{};    // weight of the upper knot
    std::array<bool, plotPoints> interpolate{}; // false: the point takes the upper knot's value
};
