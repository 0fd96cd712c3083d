#include "dsp/RealFFT.h"

#include <cstring>
#include <fftw3.h>

static_assert(sizeof(Complex) == sizeof(fftw_complex));

TRealFFT::TRealFFT(int length) : n(length) {
    realBuf = fftw_alloc_real(n);
    spectrumBuf = reinterpret_cast<Complex*>(fftw_alloc_complex(n / 2 + 1));
    auto* spectrumFftw = reinterpret_cast<fftw_complex*>(spectrumBuf);
    forwardPlan = fftw_plan_dft_r2c_1d(n, realBuf, spectrumFftw, FFTW_ESTIMATE);
    backwardPlan = fftw_plan_dft_c2r_1d(n, spectrumFftw, realBuf, FFTW_ESTIMATE);
    std::memset(realBuf, 0, sizeof(double) * n);
    std::memset(static_cast<void*>(spectrumBuf), 0, sizeof(Complex) * (n / 2 + 1));
}

TRealFFT::~TRealFFT() {
    fftw_destroy_plan(static_cast<fftw_plan>(forwardPlan));
    fftw_destroy_plan(static_cast<fftw_plan>(backwardPlan));
    fftw_free(realBuf);
    fftw_free(spectrumBuf);
}

void TRealFFT::forward() {
    fftw_execute(static_cast<fftw_plan>(forwardPlan));
}

void TRealFFT::backward() {
    fftw_execute(static_cast<fftw_plan>(backwardPlan));
}
