#include "io/LiveLearning.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double enoughLowHz = 80;
constexpr int firstThird = 4; // the third-octave bands of octave band b: firstThird + 3 b .. + 2

} // namespace

TLiveProgress summariseLearning(const TTransferResult& r) {
    TLiveProgress p;
    p.rate = r.rate;
    p.ok = r.ok();
    p.usableSeconds = r.usableSeconds;
    p.coherence = r.coherence;
    p.guidance = learningGuidance(p.learned, false);
    if (!r.ok())
        return p;
    p.reliableLowHz = r.reliableLowHz;
    p.reliableHighHz = r.reliableHighHz;
    const auto reliable = [&r](double hz) {
        return r.reliableLowHz > 0 && hz >= r.reliableLowHz && hz <= r.reliableHighHz;
    };
    for (int b = 0; b < octaveBandCount; ++b) {
        double worst = 0;
        bool any = false, inRange = true;
        for (int t = firstThird + 3 * b; t < firstThird + 3 * b + 3; ++t) {
            if (std::isnan(r.bandErrorDb[t]))
                continue;
            any = true;
            worst = std::max(worst, r.bandErrorDb[t]);
            inRange = inRange && reliable(thirdBandCentres[t]);
        }
        const double ratio = worst > 0 ? TTransferEstimate::reliableLimitDb / worst : 1;
        p.learned[b] = !any ? 0 : inRange ? 1 : std::min(0.99, ratio * ratio);
    }
    p.enough = reliable(enoughLowHz) && reliable(r.goodHighHz());
    p.guidance = learningGuidance(p.learned, p.enough);
    return p;
}

TLiveLearner::TLiveLearner(int rate, int pickup, int mic)
    : estimate(std::make_unique<TTransferEstimate>(rate, true)),
      updateFrames(static_cast<std::int64_t>(updateSeconds * rate)), pickup(pickup), mic(mic) {}

TLiveLearner::~TLiveLearner() = default;

void TLiveLearner::add(const float* interleaved, int channels, std::int64_t frames) {
    estimate->add(interleaved + pickup, interleaved + mic, frames, channels);
    sinceUpdate += frames;
}

TLiveProgress TLiveLearner::progress() {
    sinceUpdate = 0;
    return summariseLearning(estimate->finish());
}

std::string learningGuidance(const std::array<double, octaveBandCount>& learned, bool enough) {
    if (enough)
        return "enough: every band from 80 Hz to 8 kHz is reliable";
    if (learned[0] < 1 || learned[1] < 1)
        return "play more low notes";
    return "play louder / strum";
}
