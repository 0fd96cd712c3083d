#include "dsp/TakeLevels.h"

#include <algorithm>
#include <cmath>

namespace {

double fromDb(double db) {
    return std::pow(10.0, db / 20);
}

// The value at fraction q (0..1) of the sorted values; 0 for none.
double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    const auto at = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(at), v.end());
    return v[at];
}

} // namespace

TTakeLevels defaultLevels(bool integerSource) {
    TTakeLevels l;
    for (TChannelLevels* c : {&l.pickup, &l.mic}) {
        if (integerSource)
            c->fullScale = 32767.0 / 32768;
        c->silenceRms = fromDb(-60);
    }
    return l;
}

TTakeScan::TTakeScan(int segmentLength, double pickupFullScale, double micFullScale)
    : hop(segmentLength / 2) {
    channels[0].found.fullScale = pickupFullScale;
    channels[1].found.fullScale = micFullScale;
}

void TTakeScan::TChannel::endRun() {
    if (run >= TChannelLevels::runLength && runMagnitude == found.peak) {
        ++found.peakRuns;
        found.peakRunSamples += run;
    }
    run = 0;
}

void TTakeScan::TChannel::sample(double v) {
    if (!std::isfinite(v)) {
        ++found.nonFinite;
        endRun();
        return;
    }
    const double m = std::fabs(v);
    energy += v * v;
    if (m == runMagnitude) {
        ++run;
    } else {
        endRun();
        runMagnitude = m;
        run = 1;
    }
    if (m > found.peak) {
        // A new peak: runs at the old one were not at the channel's largest magnitude.
        found.peak = m;
        found.peakRuns = 0;
        found.peakRunSamples = 0;
    }
}

void TTakeScan::add(const float* pickup, const float* mic, std::int64_t count, int stride) {
    addSamples(pickup, mic, count, stride);
}

void TTakeScan::add(const double* pickup, const double* mic, std::int64_t count, int stride) {
    addSamples(pickup, mic, count, stride);
}

template <typename T> void TTakeScan::TChannel::block(const T* x, std::int64_t n, int stride) {
    double e[4] = {0, 0, 0, 0};
    double largest = 0;
    std::int64_t j = 0;
    for (; j + 4 <= n; j += 4)
        for (int k = 0; k < 4; ++k) {
            const double v = x[(j + k) * stride];
            e[k] += v * v;
            largest = std::max(largest, std::fabs(v));
        }
    for (; j < n; ++j) {
        const double v = x[j * stride];
        e[0] += v * v;
        largest = std::max(largest, std::fabs(v));
    }
    const double sum = (e[0] + e[1]) + (e[2] + e[3]);
    if (std::isfinite(sum) && largest < found.peak) {
        // Nothing here reaches the peak: a run at it ends, and no run here can count.
        endRun();
        runMagnitude = -1;
        energy += sum;
        return;
    }
    for (j = 0; j < n; ++j)
        sample(x[j * stride]);
}

template <typename T>
void TTakeScan::addSamples(const T* pickup, const T* mic, std::int64_t count, int stride) {
    for (std::int64_t i = 0; i < count;) {
        const std::int64_t n = std::min<std::int64_t>(count - i, hop - filled);
        channels[0].block(pickup + i * stride, n, stride);
        channels[1].block(mic + i * stride, n, stride);
        filled += static_cast<int>(n);
        i += n;
        if (filled == hop) {
            for (TChannel& c : channels) {
                c.halfRms.push_back(static_cast<float>(std::sqrt(c.energy / hop)));
                c.energy = 0;
            }
            filled = 0;
        }
    }
}

TTakeLevels TTakeScan::levels() const {
    TTakeLevels l;
    std::vector<double> segments[2];
    for (int c = 0; c < 2; ++c) {
        TChannel channel = channels[c];
        channel.endRun(); // a run still open at the end counts
        TChannelLevels& found = c == 0 ? l.pickup : l.mic;
        found = channel.found;
        const std::vector<float>& halves = channel.halfRms;
        for (std::size_t i = 0; i + 1 < halves.size(); ++i)
            segments[c].push_back(
                std::sqrt(0.5 * (double(halves[i]) * halves[i] + double(halves[i + 1]) * halves[i + 1])));
        found.floorRms = quantile(std::vector<double>(halves.begin(), halves.end()), 0.1);
        found.loudestRms =
            segments[c].empty() ? 0 : *std::max_element(segments[c].begin(), segments[c].end());
        found.silenceRms = std::max(fromDb(absoluteSilenceDbfs),
                                    std::min(found.floorRms * fromDb(10), found.loudestRms * fromDb(-40)));
    }
    // The loudest quarter and the quietest half of the playing, by the pickup's level.
    std::vector<double> playing;
    for (std::size_t i = 0; i < segments[0].size(); ++i)
        if (segments[0][i] >= l.pickup.silenceRms && segments[1][i] >= l.mic.silenceRms)
            playing.push_back(segments[0][i]);
    if (playing.size() >= 8) {
        l.loudRms = quantile(playing, 0.75);
        l.quietRms = quantile(playing, 0.5);
    }
    return l;
}
