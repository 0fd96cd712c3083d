// Real-input transforms of one fixed length through FFTW (r2c forward, c2r backward), unscaled,
// with FFTW's sign convention. Both plans are made once, in the constructor, with FFTW_ESTIMATE;
// that is the only place this unit calls FFTW's planner (which is not thread-safe), so it is the
// one place to serialise with the rest of the program's plan making.
#pragma once

#include "dsp/AnalyzerTypes.h"

class TRealFFT {
public:
    explicit TRealFFT(int n); // n even, >= 2
    ~TRealFFT();
    TRealFFT(const TRealFFT&) = delete;
    TRealFFT& operator=(const TRealFFT&) = delete;

    int length() const { return n; }
    double* real() { return realBuf; }         // n values, FFTW-aligned
    Complex* spectrum() { return spectrumBuf; } // n / 2 + 1 values (bins 0..n/2), FFTW-aligned

    // real() -> spectrum(); real() is kept.
    void forward();
    // spectrum() -> real() (n times the inverse DFT of a Hermitian spectrum, imaginary parts of
    // bins 0 and n/2 ignored); spectrum() is overwritten.
    void backward();

private:
    int n;
    double* realBuf = nullptr;
    Complex* spectrumBuf = nullptr;
    void* forwardPlan = nullptr;  // fftw_plan
    void* backwardPlan = nullptr; // fftw_plan
};
