// A correction filter shaped into an impulse response for a loader: at the rate and length asked
// for, minimum phase or as designed, its cut end faded out.
#pragma once

#include "dsp/MinimumPhase.h"

#include <span>
#include <vector>

enum class TIrPhase {
    minimum,  // minimum phase from the filter's magnitude: the shortest, for short loader lengths
    designed, // the filter's own phase, cut
};

struct TIrShape {
    int length = 2048; // samples at `rate`, 1..maxIrLength
    int rate = 0;      // Hz; 0: the filter's own
    TIrPhase phase = TIrPhase::minimum;
};

// The longest response written: a second at 96 kHz.
inline constexpr int maxIrLength = 96000;

// Milliseconds over which a cut end fades out (half a cosine), never more than a quarter of the
// length.
inline constexpr double irFadeMs = 5.0;

// The fade length of a response of `length` samples at `rate` Hz.
int irFadeSamples(int length, int rate);

// The filter `ir`, made at `filterRate` Hz, as shape asks for: resampled band-limited when the rates
// differ (resampleImpulseResponse), then either the minimum-phase response of its magnitude
// (smoothed to what the length holds) or its first `length` samples (zeros past its end). A result
// shorter than the (resampled) filter, and every minimum-phase result, is faded over irFadeSamples.
// The level stays the filter's own.
std::vector<double> shapeImpulseResponse(std::span<const double> ir, int filterRate, const TIrShape& shape);
