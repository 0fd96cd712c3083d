#include "dsp/RealFFT.h"

#include <cstring>
#include <fftw3.h>

static_assert(sizeof(Complex) == sizeof(fftw_complex));

std::mutex& fftwPlannerLock() {
    static std::mutex lock;
    return lock;
}

TRealFFT::TRealFFT(int length)
    : n(length), realBuf(allocateReal(std::size_t(n))), spectrumBuf(allocateComplex(std::size_t(n / 2 + 1))) {
    auto* spectrumFftw = reinterpret_cast<fftw_complex*>(spectrumBuf.get());
    {
        const std::lock_guard<std::mutex> planning(fftwPlannerLock());
        forwardPlan.reset(fftw_plan_dft_r2c_1d(n, realBuf.get(), spectrumFftw, FFTW_ESTIMATE));
        backwardPlan.reset(fftw_plan_dft_c2r_1d(n, spectrumFftw, realBuf.get(), FFTW_ESTIMATE));
    }
    std::memset(realBuf.get(), 0, sizeof(double) * n);
    std::memset(static_cast<void*>(spectrumBuf.get()), 0, sizeof(Complex) * (n / 2 + 1));
}

void TRealFFT::forward() {
    fftw_execute(static_cast<fftw_plan>(forwardPlan.get()));
}

void TRealFFT::backward() {
    fftw_execute(static_cast<fftw_plan>(backwardPlan.get()));
}
