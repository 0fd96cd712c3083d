// The FFT engine: unscaled complex transforms of every power-of-two length 2..131072, with
// FFTW's sign convention (forward: e^(-2 pi i nk/N), backward: e^(+2 pi i nk/N)). A forward
// transform followed by a backward one returns the input multiplied by the length.
//
// Construction makes every plan the engine ever uses, with FFTW's estimating planner (deterministic,
// no wisdom): the complex plans of every length in both directions, and engine buffers of maxLength
// values (about 4 MB, left uncleared: the estimating planner neither reads nor writes them). The real
// block transforms run the complex plan of half the block length. No transform makes a plan or
// allocates.
//
// Planning and plan destruction go through fftwPlannerLock(), so engines may be built and destroyed
// in several threads at once; each engine is used by one thread at a time.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/FftwOwners.h"

#include <array>
#include <memory>

class TFFT {
public:
    static constexpr int maxLength = 131072;
    static constexpr int planCount = 18; // entry i (1..17) is the plan of length 2^i

    TFFT(); // makes all plans (see above)
    TFFT(const TFFT&) = delete;
    TFFT& operator=(const TFFT&) = delete;

    // Transforms in[0..n-1] into out[0..n-1] through the engine's own buffers, so in and out may
    // be the same array. n must be a power of two from 2 to 131072 (not checked). No allocation.
    void transform(const Complex* in, Complex* out, int n, bool inverse);

    // The same complex transform of length blockLength (8192) run on the arrays themselves: in and
    // out must be distinct arrays aligned to `alignment` bytes (otherwise it goes through the
    // engine's buffers as transform does). in is left as it was. No allocation.
    void transformBlock(const Complex* in, Complex* out, bool inverse);
    // The same for any length n of transform(), run on the arrays themselves under the same
    // conditions (distinct and aligned, otherwise through the engine's buffers). No allocation.
    void transformAligned(const Complex* in, Complex* out, int n, bool inverse);
    // Real-input forward transform of length 8192: out[0..4096] = the first 4097 bins of the
    // complex forward transform of in (imaginary parts of bins 0 and 4096 are 0). in and out
    // aligned to `alignment` bytes (otherwise through the engine's buffers); in is left as it was.
    void forwardRealBlock(const double* in, Complex* out);
    // Inverse of forwardRealBlock for a Hermitian spectrum given by its bins 0..4096 (the imaginary
    // parts of bins 0 and 4096 are ignored): out[0..8191] = the real backward transform, that is
    // 8192 times the signal. in is overwritten (used as scratch). Alignment as above.
    void inverseRealBlock(Complex* in, double* out);

    // Alignment, in bytes, of arrays the block transforms run on without copying.
    static constexpr int alignment = 64;

private:
    TFftwArray<Complex> inBuf;                      // maxLength values, FFTW-aligned
    TFftwArray<Complex> outBuf;                     // maxLength values, FFTW-aligned
    std::array<TFftwPlan, planCount> forwardPlans;  // entry 0 stays null
    std::array<TFftwPlan, planCount> backwardPlans; // entry 0 stays null

    static constexpr int halfBlock = blockLength / 2;
    static constexpr int halfBlockLog2 = 12;
    static_assert(1 << halfBlockLog2 == halfBlock);
    // e^(-2 pi i k/blockLength) for k = 0..halfBlock/2, for the real block transforms.
    std::unique_ptr<Complex[]> realTwiddles = std::make_unique<Complex[]>(halfBlock / 2 + 1);

    // The real block transforms on aligned, distinct arrays.
    void forwardRealBlockAligned(const double* in, Complex* out);
    void inverseRealBlockAligned(Complex* in, double* out);
};
