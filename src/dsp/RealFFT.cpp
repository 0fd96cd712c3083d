#include "dsp/RealFFT.h"

#include <cstring>
#include <fftw3.h>

TRealFFT::TRealFFT(int length) : n(length) {
    timeBuf = fftw_alloc_real(static_cast<size_t>(n));
    spectrumBuf = reinterpret_cast<Complex*>(fftw_alloc_complex(static_cast<size_t>(n / 2 + 1)));
    auto* spectrum = reinterpret_cast<fftw_complex*>(spectrumBuf);
    // The only planner calls of this class; FFTW_ESTIMATE never touches the buffers.
    forwardPlan = fftw_plan_dft_r2c_1d(n, timeBuf, spectrum, FFTW_ESTIMATE);
    backwardPlan = fftw_plan_dft_c2r_1d(n, spectrum, timeBuf, FFTW_ESTIMATE);
    std::memset(timeBuf, 0, sizeof(double) * static_cast<size_t>(n));
    std::memset(static_cast<void*>(spectrumBuf), 0, sizeof(Complex) * static_cast<size_t>(n / 2 + 1));
}

TRealFFT::~TRealFFT() {
    fftw_destroy_plan(static_cast<fftw_plan>(forwardPlan));
    fftw_destroy_plan(static_cast<fftw_plan>(backwardPlan));
    fftw_free(timeBuf);
    fftw_free(spectrumBuf);
}

void TRealFFT::forward() {
    fftw_execute(static_cast<fftw_plan>(forwardPlan));
}

void TRealFFT::backward() {
    fftw_execute(static_cast<fftw_plan>(backwardPlan));
}
