// Live convolution of one mono input (the pickup) with a stereo pair of filters of up to 8192 taps
// (left and right output), by uniformly partitioned overlap-save in blocks of 128 frames. Output
// frame n is sum over k of filter[k] * input[n - latencyFrames - k] (input before the first frame
// counts as zero): the filter's own delay is kept and the blocking adds exactly latencyFrames.
//
// Threads: process() runs on the time-critical audio thread and never allocates, locks or waits;
// stage() runs on one other thread (the window's or a worker's) and prepares a new filter pair
// there, which process() then crossfades in over fadeFrames frames, so a change never clicks.
// All memory (about 1 MB) is taken by the constructor.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/RealFFT.h"

#include <atomic>
#include <span>
#include <vector>

class TLiveConvolver {
public:
    static constexpr int blockFrames = 128;
    static constexpr int maxTaps = blockLength; // 8192
    static constexpr int partitions = maxTaps / blockFrames;
    static constexpr int latencyFrames = blockFrames;
    static constexpr int fadeBlocks = 4;
    static constexpr int fadeFrames = fadeBlocks * blockFrames;

    // left, right: the filters' taps, at most maxTaps each (extra taps are ignored, fewer are padded
    // with zeros, an empty filter gives silence on its side).
    TLiveConvolver(std::span<const double> left, std::span<const double> right);
    TLiveConvolver(const TLiveConvolver&) = delete;
    TLiveConvolver& operator=(const TLiveConvolver&) = delete;

    // Other thread: prepares a new filter pair and hands it to process(), which fades it in from
    // its next block on. False, changing nothing, while the previous change is not yet complete
    // (at most fadeBlocks + 1 blocks after it was staged while processing runs); try again later.
    bool stage(std::span<const double> left, std::span<const double> right);
    // Other thread: whether a staged change is still waiting or fading in.
    bool changing() const { return state.load(std::memory_order_acquire) != idle; }

    // Audio thread: `frames` input samples (any number) in, as many stereo frames out,
    // interleaved (left, right).
    void process(const float* input, float* stereo, int frames);
    // Forgets the input heard so far (silence in, silence out) and completes a pending change at
    // once; only while process() is not running.
    void reset();

private:
    static constexpr int transformLength = 2 * blockFrames;
    static constexpr int bins = transformLength / 2 + 1;
    enum { idle = 0, staged = 1, fading = 2 };

    // Spectra of a filter pair, partition after partition, split into real and imaginary parts.
    struct TFilterSet {
        std::vector<double> re[2], im[2]; // [side][partition * bins + bin]
    };

    void prepare(TFilterSet& set, std::span<const double> left, std::span<const double> right);
    void computeBlock();
    // Sum over the partitions of the input spectra times one side's filter, inverse-transformed;
    // the block's output is left in the transform's last blockFrames values.
    void filterBlock(const TFilterSet& set, int side);

    TRealFFT fft;        // audio thread's
    TRealFFT prepareFft; // stage()'s
    TFilterSet sets[2];
    std::atomic<int> active{0}; // the set heard (and the first of a fade)
    std::atomic<int> state{idle};
    int fadeBlock = 0; // blocks of the fade done

    std::vector<double> historyRe, historyIm; // input spectra, partitions * bins each, a ring
    int newest = 0;                           // partition slot of the newest input spectrum
    std::vector<double> accRe, accIm;         // bins each
    std::vector<double> window;               // the last two input blocks (transformLength)
    std::vector<float> pendingIn;             // input of the block being collected
    std::vector<float> readyOut;              // stereo output of the last block, interleaved
    std::vector<double> firstSide;            // one side's block while the other is computed
    int filled = 0;                           // frames in pendingIn, and frames of readyOut heard
};
