// Synthetic takes for the learning tests: a player's notes and strums (plucked strings, so
// decaying harmonic tones, each starting with a burst of pick noise) sent through a known pickup
// response and a known mic response, with quiet pink room noise on the mic, written through
// libsndfile in any encoding.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/RealFFT.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace synthetic_take {

// Uniform in [-1, 1), the same on every platform.
class TNoise {
public:
    explicit TNoise(std::uint32_t seed) : engine(seed) {}
    double operator()() { return static_cast<double>(engine()) / 2147483648.0 - 1.0; }
    double uniform(double low, double high) { return low + (high - low) * (0.5 * (*this)() + 0.5); }

private:
    std::mt19937 engine;
};

// The strings alone: `seconds` of notes and strums at `rate`, peak 1.0.
inline std::vector<double> playing(int rate, double seconds, std::uint32_t seed) {
    TNoise noise(seed);
    const std::int64_t length = static_cast<std::int64_t>(seconds * rate);
    std::vector<double> out(length);
    std::vector<double> line;
    auto pluck = [&](std::int64_t start, double freq, double amplitude) {
        // Karplus-Strong: a loop of one period, filled with noise, losing highs each round.
        const int period = std::max(2, static_cast<int>(std::lround(rate / freq)));
        line.assign(period, 0.0);
        for (double& v : line)
            v = amplitude * noise();
        const double loss = noise.uniform(0.994, 0.999);
        const std::int64_t end = std::min(length, start + static_cast<std::int64_t>(2.5 * rate));
        double previous = 0;
        for (std::int64_t n = start, i = 0; n < end; ++n, i = (i + 1) % period) {
            const double v = line[i];
            out[n] += v;
            line[i] = loss * 0.5 * (v + previous);
            previous = v;
        }
        // The pick itself: a few milliseconds of decaying noise.
        const int pick = rate / 250;
        for (int i = 0; i < pick && start + i < length; ++i)
            out[start + i] += 0.5 * amplitude * std::exp(-5.0 * i / pick) * noise();
    };
    for (double t = 0.05; t < seconds - 0.1; t += noise.uniform(0.15, 0.6)) {
        const std::int64_t start = static_cast<std::int64_t>(t * rate);
        if (noise() < -0.2) {
            // A strum: four to six strings, a few milliseconds apart.
            const int strings = 4 + static_cast<int>(noise.uniform(0, 2.99));
            const int root = 40 + static_cast<int>(noise.uniform(0, 12));
            for (int s = 0; s < strings; ++s)
                pluck(start + static_cast<std::int64_t>(s * noise.uniform(0.004, 0.015) * rate),
                      440.0 * std::pow(2.0, (root + 5 * s - 69) / 12.0), noise.uniform(0.3, 0.8));
        } else {
            const int note = 40 + static_cast<int>(noise.uniform(0, 36));
            pluck(start, 440.0 * std::pow(2.0, (note - 69) / 12.0), noise.uniform(0.4, 1.0));
        }
    }
    double peak = 1e-30;
    for (const double v : out)
        peak = std::max(peak, std::fabs(v));
    for (double& v : out)
        v /= peak;
    return out;
}

// Linear convolution of x with the 8192-sample response h, delayed by `delay` samples (a fraction
// allowed, below 8192), cut to x's length.
inline std::vector<double> convolve(const std::vector<double>& x, const std::array<double, blockLength>& h,
                                    double delay = 0) {
    int n = 2;
    while (n < static_cast<int>(x.size()) + blockLength)
        n *= 2;
    TRealFFT fx(n), fh(n);
    std::copy(x.begin(), x.end(), fx.real());
    std::copy(h.begin(), h.end(), fh.real());
    fx.forward();
    fh.forward();
    for (int k = 0; k <= n / 2; ++k) {
        const Complex a = fx.spectrum()[k], b = fh.spectrum()[k];
        const Complex c = {(a.re * b.re - a.im * b.im) / n, (a.re * b.im + a.im * b.re) / n};
        const double phase = -2 * M_PI * k * delay / n;
        fx.spectrum()[k] = {c.re * std::cos(phase) - c.im * std::sin(phase),
                            k == n / 2 ? 0.0 : c.re * std::sin(phase) + c.im * std::cos(phase)};
    }
    fx.backward();
    return std::vector<double>(fx.real(), fx.real() + x.size());
}

// Pink noise (Paul Kellet's filter) of RMS about `rms`.
inline std::vector<double> pinkNoise(std::int64_t length, double rms, std::uint32_t seed) {
    TNoise noise(seed);
    std::vector<double> out(length);
    double b0 = 0, b1 = 0, b2 = 0;
    for (double& v : out) {
        const double w = noise();
        b0 = 0.99765 * b0 + w * 0.0990460;
        b1 = 0.96300 * b1 + w * 0.2965164;
        b2 = 0.57000 * b2 + w * 1.0526913;
        v = b0 + b1 + b2 + w * 0.1848;
    }
    double sum = 0;
    for (const double v : out)
        sum += v * v;
    const double scale = rms / std::sqrt(sum / static_cast<double>(length) + 1e-300);
    for (double& v : out)
        v *= scale;
    return out;
}

// Scales x to the given peak.
inline void scaleToPeak(std::vector<double>& x, double peak) {
    double m = 1e-300;
    for (const double v : x)
        m = std::max(m, std::fabs(v));
    for (double& v : x)
        v *= peak / m;
}

struct TTake {
    int rate = 0;
    std::vector<double> pickup, mic;
};

// A take of `seconds` through the two responses, the mic `micDelay` samples late: both channels
// peak at 0.5, the mic carries room noise about 70 dB below its peak.
inline TTake makeTake(int rate, double seconds, const std::array<double, blockLength>& pickupIr,
                      const std::array<double, blockLength>& micIr, std::uint32_t seed = 1,
                      double micDelay = 0) {
    TTake t;
    t.rate = rate;
    const std::vector<double> strings = playing(rate, seconds, seed);
    t.pickup = convolve(strings, pickupIr);
    t.mic = convolve(strings, micIr, micDelay);
    scaleToPeak(t.pickup, 0.5);
    scaleToPeak(t.mic, 0.5);
    const std::vector<double> room = pinkNoise(static_cast<std::int64_t>(t.mic.size()), 0.5 * 3e-4, seed + 1);
    for (std::size_t i = 0; i < t.mic.size(); ++i)
        t.mic[i] += room[i];
    return t;
}

// Writes the channels (each the same length) interleaved in `format` (SF_FORMAT_*); false on failure.
inline bool writeSound(const std::string& path, int format, int rate,
                       const std::vector<const std::vector<double>*>& channels) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    const std::size_t frames = channels[0]->size();
    std::vector<double> block;
    const std::size_t step = 4096;
    bool ok = true;
    for (std::size_t start = 0; start < frames && ok; start += step) {
        const std::size_t n = std::min(step, frames - start);
        block.resize(n * channels.size());
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t c = 0; c < channels.size(); ++c)
                block[i * channels.size() + c] = (*channels[c])[start + i];
        ok = sf_writef_double(f, block.data(), static_cast<sf_count_t>(n)) == static_cast<sf_count_t>(n);
    }
    return sf_close(f) == 0 && ok;
}

} // namespace synthetic_take
