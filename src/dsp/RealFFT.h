// Real-input transforms of one fixed length with FFTW (r2c forward, c2r backward), planned once.
// Every FFTW planner call of the rendering code goes through this class, so that planning can be
// serialised in one place.
#pragma once

#include "dsp/AnalyzerTypes.h"

class TRealFFT {
public:
    // n: an even length >= 2. Plans with FFTW's estimating planner on the object's own buffers.
    explicit TRealFFT(int n);
    ~TRealFFT();
    TRealFFT(const TRealFFT&) = delete;
    TRealFFT& operator=(const TRealFFT&) = delete;

    int length() const { return n; }
    // n real samples, FFTW-aligned; forward() reads them, backward() writes them.
    double* time() { return timeBuf; }
    // n / 2 + 1 bins (0 .. Nyquist), FFTW-aligned; forward() writes them, backward() reads them
    // (and, as FFTW's c2r does, may overwrite them).
    Complex* spectrum() { return spectrumBuf; }

    // time -> spectrum, unscaled: X[k] = sum x[t] e^(-2 pi i tk/n).
    void forward();
    // spectrum -> time, unscaled: a forward transform followed by this returns the input times n.
    void backward();

private:
    int n = 0;
    double* timeBuf = nullptr;
    Complex* spectrumBuf = nullptr;
    void* forwardPlan = nullptr;  // fftw_plan
    void* backwardPlan = nullptr; // fftw_plan
};
