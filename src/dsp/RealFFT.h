// Real-input transforms of one fixed length through FFTW (r2c forward, c2r backward), unscaled,
// with FFTW's sign convention. Both plans are made once, in the constructor, with FFTW_ESTIMATE,
// and destroyed in the destructor, both under fftwPlannerLock(): FFTW's planner is not
// thread-safe, and learning may run on a worker thread while the window makes its own plans.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/FftwOwners.h"

#include <mutex>

// The lock every making and destroying of FFTW plans in the program should hold.
std::mutex& fftwPlannerLock();

class TRealFFT {
public:
    explicit TRealFFT(int n); // n even, >= 2; std::bad_alloc when the buffers cannot be had
    TRealFFT(const TRealFFT&) = delete;
    TRealFFT& operator=(const TRealFFT&) = delete;

    int length() const { return n; }
    double* real() { return realBuf.get(); }          // n values, FFTW-aligned
    Complex* spectrum() { return spectrumBuf.get(); } // n / 2 + 1 values (bins 0..n/2), FFTW-aligned

    // real() -> spectrum(); real() is kept.
    void forward();
    // spectrum() -> real() (n times the inverse DFT of a Hermitian spectrum, imaginary parts of
    // bins 0 and n/2 ignored); spectrum() is overwritten.
    void backward();

private:
    int n;
    TFftwArray<double> realBuf;
    TFftwArray<Complex> spectrumBuf;
    TFftwPlan forwardPlan;
    TFftwPlan backwardPlan;
};
