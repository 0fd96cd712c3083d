#include "io/LiveLearning.h"

#include <algorithm>
#include <cmath>

TLiveLearner::TLiveLearner(int rate, int pickup, int mic)
    : estimate(std::make_unique<TTransferEstimate>(rate, true)), rate(rate), pickup(pickup), mic(mic),
      updateFrames(static_cast<std::int64_t>(updateSeconds * rate)) {}

TLiveLearner::~TLiveLearner() = default;

void TLiveLearner::add(const float* interleaved, int channels, std::int64_t frames) {
    estimate->add(interleaved + pickup, interleaved + mic, frames, channels);
    sinceUpdate += frames;
}

TLiveProgress TLiveLearner::progress() {
    sinceUpdate = 0;
    const TTransferResult r = estimate->finish();
    TLiveProgress p;
    p.rate = rate;
    p.ok = r.ok();
    p.usableSeconds = r.usableSeconds;
    p.coherence = r.coherence;
    // Until the learner has enough playing, a band is learned at most as far as the playing is.
    const double playing = std::min(1.0, r.usableSeconds / TTransferEstimate::minUsableSeconds);
    for (int b = 0; b < octaveBandCount; ++b) {
        const double c = std::isnan(r.bandCoherence[b]) ? 0 : r.bandCoherence[b];
        p.learned[b] = std::min(playing, std::clamp(c / reliableCoherence, 0.0, 1.0));
    }
    p.guidance = learningGuidance(p.learned);
    return p;
}

std::string learningGuidance(const std::array<double, octaveBandCount>& learned) {
    constexpr int lastBand = 7; // 8 kHz
    if (std::all_of(learned.begin(), learned.begin() + lastBand + 1, [](double v) { return v >= 1; }))
        return "enough: every band from 80 Hz to 8 kHz is reliable";
    if (learned[0] < 1 || learned[1] < 1)
        return "play more low notes";
    return "play louder / strum";
}
