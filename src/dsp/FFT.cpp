#include "dsp/FFT.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <fftw3.h>

// Arrays of Complex are handed to FFTW as they are.
static_assert(sizeof(Complex) == sizeof(fftw_complex));
static_assert(offsetof(Complex, re) == 0 && offsetof(Complex, im) == sizeof(double));
static_assert(alignof(Complex) <= alignof(fftw_complex) || alignof(Complex) == alignof(double));

namespace {
fftw_complex* asFftw(Complex* p) {
    return reinterpret_cast<fftw_complex*>(p);
}
} // namespace

TFFT::TFFT() {
    inBuf = reinterpret_cast<Complex*>(fftw_alloc_complex(maxLength));
    outBuf = reinterpret_cast<Complex*>(fftw_alloc_complex(maxLength));
    std::memset(static_cast<void*>(inBuf), 0, sizeof(Complex) * maxLength);
    std::memset(static_cast<void*>(outBuf), 0, sizeof(Complex) * maxLength);
    for (int i = 1; i < planCount; ++i) {
        const int n = 1 << i;
        forwardPlans[i] = fftw_plan_dft_1d(n, asFftw(inBuf), asFftw(outBuf), FFTW_FORWARD, FFTW_ESTIMATE);
        backwardPlans[i] = fftw_plan_dft_1d(n, asFftw(inBuf), asFftw(outBuf), FFTW_BACKWARD, FFTW_ESTIMATE);
    }
}

TFFT::~TFFT() {
    for (int i = 1; i < planCount; ++i) {
        fftw_destroy_plan(static_cast<fftw_plan>(forwardPlans[i]));
        fftw_destroy_plan(static_cast<fftw_plan>(backwardPlans[i]));
    }
    fftw_free(inBuf);
    fftw_free(outBuf);
}

void TFFT::transform(const Complex* in, Complex* out, int n, bool inverse) {
    const int k = static_cast<int>(std::log(static_cast<double>(n)) / std::log(2.0) + 0.1);
    std::memcpy(static_cast<void*>(inBuf), in, sizeof(Complex) * n);
    fftw_execute(static_cast<fftw_plan>(inverse ? backwardPlans[k] : forwardPlans[k]));
    std::memcpy(static_cast<void*>(out), outBuf, sizeof(Complex) * n);
}
