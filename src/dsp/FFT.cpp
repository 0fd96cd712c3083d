#include "dsp/FFT.h"

#include "dsp/RealFFT.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fftw3.h>
#include <mutex>
#include <new>

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

Complex* allocateBuffer(int n) {
    auto* p = reinterpret_cast<Complex*>(fftw_alloc_complex(static_cast<std::size_t>(n)));
    if (!p)
        throw std::bad_alloc();
    return p;
}
} // namespace

TFFT::TFFT() {
    inBuf = allocateBuffer(maxLength);
    try {
        outBuf = allocateBuffer(maxLength);
    } catch (...) {
        fftw_free(inBuf);
        throw;
    }
    // The estimating planner neither reads nor writes the arrays, so the buffers need no clearing.
    const std::lock_guard<std::mutex> lock(fftwPlannerLock());
    for (int i = 1; i < planCount; ++i) {
        const int n = 1 << i;
        forwardPlans[i] = fftw_plan_dft_1d(n, asFftw(inBuf), asFftw(outBuf), FFTW_FORWARD, FFTW_ESTIMATE);
        backwardPlans[i] = fftw_plan_dft_1d(n, asFftw(inBuf), asFftw(outBuf), FFTW_BACKWARD, FFTW_ESTIMATE);
    }
    // The real plans run on the caller's arrays (new-array execute); the engine's buffers only
    // stand in for them while planning. FFTW keeps the input of a forward real transform.
    forwardRealPlan =
        fftw_plan_dft_r2c_1d(blockLength, reinterpret_cast<double*>(inBuf), asFftw(outBuf), FFTW_ESTIMATE);
    backwardRealPlan = fftw_plan_dft_c2r_1d(blockLength, asFftw(inBuf), reinterpret_cast<double*>(outBuf),
                                            FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
}

TFFT::~TFFT() {
    const std::lock_guard<std::mutex> lock(fftwPlannerLock());
    fftw_destroy_plan(static_cast<fftw_plan>(forwardRealPlan));
    fftw_destroy_plan(static_cast<fftw_plan>(backwardRealPlan));
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
    fftw_execute_dft(static_cast<fftw_plan>(inverse ? backwardPlans[k] : forwardPlans[k]), asFftw(inBuf),
                     asFftw(outBuf));
    std::memcpy(static_cast<void*>(out), outBuf, sizeof(Complex) * n);
}

void TFFT::transformBlock(const Complex* in, Complex* out, bool inverse) {
    if (in == out || !aligned(in) || !aligned(out)) {
        transform(in, out, blockLength, inverse);
        return;
    }
    constexpr int k = 13;
    static_assert(1 << k == blockLength);
    fftw_execute_dft(static_cast<fftw_plan>(inverse ? backwardPlans[k] : forwardPlans[k]), asFftw(in),
                     asFftw(out));
}

void TFFT::forwardRealBlock(const double* in, Complex* out) {
    const fftw_plan plan = static_cast<fftw_plan>(forwardRealPlan);
    if (aligned(in) && aligned(out)) {
        fftw_execute_dft_r2c(plan, const_cast<double*>(in), asFftw(out));
        return;
    }
    double* realBuf = reinterpret_cast<double*>(inBuf);
    std::memcpy(realBuf, in, sizeof(double) * blockLength);
    fftw_execute_dft_r2c(plan, realBuf, asFftw(outBuf));
    std::memcpy(static_cast<void*>(out), outBuf, sizeof(Complex) * (blockLength / 2 + 1));
}

void TFFT::inverseRealBlock(Complex* in, double* out) {
    const fftw_plan plan = static_cast<fftw_plan>(backwardRealPlan);
    if (aligned(in) && aligned(out)) {
        fftw_execute_dft_c2r(plan, asFftw(in), out);
        return;
    }
    std::memcpy(static_cast<void*>(inBuf), in, sizeof(Complex) * (blockLength / 2 + 1));
    fftw_execute_dft_c2r(plan, asFftw(inBuf), reinterpret_cast<double*>(outBuf));
    std::memcpy(out, outBuf, sizeof(double) * blockLength);
}
