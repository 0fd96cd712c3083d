// The FFT engine: unscaled complex transforms of every power-of-two length 2..131072, with
// FFTW's sign convention (forward: e^(-2 pi i nk/N), backward: e^(+2 pi i nk/N)). A forward
// transform followed by a backward one returns the input multiplied by the length.
#pragma once

#include "dsp/AnalyzerTypes.h"

#include <array>

class TFFT {
public:
    static constexpr int maxLength = 131072;
    static constexpr int planCount = 18; // entry i (1..17) is the plan of length 2^i

    TFFT(); // makes every plan once with FFTW's estimating planner on the engine's buffers
    ~TFFT();
    TFFT(const TFFT&) = delete;
    TFFT& operator=(const TFFT&) = delete;

    // Transforms in[0..n-1] into out[0..n-1] through the engine's own buffers, so in and out may
    // be the same array. n must be a power of two from 2 to 131072 (not checked). No allocation.
    void transform(const Complex* in, Complex* out, int n, bool inverse);

private:
    std::array<void*, planCount> forwardPlans{};  // fftw_plan handles
    std::array<void*, planCount> backwardPlans{}; // fftw_plan handles
    Complex* inBuf = nullptr;                     // maxLength values, FFTW-aligned
    Complex* outBuf = nullptr;                    // maxLength values, FFTW-aligned
};
