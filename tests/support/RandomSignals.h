// Reproducible test signals for the convolvers: a decaying random filter, like a correction
// filter's, and uniform noise.
#pragma once

#include <cmath>
#include <random>
#include <vector>

// `count` taps of normal noise of deviation `sigma`, decaying by e every 2000 taps.
inline std::vector<double> decayingTaps(int count, unsigned seed, double sigma = 1.0) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> d(0.0, sigma);
    std::vector<double> taps(count);
    for (int k = 0; k < count; ++k)
        taps[k] = d(gen) * std::exp(-k / 2000.0);
    return taps;
}

// `count` samples uniform in [-amplitude, amplitude).
inline std::vector<float> uniformNoise(std::size_t count, unsigned seed, float amplitude = 1.0f) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> x(count);
    for (float& v : x)
        v = d(gen);
    return x;
}
