#include "dsp/ABMixer.h"

#include <algorithm>

double levelMatchGain(double correctedRms, double pickupRms) {
    if (!(correctedRms > 0) || !(pickupRms > 0))
        return 1.0;
    return correctedRms / pickupRms;
}

TABMixer::TABMixer(int fadeFrames) : step(1.0 / std::max(fadeFrames, 1)) {}

void TABMixer::setFadeFrames(int fadeFrames) {
    step = 1.0 / std::max(fadeFrames, 1);
}

void TABMixer::settle() {
    w = selected() == TABSource::pickup ? 1.0 : 0.0;
}

void TABMixer::mix(const float* corrected, const float* pickup, int frames, float* out) {
    const double goal = selected() == TABSource::pickup ? 1.0 : 0.0;
    for (int i = 0; i < frames; ++i) {
        if (w < goal)
            w = std::min(goal, w + step);
        else if (w > goal)
            w = std::max(goal, w - step);
        const double p = static_cast<double>(pickupGain) * pickup[i];
        out[2 * i] = static_cast<float>((1 - w) * corrected[2 * i] + w * p);
        out[2 * i + 1] = static_cast<float>((1 - w) * corrected[2 * i + 1] + w * p);
    }
}
