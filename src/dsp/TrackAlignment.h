// Aligning two tracks of one session made by two recorders: their offset (up to seconds either
// way) and the drift of one recorder's clock against the other's. Qt-free, no threads.
#pragma once

#include "dsp/AnalyzerTypes.h"

#include <cstdint>
#include <vector>

// The lag of `mic` behind `pickup` in whole samples within -maxLag .. maxLag (positive: the mic's
// sound comes later): the peak of the phase transform of their cross-spectrum, both `count`
// samples long. Allocates and plans a transform of the next power of two over count + maxLag.
int coarseLag(const float* pickup, const float* mic, std::int64_t count, int maxLag);

// How much later (in samples, a fraction allowed) the mic of one stretch of two tracks comes than
// in a reference stretch, from their summed cross-spectra at the n bins k * rate / (2 (n - 1))
// (as TTransferEstimate::crossSpectrum gives them): the peak of the phase transform of one over
// the other, below 8 kHz, where the transfer itself cancels. Within (n - 1) / 2 samples either way.
double relativeLag(const std::vector<Complex>& reference, const std::vector<Complex>& later, int rate);

// Lags measured in successive stretches: each at `seconds` (the stretch's middle), weighted.
struct TLagPoint {
    double seconds;
    double lagSamples;
    double weight;
};

// The straight line through the points by weighted least squares: its slope in parts per million
// (positive: the lag grows, the mic's clock runs fast). 0 with fewer than three points of weight
// or when they span under 10 s.
double fitDriftPpm(const std::vector<TLagPoint>& points, int rate);
