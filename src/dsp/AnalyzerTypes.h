// Fixed sizes and the plain records shared by the analysis, the files and the plots.
#pragma once

constexpr int blockLength = 8192; // samples per impulse response, transform length
constexpr int binCount = 4096;    // stored frequency bins 0..4095 (Nyquist bin never stored)
constexpr int plotPoints = 500;   // points of every frequency-domain curve
constexpr int channelCount = 2;   // output channels: 0 = "Left", 1 = "Right"

// The analysis' frequency-dependent time window: each band of bins is taken back to the time
// domain on its own and weighted by decay^(t+1), so higher bands die away sooner.
struct TAnalysisBand {
    int firstBin;
    int endBin; // exclusive
    double decay;
};
constexpr int analysisBandCount = 4;
constexpr TAnalysisBand analysisBands[analysisBandCount] = {
    {1, 128, 1.0}, {128, 256, 0.9995}, {256, 1024, 0.999}, {1024, 4096, 0.998}};

// A complex number with the memory layout of FFTW's complex type (checked where FFTW is used).
struct Complex {
    double re = 0.0;
    double im = 0.0;
};

// One sample of both impulse responses; read as one Complex (mic = real, pickup = imaginary).
struct IrPair {
    double mic = 0.0;
    double pickup = 0.0;
};

static_assert(sizeof(Complex) == 2 * sizeof(double));
static_assert(sizeof(IrPair) == sizeof(Complex));
