// Streaming FFT convolution of one mono signal with two filters of up to 8192 taps (left and
// right output), by overlap-add with real-input transforms. Memory is fixed at construction
// (about 2 MB), whatever the length of the signal; processing allocates nothing.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/RealFFT.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class TConvolver {
public:
    static constexpr int maxTaps = blockLength;           // 8192
    static constexpr int transformLength = 4 * maxTaps;   // 32768
    static constexpr int hop = transformLength - maxTaps; // input samples per transform

    // Output as it becomes ready: `frames` stereo frames, interleaved (left, right), in order.
    using TOutput = std::function<void(const float* interleaved, int frames)>;

    // left, right: the filters' taps, at most maxTaps each (extra taps are ignored, fewer are
    // padded with zeros, an empty filter gives silence on its side).
    TConvolver(std::span<const double> left, std::span<const double> right);
    TConvolver(const TConvolver&) = delete;
    TConvolver& operator=(const TConvolver&) = delete;

    // Feeds `frames` input samples (any number, including 0). Output frame n is
    // sum over k of filter[k] * input[n - k] (input before the first sample counts as zero), so
    // the filter's delay is kept. Output is handed to `output` in whole hops as soon as the input
    // for them is in; push() and finish() together emit exactly as many frames as were pushed.
    void push(const float* input, std::int64_t frames, const TOutput& output);
    // Emits the output frames still held back (the last partial hop), then starts again from an
    // empty history: what rings past the last input sample is dropped.
    void finish(const TOutput& output);

private:
    void processHop(int validFrames, const TOutput& output);

    TRealFFT fft;
    std::vector<Complex> leftSpectrum;  // transformLength / 2 + 1 bins, scaled by 1 / transformLength
    std::vector<Complex> rightSpectrum; // the same for the right filter
    std::vector<Complex> inputSpectrum; // the current hop's input spectrum
    std::vector<double> pending;        // input of the hop being collected (hop values)
    std::vector<double> leftTail;       // overlap carried into the next hop (maxTaps values)
    std::vector<double> rightTail;
    std::vector<float> interleaved; // 2 * hop values handed to the output
    int pendingFrames = 0;
};
