// The minimum-phase response with the magnitude of a given impulse response: all its energy as
// early as a causal response with that magnitude can have it, so a short cut keeps the most.
#pragma once

#include <span>
#include <vector>

struct TMinimumPhaseOptions {
    int length = 2048; // samples of the result, >= 1
    // Smooths the target's power spectrum to what `length` samples can hold before the minimum-phase
    // step: a Gaussian lag window on its autocorrelation, falling to 1/e at lag holdFraction *
    // length, so resonances ringing longer than the cut are widened instead of cut off. 0: the
    // magnitude as it is.
    double holdFraction = 0.0;
    // Samples at the end faded out by half a cosine (fadeOutSamples).
    int fadeSamples = 0;
};

// Multiplies the last `samples` samples by a half cosine falling from 1 towards 0 (the last sample
// is not zero: the fade ends where the next sample would be).
void fadeOutSamples(std::span<double> ir, int samples);

// The first options.length samples of the minimum-phase response whose magnitude is that of `ir`
// (zero-padded), by the folded real cepstrum on a transform of at least 65536 points and 8 times
// the longer of the two lengths, so the cepstrum's aliasing stays small. The magnitude is floored
// 100 dB below its peak (a zero has no logarithm). Then faded over options.fadeSamples. An all-zero,
// non-finite or empty `ir` gives zeros. The level is kept: the result's magnitude is that of `ir`
// (smoothed), less what the cut leaves out.
std::vector<double> minimumPhaseResponse(std::span<const double> ir, const TMinimumPhaseOptions& options);
