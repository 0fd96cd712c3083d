#include "dsp/Analyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

TEST(PlotResampling, ConstantStaysConstant) {
    auto a = std::make_unique<TAnalyzer>();
    std::vector<double> v(binCount, -37.25), out(plotPoints);
    a->resampleToPlot(v.data(), out.data());
    for (int i = 0; i < plotPoints; ++i)
        ASSERT_NEAR(out[i], -37.25, 1e-13) << i;
}

TEST(PlotResampling, InterpolatesLinearlyInLogFrequency) {
    // v linear in ln f is reproduced exactly (to rounding) at every plot point, also below the
    // first bin, where the knot is bin 0 taken at 0.1 Hz.
    auto a = std::make_unique<TAnalyzer>();
    std::vector<double> v(binCount), out(plotPoints);
    for (int k = 0; k < binCount; ++k)
        v[k] = 3 * std::log(a->binFreq[k]) + 1;
    a->resampleToPlot(v.data(), out.data());
    for (int i = 0; i < plotPoints; ++i)
        ASSERT_NEAR(out[i], 3 * std::log(a->plotFreq[i]) + 1, 1e-9) << i;
}

TEST(PlotResampling, BinsBetweenKnotsAreSkippedNotAveraged) {
    // Near 20 kHz the plot points lie about 50 bins apart; a spike in a bin that is no plot
    // point's knot leaves no trace on the curve.
    auto a = std::make_unique<TAnalyzer>();
    int skipped = 0;
    for (int k = 3600; k < 3700 && skipped == 0; ++k) {
        bool knot = false;
        for (int i = 0; i < plotPoints; ++i)
            knot = knot || (a->binFreq[k - 1] < a->plotFreq[i] && a->plotFreq[i] <= a->binFreq[k]);
        if (!knot)
            skipped = k;
    }
    ASSERT_GT(skipped, 0);
    std::vector<double> v(binCount, 0.0), out(plotPoints);
    v[skipped] = 1000;
    a->resampleToPlot(v.data(), out.data());
    for (int i = 0; i < plotPoints; ++i)
        ASSERT_EQ(out[i], 0.0) << i;
}

TEST(PlotResampling, PointsAboveTheLastUsableBinRepeatTheLastValue) {
    // At 8 kHz the bins end near 4 kHz; points above bin 4094 repeat the last computed value.
    auto a = std::make_unique<TAnalyzer>();
    a->setFs(8000);
    std::vector<double> v(binCount), out(plotPoints);
    for (int k = 0; k < binCount; ++k)
        v[k] = std::log(a->binFreq[k]);
    a->resampleToPlot(v.data(), out.data());
    int last = 0;
    while (a->plotFreq[last + 1] <= a->binFreq[4094])
        ++last;
    for (int i = 0; i <= last; ++i)
        ASSERT_NEAR(out[i], std::log(a->plotFreq[i]), 1e-9) << i;
    for (int i = last + 1; i < plotPoints; ++i)
        ASSERT_EQ(out[i], out[last]) << i;
}

} // namespace
