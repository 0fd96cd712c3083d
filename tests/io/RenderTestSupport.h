// Helpers of the rendering tests: recordings written through libsndfile, read back whole, and the
// direct convolution the renderer must match.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "io/RecordingReader.h"
#include "support/RandomSignals.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

// Writes interleaved `samples` as a recording of the given libsndfile format.
inline void writeRecording(const std::string& path, int format, int channels, int rate,
                           const std::vector<float>& samples) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    EXPECT_EQ(sf_writef_float(f, samples.data(), frames), frames);
    sf_close(f);
}

struct TReadBack {
    TRecordingInfo info;
    std::vector<float> samples; // interleaved
};

// The whole recording through TRecordingReader (the renderer's own way of reading).
inline TReadBack readRecording(const std::string& path) {
    TReadBack r;
    TRecordingReader reader;
    EXPECT_TRUE(reader.open(path).ok) << path;
    r.info = reader.info();
    r.samples.resize(static_cast<size_t>(r.info.frames * r.info.channels));
    EXPECT_EQ(reader.read(r.samples.data(), r.info.frames), r.info.frames);
    return r;
}

inline std::vector<float> channelOf(const TReadBack& r, int channel) {
    std::vector<float> x;
    for (std::size_t i = static_cast<size_t>(channel); i < r.samples.size(); i += r.info.channels)
        x.push_back(r.samples[i]);
    return x;
}

inline std::vector<float> noise(std::size_t count, unsigned seed, float amplitude = 0.5f) {
    return uniformNoise(count, seed, amplitude);
}

inline std::array<double, blockLength> decayingFilter(unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> d(0.0, 0.05);
    std::array<double, blockLength> h{};
    for (int k = 0; k < blockLength; ++k)
        h[k] = d(gen) * std::exp(-k / 1500.0);
    return h;
}

// Largest difference of side `side` of `stereo` from sum over k of h[k] x[n - k], relative to
// the largest such sum, over every `stride`-th frame.
inline double relativeDeviation(const std::vector<float>& stereo, int side, const std::vector<float>& x,
                                const std::array<double, blockLength>& h, std::size_t stride = 1) {
    double peak = 0, err = 0;
    for (std::size_t n = 0; n < x.size(); n += stride) {
        const std::size_t kEnd = std::min<std::size_t>(blockLength, n + 1);
        double s = 0;
        for (std::size_t k = 0; k < kEnd; ++k)
            s += h[k] * x[n - k];
        peak = std::max(peak, std::abs(s));
        err = std::max(err, std::abs(stereo[2 * n + side] - s));
    }
    return peak > 0 ? err / peak : err;
}
