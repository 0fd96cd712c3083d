#include "dsp/PlotResampling.h"

#include <cmath>

void TPlotResampling::plan(const double* binFreq, const double* plotFreq) {
    binRead.fill(false);
    auto use = [this](int bin) { binRead[bin] = true; };
    auto takeUpper = [&](int i, int bin) {
        lower[i] = bin;
        upper[i] = bin;
        weight[i] = 1;
        interpolate[i] = false;
        use(bin);
    };

    int i = 0;
    while (i < plotPoints && plotFreq[i] < binFreq[0]) {
        takeUpper(i, 0);
        ++i;
    }
    if (i == plotPoints) {
        listBinsRead();
        return;
    }
    // Upper and lower knot: bin index and ln(frequency).
    int ju = 0;
    double fu = binFreq[0];
    double lu = std::log(fu);
    int jl = ju;
    double ll = lu;
    int j = 0; // next bin to read
    for (; i < plotPoints; ++i) {
        const double f = plotFreq[i];
        if (fu <= f) {
            ll = lu;
            jl = ju;
            while (j < binCount && fu < f) {
                fu = binFreq[j];
                ju = j;
                ++j;
            }
            if (j == binCount)
                break;
            lu = std::log(fu);
        }
        if (lu == ll) {
            takeUpper(i, ju);
        } else {
            lower[i] = jl;
            upper[i] = ju;
            weight[i] = (std::log(f) - ll) / (lu - ll);
            interpolate[i] = true;
            use(jl);
            use(ju);
        }
    }
    // Points past the last usable bin repeat the previous point's value.
    for (int rest = i; i > 0 && rest < plotPoints; ++rest) {
        lower[rest] = lower[i - 1];
        upper[rest] = upper[i - 1];
        weight[rest] = weight[i - 1];
        interpolate[rest] = interpolate[i - 1];
    }
    listBinsRead();
}

void TPlotResampling::listBinsRead() {
    binsUsed = 0;
    for (int k = 0; k < binCount; ++k)
        if (binRead[k])
            bins[binsUsed++] = k;
}

void TPlotResampling::apply(const double* v, double* out) const {
    for (int i = 0; i < plotPoints; ++i) {
        const double t = weight[i];
        out[i] = interpolate[i] ? t * v[upper[i]] + (1 - t) * v[lower[i]] : v[upper[i]];
    }
}
