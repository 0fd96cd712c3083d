#include "dsp/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <utility>

double amplitudeDb(double amplitude) {
    return amplitude > 1e-6 ? 20 * std::log10(amplitude) : TLevelMeter::floorDb;
}

TLevelMeter::TLevelMeter(int rate)
    : stretchFrames(std::max<std::int64_t>(1, static_cast<std::int64_t>(stretchSeconds * rate))),
      holdFrames(static_cast<std::int64_t>(holdSeconds * rate)) {}

void TLevelMeter::reset() {
    sum = 0;
    inStretch = 0;
    std::fill(sums, sums + stretches, 0.0);
    peak = hold = 0;
    holdLeft = clipLeft = 0;
}

void TLevelMeter::add(const float* samples, int stride, std::int64_t frames) {
    for (std::int64_t i = 0; i < frames; ++i) {
        const float x = samples[i * stride];
        const float a = std::abs(x);
        sum += static_cast<double>(x) * x;
        if (++inStretch == stretchFrames) {
            newest = (newest + 1) % stretches;
            sums[newest] = sum;
            sum = 0;
            inStretch = 0;
        }
        peak = std::max(peak, a);
        if (a >= hold || holdLeft <= 0) {
            hold = a;
            holdLeft = holdFrames;
        }
        --holdLeft;
        clipLeft = a >= fullScale ? holdFrames : clipLeft - 1;
    }
}

TLevelReading TLevelMeter::take() {
    TLevelReading r;
    r.peakDb = amplitudeDb(peak);
    double total = 0;
    for (const double s : sums)
        total += s;
    r.rmsDb = amplitudeDb(std::sqrt(total / static_cast<double>(stretches * stretchFrames)));
    r.holdDb = amplitudeDb(hold);
    r.clip = clipLeft > 0;
    peak = 0;
    return r;
}

std::string levelGuidance(double pickupRmsDb, double micRmsDb) {
    for (const auto& [db, name] : {std::pair{pickupRmsDb, "pickup"}, std::pair{micRmsDb, "mic"}})
        if (db <= TLevelMeter::floorDb)
            return std::string("no signal on the ") + name + "'s channel";
    const bool pickupLower = pickupRmsDb < micRmsDb;
    const double lower = std::min(pickupRmsDb, micRmsDb), higher = std::max(pickupRmsDb, micRmsDb);
    double raise = 0;
    if (lower < TLevelMeter::lowDb)
        raise = TLevelMeter::targetDb - lower;
    else if (higher - lower > TLevelMeter::farDb)
        raise = higher - lower;
    if (raise <= 0)
        return {};
    return std::string("raise the ") + (pickupLower ? "pickup" : "mic") + "'s gain by about " +
           std::to_string(static_cast<int>(std::lround(raise))) + " dB";
}
