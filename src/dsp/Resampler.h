// Band-limited resampling of a stream by a ratio near 1, to correct a recorder whose clock ran a
// little fast or slow: output sample n is the input at time n * step (in input samples), from a
// Kaiser-windowed sinc of 2 x 32 taps cut off at 0.47 of the input rate, read from a table of 512
// phases with linear interpolation between them. A NaN in the input makes every output sample
// whose taps reach it NaN, so a caller can mark stretches to leave out. Input before the first
// sample and after finish() is zero. Qt-free, no threads.
#pragma once

#include <cstdint>
#include <vector>

class TResampler {
public:
    // step > 0, near 1 (0.9 .. 1.1).
    explicit TResampler(double step);

    void push(const float* x, std::int64_t count);
    // No more input: the last output samples can be pulled.
    void finish() { finished = true; }
    // Writes up to `max` output samples that the input so far determines; returns how many.
    std::int64_t pull(float* out, std::int64_t max);

    static constexpr int halfTaps = 32;

private:
    static constexpr int phases = 512;
    double step;
    std::vector<float> table; // (phases + 1) x 2 halfTaps: taps of input offsets -halfTaps+1 .. halfTaps
    std::vector<float> input; // input from index `inputStart`
    std::int64_t inputStart = 0;
    std::int64_t inputEnd = 0; // samples pushed
    std::int64_t produced = 0;
    bool finished = false;
};
