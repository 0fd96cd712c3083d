#include "dsp/FFT.h"

#include "dsp/RealFFT.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fftw3.h>
#include <mutex>

// Arrays of Complex are handed to FFTW as they are.
static_assert(sizeof(Complex) == sizeof(fftw_complex));
static_assert(offsetof(Complex, re) == 0 && offsetof(Complex, im) == sizeof(double));
static_assert(alignof(Complex) <= alignof(fftw_complex) || alignof(Complex) == alignof(double));

namespace {
fftw_complex* asFftw(Complex* p) {
    return reinterpret_cast<fftw_complex*>(p);
}
fftw_complex* asFftw(const Complex* p) {
    return reinterpret_cast<fftw_complex*>(const_cast<Complex*>(p));
}

bool aligned(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) % TFFT::alignment == 0;
}

} // namespace

TFFT::TFFT() : inBuf(allocateComplex(maxLength)), outBuf(allocateComplex(maxLength)) {
    // The estimating planner neither reads nor writes the arrays, so the buffers need no clearing.
    Complex* in = inBuf.get();
    Complex* out = outBuf.get();
    const std::lock_guard<std::mutex> lock(fftwPlannerLock());
    for (int i = 1; i < planCount; ++i) {
        const int n = 1 << i;
        forwardPlans[i].reset(fftw_plan_dft_1d(n, asFftw(in), asFftw(out), FFTW_FORWARD, FFTW_ESTIMATE));
        backwardPlans[i].reset(fftw_plan_dft_1d(n, asFftw(in), asFftw(out), FFTW_BACKWARD, FFTW_ESTIMATE));
    }
    // The real block transforms run the complex plan of half their length on the sample pairs;
    // they need only the twiddles e^(-2 pi i k/blockLength) for k up to a quarter of the length.
    // Past an eighth of a turn they come from the complementary angle, so the last is exactly -i.
    const auto angle = [](int k) { return 2.0 * M_PI * k / blockLength; };
    for (int k = 0; k <= halfBlock / 4; ++k)
        realTwiddles[k] = {std::cos(angle(k)), -std::sin(angle(k))};
    for (int k = halfBlock / 4 + 1; k <= halfBlock / 2; ++k)
        realTwiddles[k] = {std::sin(angle(halfBlock / 2 - k)), -std::cos(angle(halfBlock / 2 - k))};
}

void TFFT::transform(const Complex* in, Complex* out, int n, bool inverse) {
    const int k = static_cast<int>(std::log(static_cast<double>(n)) / std::log(2.0) + 0.1);
    std::memcpy(static_cast<void*>(inBuf.get()), in, sizeof(Complex) * n);
    fftw_execute_dft(static_cast<fftw_plan>((inverse ? backwardPlans[k] : forwardPlans[k]).get()),
                     asFftw(inBuf.get()), asFftw(outBuf.get()));
    std::memcpy(static_cast<void*>(out), outBuf.get(), sizeof(Complex) * n);
}

void TFFT::transformBlock(const Complex* in, Complex* out, bool inverse) {
    transformAligned(in, out, blockLength, inverse);
}

void TFFT::transformAligned(const Complex* in, Complex* out, int n, bool inverse) {
    if (in == out || !aligned(in) || !aligned(out)) {
        transform(in, out, n, inverse);
        return;
    }
    const int k = std::countr_zero(static_cast<unsigned>(n));
    fftw_execute_dft(static_cast<fftw_plan>((inverse ? backwardPlans[k] : forwardPlans[k]).get()), asFftw(in),
                     asFftw(out));
}

// The 8192 real samples are 4096 complex ones z[n] = x[2n] + i x[2n+1], whose transform Z holds
// the transforms of the even and odd samples: E[k] = (Z[k] + conj Z[M-k]) / 2 and
// O[k] = (Z[k] - conj Z[M-k]) / 2i, with M = 4096 and Z[M] = Z[0]. Then X[k] = E[k] + W^k O[k] and
// X[M-k] = conj(E[k] - W^k O[k]), W = e^(-2 pi i/8192).
void TFFT::forwardRealBlockAligned(const double* in, Complex* out) {
    fftw_execute_dft(static_cast<fftw_plan>(forwardPlans[halfBlockLog2].get()),
                     asFftw(reinterpret_cast<const Complex*>(in)), asFftw(out));
    const Complex z0 = out[0];
    out[0] = {z0.re + z0.im, 0.0};
    out[halfBlock] = {z0.re - z0.im, 0.0};
    for (int k = 1; k <= halfBlock / 2; ++k) {
        const Complex a = out[k];
        const Complex b = out[halfBlock - k];
        // E = (a + conj b) / 2, O = (a - conj b) / 2i, T = W^k O.
        const double eRe = 0.5 * (a.re + b.re), eIm = 0.5 * (a.im - b.im);
        const double oRe = 0.5 * (a.im + b.im), oIm = -0.5 * (a.re - b.re);
        const Complex w = realTwiddles[k];
        const double tRe = w.re * oRe - w.im * oIm, tIm = w.re * oIm + w.im * oRe;
        out[halfBlock - k] = {eRe - tRe, tIm - eIm};
        out[k] = {eRe + tRe, eIm + tIm};
    }
}

// The reverse of the above, doubled so that the half-length backward transform gives the
// full-length scaling: Z[k] = (X[k] + conj X[M-k]) + i W^-k (X[k] - conj X[M-k]), the backward
// transform of Z being 8192 x[2n] + i 8192 x[2n+1].
void TFFT::inverseRealBlockAligned(Complex* in, double* out) {
    const double x0 = in[0].re, xM = in[halfBlock].re;
    in[0] = {x0 + xM, x0 - xM};
    for (int k = 1; k <= halfBlock / 2; ++k) {
        const Complex a = in[k];
        const Complex b = in[halfBlock - k];
        // S = a + conj b, D = a - conj b, U = W^-k D; Z[k] = S + iU, Z[M-k] = conj S + i conj U.
        const double sRe = a.re + b.re, sIm = a.im - b.im;
        const double dRe = a.re - b.re, dIm = a.im + b.im;
        const Complex w = realTwiddles[k];
        const double uRe = w.re * dRe + w.im * dIm, uIm = w.re * dIm - w.im * dRe;
        in[halfBlock - k] = {sRe + uIm, uRe - sIm};
        in[k] = {sRe - uIm, sIm + uRe};
    }
    fftw_execute_dft(static_cast<fftw_plan>(backwardPlans[halfBlockLog2].get()), asFftw(in),
                     asFftw(reinterpret_cast<Complex*>(out)));
}

void TFFT::forwardRealBlock(const double* in, Complex* out) {
    if (aligned(in) && aligned(out)) {
        forwardRealBlockAligned(in, out);
        return;
    }
    double* realBuf = reinterpret_cast<double*>(inBuf.get());
    std::memcpy(realBuf, in, sizeof(double) * blockLength);
    forwardRealBlockAligned(realBuf, outBuf.get());
    std::memcpy(static_cast<void*>(out), outBuf.get(), sizeof(Complex) * (halfBlock + 1));
}

void TFFT::inverseRealBlock(Complex* in, double* out) {
    if (aligned(in) && aligned(out)) {
        inverseRealBlockAligned(in, out);
        return;
    }
    std::memcpy(static_cast<void*>(inBuf.get()), in, sizeof(Complex) * (halfBlock + 1));
    inverseRealBlockAligned(inBuf.get(), reinterpret_cast<double*>(outBuf.get()));
    std::memcpy(out, outBuf.get(), sizeof(double) * blockLength);
}
