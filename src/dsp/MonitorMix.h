// What live monitoring plays: the pickup through the current left and right filters (a live
// convolver), or the bare pickup on both sides, switched with the A/B mixer's crossfade. The bare
// pickup is delayed as much as the convolution, so the two line up, and scaled by the ratio of the
// running RMS of the corrected signal (both sides) and of the pickup (about levelSeconds), so the
// switch compares them at the same loudness. A limiter keeps every output sample within
// ceilingDb: it turns the gain down at once where a frame would exceed it and lets it recover
// over about releaseSeconds.
// Threads: process() on the audio thread (nothing allocated, locked or waited for); stage() on one
// other thread; select() and the readings from any thread.
#pragma once

#include "dsp/ABMixer.h"
#include "dsp/LiveConvolver.h"

#include <atomic>
#include <span>
#include <vector>

class TMonitorMix {
public:
    static constexpr double ceilingDb = -1;
    static constexpr double levelSeconds = 1;
    static constexpr double releaseSeconds = 0.2;
    static constexpr int fadeMs = 6;
    static constexpr int latencyFrames = TLiveConvolver::latencyFrames;

    TMonitorMix(int rate, std::span<const double> left, std::span<const double> right);

    // See TLiveConvolver::stage: false while the previous change is still fading in.
    bool stage(std::span<const double> left, std::span<const double> right) {
        return conv.stage(left, right);
    }
    void select(TABSource source) { mixer.select(source); }
    TABSource selected() const { return mixer.selected(); }

    // Audio thread: `frames` pickup samples in, as many stereo frames out (interleaved).
    void process(const float* pickup, float* stereo, int frames);

    // Output frames the limiter turned down since the start (any thread).
    std::int64_t limitedFrames() const { return limited.load(std::memory_order_relaxed); }
    // The gain of the bare pickup now (any thread).
    float pickupGain() const { return gainNow.load(std::memory_order_relaxed); }

private:
    void processBlock(const float* pickup, float* stereo, int frames);

    TLiveConvolver conv;
    TABMixer mixer;
    double levelCoefficient;
    double releaseCoefficient;
    float ceiling;
    double correctedSquare = 0, pickupSquare = 0; // running mean squares
    double limiterGain = 1;
    std::vector<float> delayLine; // the last latencyFrames pickup samples
    std::vector<float> delayed;   // pickup of this block, delayed
    std::vector<float> corrected; // corrected stereo of this block
    int delayAt = 0;
    std::atomic<std::int64_t> limited{0};
    std::atomic<float> gainNow{1};
};
