// The A/B switch of listening: mixes the corrected stereo signal and the bare pickup into the
// stereo frames that are played, and crossfades between the two when the choice changes, so the
// switch lands at the very next frame mixed and never clicks.
#pragma once

#include <atomic>

enum class TABSource { corrected = 0, pickup = 1 };

// The gain that plays the bare pickup (mono, on both sides) at the loudness of the corrected
// signal: correctedRms / pickupRms, where correctedRms is the RMS of both sides together over the
// whole recording and pickupRms the pickup channel's. Either RMS zero (nothing to match) gives 1.
double levelMatchGain(double correctedRms, double pickupRms);

class TABMixer {
public:
    // fadeFrames: length of the crossfade in frames (at least 1).
    explicit TABMixer(int fadeFrames);

    // What should be heard; may be called from any thread while another mixes. The change starts
    // with the next frame mixed and takes fadeFrames frames.
    void select(TABSource source) { target.store(source, std::memory_order_relaxed); }
    TABSource selected() const { return target.load(std::memory_order_relaxed); }
    // Jumps to the selected source without a crossfade (for a start from silence).
    void settle();
    // Changes the crossfade's length; call it while nothing is mixed.
    void setFadeFrames(int fadeFrames);
    // The scale of the pickup (see levelMatchGain); set it while nothing is mixed.
    void setPickupGain(float gain) { pickupGain = gain; }

    // Mixes `frames` frames: corrected is interleaved stereo (left, right), pickup mono, out
    // interleaved stereo. Equal-gain crossfade: out = (1 - w) * corrected + w * gain * pickup, with
    // w moving linearly by 1 / fadeFrames per frame towards 0 (corrected) or 1 (pickup).
    void mix(const float* corrected, const float* pickup, int frames, float* out);
    // Where the crossfade stands: 0 corrected, 1 pickup.
    double weight() const { return w; }

private:
    std::atomic<TABSource> target{TABSource::corrected};
    double step;
    double w = 0;
    float pickupGain = 1;
};
