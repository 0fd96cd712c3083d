#include "dsp/LinearPrediction.h"

#include "dsp/LinearPredictionWide.h"

#include <algorithm>
#include <cstring>

// The hot loops also come in an AVX version, picked when the program loads on a machine that has
// it. Clang (the fuzzing build) would want the attribute on every declaration too; it builds the
// plain version only.
#if defined(__clang__)
#define CLONED_FOR_AVX
#else
#define CLONED_FOR_AVX [[gnu::target_clones("avx", "default")]]
#endif

namespace {

// Orders below this keep their running sums in registers instead of sweeping arrays.
constexpr int shortOrder = 8;

// autocorrelate for L < shortOrder: eight lags summed side by side (the surplus ones discarded),
// each still in increasing n.
CLONED_FOR_AVX void autocorrelateShort(const double* __restrict x, int L, double* __restrict r) {
    double acc[shortOrder];
    for (double& s : acc)
        s = 1e-32;
    const int full = blockLength - (shortOrder - 1);
    for (int n = 0; n < full; ++n)
        for (int m = 0; m < shortOrder; ++m)
            acc[m] += x[n] * x[n + m];
    for (int m = 0; m <= L; ++m) {
        double sum = acc[m];
        for (int n = full; n + m < blockLength; ++n)
            sum += x[n] * x[n + m];
        r[m] = sum;
    }
    r[0] = r[0] * 1.0001;
}

// allPoleResponse for P < shortOrder: the last eight outputs stay in registers; coefficients past
// P are zero and subtract nothing. Same order of summation as the long form.
CLONED_FOR_AVX void allPoleResponseShort(const double* __restrict a, int P, double* __restrict h) {
    double c[shortOrder + 1] = {};
    for (int j = 1; j <= P; ++j)
        c[j] = a[j];
    double past[shortOrder] = {}; // past[j - 1] = h[n - j]
    h[0] = 1;
    past[0] = 1;
    for (int n = 1; n < blockLength; ++n) {
        double acc = 0;
        for (int j = shortOrder; j >= 1; --j)
            acc -= c[j] * past[j - 1];
        for (int j = shortOrder - 1; j >= 1; --j)
            past[j] = past[j - 1];
        past[0] = acc;
        h[n] = acc;
    }
}

// The body of predictorAt, inlined where P is a constant so that the point loop carries no inner
// loop of unknown length.
[[gnu::always_inline]] inline void predictorAtEach(const double* __restrict a, int P,
                                                   const Complex* __restrict w, int count,
                                                   Complex* __restrict out) {
    for (int k = 0; k < count; ++k) {
        const double zr = w[k].re;
        const double zi = w[k].im;
        double re = a[P];
        double im = 0;
        for (int j = P - 1; j >= 0; --j) {
            const double nr = re * zr - im * zi + a[j];
            im = re * zi + im * zr;
            re = nr;
        }
        out[k] = {re, im};
    }
}

} // namespace

CLONED_FOR_AVX void autocorrelateInterleaved(const double* __restrict x, int L, double* __restrict r) {
    // Lags 0..3 and 4..7 side by side in two vectors per partial sum (lanes are independent, so
    // the arithmetic is that of the plain sums in their own order); surplus lags are discarded.
    // The sums are named, not an array, so that they stay in registers.
    using TLags = double __attribute__((vector_size(4 * sizeof(double))));
    // A typedef, not an alias declaration: clang keeps the lowered alignment only on a typedef, and x
    // is only double-aligned.
    typedef double TLagsAt __attribute__((vector_size(4 * sizeof(double)), aligned(8), may_alias));
    static_assert(shortOrder == 8);
    TLags lo0 = {1e-32, 1e-32, 1e-32, 1e-32}, hi0 = lo0;
    TLags lo1 = {}, hi1 = {}, lo2 = {}, hi2 = {}, lo3 = {}, hi3 = {};
    constexpr int ways = 4;
    const int full = blockLength - (shortOrder - 1); // below this n, all eight lags have a partner
    int n = 0;
    for (; n + ways <= full; n += ways) {
        lo0 += x[n] * *reinterpret_cast<const TLagsAt*>(x + n);
        hi0 += x[n] * *reinterpret_cast<const TLagsAt*>(x + n + 4);
        lo1 += x[n + 1] * *reinterpret_cast<const TLagsAt*>(x + n + 1);
        hi1 += x[n + 1] * *reinterpret_cast<const TLagsAt*>(x + n + 5);
        lo2 += x[n + 2] * *reinterpret_cast<const TLagsAt*>(x + n + 2);
        hi2 += x[n + 2] * *reinterpret_cast<const TLagsAt*>(x + n + 6);
        lo3 += x[n + 3] * *reinterpret_cast<const TLagsAt*>(x + n + 3);
        hi3 += x[n + 3] * *reinterpret_cast<const TLagsAt*>(x + n + 7);
    }
    double sums[ways][shortOrder];
    const TLags parts[ways][2] = {{lo0, hi0}, {lo1, hi1}, {lo2, hi2}, {lo3, hi3}};
    std::memcpy(sums, parts, sizeof sums);
    for (; n < blockLength; ++n)
        for (int m = 0; m <= L && n + m < blockLength; ++m)
            sums[n % ways][m] += x[n] * x[n + m];
    for (int m = 0; m <= L; ++m)
        r[m] = (sums[0][m] + sums[1][m]) + (sums[2][m] + sums[3][m]);
    r[0] = r[0] * 1.0001;
}

