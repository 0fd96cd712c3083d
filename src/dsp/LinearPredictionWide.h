// The long-order loops of the linear-prediction toolkit held in AVX-512 registers, for machines
// that have it: the running sums stay in registers instead of being swept through memory. Each
// result is summed in exactly the order of the plain loops (LinearPrediction.h), so the results
// are the same to the last bit. Internal to the toolkit.
#pragma once

namespace lp_wide {

// True when the machine can run the functions below (checked once).
bool available();

// autocorrelate for maxOrder >= L >= 8, without the lift of r[0].
void autocorrelate(const double* x, int L, double* r);

// allPoleResponse for maxOrder >= P >= 8.
void allPoleResponse(const double* a, int P, double* h);

} // namespace lp_wide
