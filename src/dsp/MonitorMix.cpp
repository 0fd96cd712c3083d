#include "dsp/MonitorMix.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int chunk = TLiveConvolver::blockFrames;

double perFrame(double seconds, int rate) {
    return 1 - std::exp(-1.0 / (seconds * rate));
}

} // namespace

TMonitorMix::TMonitorMix(int rate, std::span<const double> left, std::span<const double> right)
    : conv(left, right), mixer(std::max(1, rate * fadeMs / 1000)),
      levelCoefficient(perFrame(levelSeconds, rate)), releaseCoefficient(perFrame(releaseSeconds, rate)),
      ceiling(static_cast<float>(std::pow(10.0, ceilingDb / 20))), delayLine(latencyFrames, 0.0f),
      delayed(chunk, 0.0f), corrected(2 * chunk, 0.0f) {
    mixer.settle();
}

void TMonitorMix::process(const float* pickup, float* stereo, int frames) {
    for (int done = 0; done < frames; done += chunk)
        processBlock(pickup + done, stereo + 2 * done, std::min(chunk, frames - done));
}

void TMonitorMix::processBlock(const float* pickup, float* stereo, int frames) {
    conv.process(pickup, corrected.data(), frames);
    for (int i = 0; i < frames; ++i) {
        delayed[i] = delayLine[delayAt];
        delayLine[delayAt] = pickup[i];
        delayAt = (delayAt + 1) % latencyFrames;
        const double l = corrected[2 * i], r = corrected[2 * i + 1], p = delayed[i];
        correctedSquare += levelCoefficient * ((l * l + r * r) / 2 - correctedSquare);
        pickupSquare += levelCoefficient * (p * p - pickupSquare);
    }
    const float gain =
        static_cast<float>(levelMatchGain(std::sqrt(correctedSquare), std::sqrt(pickupSquare)));
    mixer.setPickupGain(gain);
    gainNow.store(gain, std::memory_order_relaxed);
    mixer.mix(corrected.data(), delayed.data(), frames, stereo);

    std::int64_t turnedDown = 0;
    for (int i = 0; i < frames; ++i) {
        const double peak = std::max(std::abs(stereo[2 * i]), std::abs(stereo[2 * i + 1]));
        limiterGain += releaseCoefficient * (1 - limiterGain);
        if (peak * limiterGain > ceiling)
            limiterGain = ceiling / peak;
        if (limiterGain < 1) {
            stereo[2 * i] = static_cast<float>(stereo[2 * i] * limiterGain);
            stereo[2 * i + 1] = static_cast<float>(stereo[2 * i + 1] * limiterGain);
            turnedDown += limiterGain < 0.999;
        }
    }
    limited.fetch_add(turnedDown, std::memory_order_relaxed);
}