CLONED_FOR_AVX void predictorAt(const double* __restrict a, int P, const Complex* __restrict w, int count,
                                Complex* __restrict out) {
    switch (P) {
    case 1:
        return predictorAtEach(a, 1, w, count, out);
    case 2:
        return predictorAtEach(a, 2, w, count, out);
    case 3:
        return predictorAtEach(a, 3, w, count, out);
    case 4:
        return predictorAtEach(a, 4, w, count, out);
    default:
        return predictorAtEach(a, P, w, count, out);
    }
}

CLONED_FOR_AVX void autocorrelate(const double* __restrict x, int L, double* __restrict r) {
    if (L < shortOrder) {
        autocorrelateShort(x, L, r);
        return;
    }
    if (lp_wide::available()) {
        lp_wide::autocorrelate(x, L, r);
        r[0] = r[0] * 1.0001;
        return;
    }
    for (int m = 0; m <= L; ++m)
        r[m] = 1e-32;
    // Every lag gathers its products in increasing n, as a plain dot product would; walking n in
    // the outer loop turns the inner loop into a contiguous update of all lags at once.
    const int full = blockLength - L; // below this n, every lag 0..L has a partner sample
    for (int n = 0; n < full; ++n) {
        const double xn = x[n];
        const double* xs = x + n;
        for (int m = 0; m <= L; ++m)
            r[m] += xn * xs[m];
    }
    for (int n = std::max(full, 0); n < blockLength; ++n) {
        const double xn = x[n];
        const double* xs = x + n;
        const int lags = blockLength - 1 - n;
        for (int m = 0; m <= lags; ++m)
            r[m] += xn * xs[m];
    }
    r[0] = r[0] * 1.0001;
}

bool levinsonDurbin(const double* r, int P, double* a) {
    a[0] = 1;
    a[1] = -r[1] / r[0];
    double e = r[0] + r[1] * a[1];
    bool stable = r[0] > 0 && e > 0;
    for (int i = 2; i <= P; ++i) {
        double acc = 0;
        for (int j = 0; j < i; ++j)
            acc += r[i - j] * a[j];
        const double k = -acc / e;
        for (int j = 1; j <= i / 2; ++j) {
            // Both new values come from the old pair; for j = i - j both writes are equal.
            const double lo = a[j];
            const double hi = a[i - j];
            a[j] = lo + k * hi;
            a[i - j] = hi + k * lo;
        }
        a[i] = k;
        e = e + k * acc;
        stable = stable && e > 0;
        if (e <= 0)
            e = static_cast<double>(0.01f);
    }
    return stable;
}

void lagWindow(double* a, int P, double q) {
    double w = 1;
    for (int m = 0; m <= P; ++m) {
        a[m] = a[m] * w;
        w = w * q;
    }
}

CLONED_FOR_AVX void allPoleResponse(const double* __restrict a, int P, double* __restrict h) {
    if (P < shortOrder) {
        allPoleResponseShort(a, P, h);
        return;
    }
    if (lp_wide::available()) {
        lp_wide::allPoleResponse(a, P, h);
        return;
    }
    h[0] = 1;
    for (int n = 1; n < blockLength; ++n)
        h[n] = 0;
    // Once h[n] is final, its contribution is pushed into the next P samples; each sample thus
    // collects its sum oldest term first, and the inner loop is a contiguous vector update.
    const int full = blockLength - P; // below this n, all P later samples exist
    for (int n = 0; n < full; ++n) {
        const double hn = h[n];
        double* next = h + n;
        for (int j = 1; j <= P; ++j)
            next[j] -= a[j] * hn;
    }
    for (int n = std::max(full, 0); n < blockLength; ++n) {
        const double hn = h[n];
        double* next = h + n;
        const int later = blockLength - 1 - n;
        for (int j = 1; j <= later; ++j)
            next[j] -= a[j] * hn;
    }
}
