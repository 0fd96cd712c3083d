#include "dsp/LinearPredictionWide.h"

#include "dsp/LinearPrediction.h"

#include <immintrin.h>

namespace lp_wide {

namespace {

constexpr int lanes = 8;
constexpr int maxRegisters = (maxOrder + 1 + lanes - 1) / lanes;

// r[0..8R-1] = 1e-32 + sum of x[n] x[n + m] for n < end, in increasing n (lags past L are
// discarded by the caller). end + 8R - 1 must be a valid index of x.
template <int R>
[[gnu::target("avx512f")]] void correlateRegisters(const double* x, int end, double* r) {
    __m512d acc[R];
    for (int v = 0; v < R; ++v)
        acc[v] = _mm512_set1_pd(1e-32);
    for (int n = 0; n < end; ++n) {
        const __m512d xn = _mm512_set1_pd(x[n]);
        for (int v = 0; v < R; ++v)
            acc[v] = _mm512_add_pd(acc[v], _mm512_mul_pd(xn, _mm512_loadu_pd(x + n + lanes * v)));
    }
    for (int v = 0; v < R; ++v)
        _mm512_storeu_pd(r + lanes * v, acc[v]);
}

// h[0..8191] for a coefficient table c with c[8 + j] = a[j] for 1 <= j <= P and 0 for every
// other j from -8 to 8R + 7. The outputs n0 .. n0 + 8(R + 1) - 1 are pending in R + 1 registers;
// each final output, oldest first, is taken out of the first and subtracted, times its
// coefficients, from all later pending ones.
template <int R>
[[gnu::target("avx512f")]] void allPoleRegisters(const double* c, double* h) {
    __m512d pending[R + 1];
    for (__m512d& p : pending)
        p = _mm512_setzero_pd();
    pending[0] = _mm512_set_pd(0, 0, 0, 0, 0, 0, 0, 1); // h[0] = 1
    for (int n0 = 0; n0 < blockLength; n0 += lanes) {
        for (int s = 0; s < lanes; ++s) {
            // (The masked form, all lanes selected: the plain one trips an uninitialised-use warning.)
            const __m512d hm = _mm512_mask_permutexvar_pd(pending[0], 0xFF, _mm512_set1_epi64(s), pending[0]);
            h[n0 + s] = _mm512_cvtsd_f64(hm);
            for (int v = 0; v <= R; ++v)
                pending[v] =
                    _mm512_sub_pd(pending[v], _mm512_mul_pd(_mm512_loadu_pd(c + lanes + lanes * v - s), hm));
        }
        for (int v = 0; v < R; ++v)
            pending[v] = pending[v + 1];
        pending[R] = _mm512_setzero_pd();
    }
}

template <int R>
void correlateFor(const double* x, int L, double* r) {
    double acc[lanes * R];
    const int end = blockLength - lanes * R + 1;
    correlateRegisters<R>(x, end, acc);
    for (int m = 0; m <= L; ++m) {
        double sum = acc[m];
        for (int n = end; n + m < blockLength; ++n)
            sum += x[n] * x[n + m];
        r[m] = sum;
    }
}

template <int R>
void allPoleFor(const double* a, int P, double* h) {
    double c[lanes * R + 2 * lanes] = {};
    for (int j = 1; j <= P; ++j)
        c[lanes + j] = a[j];
    allPoleRegisters<R>(c, h);
}

template <int... R>
struct TTable {
    static constexpr void (*correlate[])(const double*, int, double*) = {correlateFor<R + 1>...};
    static constexpr void (*allPole[])(const double*, int, double*) = {allPoleFor<R + 1>...};
};
using TRegisterTable = TTable<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12>;
static_assert(maxRegisters == 13);

} // namespace

bool available() {
    static const bool yes = __builtin_cpu_supports("avx512f");
    return yes;
}

void autocorrelate(const double* x, int L, double* r) {
    TRegisterTable::correlate[L / lanes](x, L, r); // lags 0..L need L / 8 + 1 registers
}

void allPoleResponse(const double* a, int P, double* h) {
    TRegisterTable::allPole[(P - 1) / lanes](a, P, h); // outputs n + 1 .. n + P
}

} // namespace lp_wide
