// Band-limited change of the sample rate of an impulse response, for writing a filter at a rate
// other than the one it was made at.
#pragma once

#include <span>
#include <vector>

// The response `ir`, made at `fromRate` Hz, at `toRate` Hz: windowed-sinc interpolation (Kaiser
// window, 64 zero crossings each side) with its cut-off at 95 % of the lower of the two Nyquist
// frequencies, so nothing above the filter's own Nyquist frequency appears and nothing above the new
// one folds back. The result has ceil(size * toRate / fromRate) samples and is scaled by
// fromRate / toRate, so that its frequency response keeps the level of the original's (a response
// at a higher rate has more samples to sum). The same rates give a copy. Rates > 0.
std::vector<double> resampleImpulseResponse(std::span<const double> ir, int fromRate, int toRate);
