// Streaming FFT convolution of one mono signal with two filters of up to 8192 taps (left and
// right output), by overlap-add. Two blocks of input share one complex transform (the first as its
// real part, the second as its imaginary part), and that one forward transform serves both
// filters: a real filter keeps the parts apart, so each backward transform gives one filter's
// output for both blocks. Memory is fixed at construction (about 2.5 MB, and an FFT engine),
// whatever the length of the signal; processing allocates nothing.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/FFT.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

class TConvolver {
public:
    static constexpr int maxTaps = blockLength;             // 8192
    static constexpr int transformLength = 4 * maxTaps;     // 32768
    static constexpr int block = transformLength - maxTaps; // input samples per part of a transform
    static constexpr int hop = 2 * block;                   // input samples per transform

    // Output as it becomes ready: `frames` stereo frames, interleaved (left, right), in order.
    using TOutput = std::function<void(const float* interleaved, int frames)>;

    // left, right: the filters' taps, at most maxTaps each (extra taps are ignored, fewer are
    // padded with zeros, an empty filter gives silence on its side).
    TConvolver(std::span<const double> left, std::span<const double> right);
    ~TConvolver();
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
    void emit(int start, int frames, const TOutput& output);

    TFFT fft;
    struct TBuffers;
    std::unique_ptr<TBuffers> b;
    int pendingFrames = 0;
};
