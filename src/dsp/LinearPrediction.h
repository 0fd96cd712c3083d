// Linear-prediction toolkit behind the pickup model: autocorrelation, Levinson-Durbin recursion,
// lag window and the impulse response of the resulting all-pole filter 1/A(z),
// A(z) = 1 + a[1] z^-1 + ... + a[P] z^-P. Plain functions over caller-owned arrays; none allocates.
// Signals are blockLength (8192) samples long.
#pragma once

#include "dsp/AnalyzerTypes.h"

// Highest prediction order any stage uses; callers size their coefficient arrays maxOrder + 1.
constexpr int maxOrder = 100;

// r[m] = 1e-32 + sum over n of x[n] x[n + m] for m = 0..L (L <= maxOrder), each sum taken in
// increasing n; then r[0] is lifted by the factor 1.0001. An all-zero x gives r[m] = 1e-32 (r[0]
// lifted), still positive definite. x: 8192 values; r: L + 1 values.
void autocorrelate(const double* x, int L, double* r);

// autocorrelate for L < 8 with the products of each lag gathered in four partial sums, one per
// n mod 4 (each in increasing n, the first starting at 1e-32), added as (s0 + s1) + (s2 + s3):
// the same values up to rounding, without one long chain of additions per lag. r[0] is lifted by
// 1.0001 as there; an all-zero x gives the same r as there.
void autocorrelateInterleaved(const double* x, int L, double* r);

// Prediction coefficients a[0..P] (a[0] = 1) of order P >= 1 from r[0..P]. A prediction error
// that drops to zero or below is reset to 0.01 (single precision), so the recursion stays finite.
// Returns true when the error stayed positive at every step (every reflection coefficient below 1
// in magnitude): 1/A(z) is then stable, its poles inside the unit circle. False after a reset or
// when the error is not a number.
bool levinsonDurbin(const double* r, int P, double* a);

// Multiplies a[m] by q^m for m = 0..P in place (a[0] stays as it is); q = 0 leaves (a[0], 0, ...).
// Pulls the model's poles toward the origin by the factor q, widening its resonances.
void lagWindow(double* a, int P, double q);

// h[n] = (n == 0) - sum over j = 1..P of a[j] h[n - j], n = 0..8191, h of a negative index being 0;
// a[0] is not read. The sum for each n is accumulated from the oldest term to the newest (j = P
// down to 1), which changes the result only by rounding. h: 8192 values, must not overlap a.
void allPoleResponse(const double* a, int P, double* h);

// out[k] = A at z^-1 = w[k], that is a[0] + a[1] w[k] + ... + a[P] w[k]^P, by Horner's rule,
// for k = 0..count-1 (about P complex multiplications per point). out must not overlap a or w.
void predictorAt(const double* a, int P, const Complex* w, int count, Complex* out);
