// The live learner: the take's blocks, as they are recorded, go to the learner (TTransferEstimate)
// and, about twice a second, its estimate so far is turned into what the Record page shows: the
// coherence over frequency, how far each octave band is learned, and what to play next. This file
// is the one place that knows the learner's interface. Qt-free; one thread at a time.
#pragma once

#include "dsp/TransferEstimate.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct TLiveProgress {
    int rate = 0;
    bool ok = false;          // the learner has an estimate (enough playing so far)
    double usableSeconds = 0; // of playing the learner could use
    std::array<double, binCount> coherence{};
    // Per octave band (octaveBandCentres): 0..1, how far it is learned; 1 is reliable.
    std::array<double, octaveBandCount> learned{};
    std::string guidance; // what to play next, or that it is enough
};

class TLiveLearner {
public:
    // A band is reliable at this mean coherence, once the learner has an estimate.
    static constexpr double reliableCoherence = 0.9;
    static constexpr double updateSeconds = 0.5;

    // pickup, mic: 0-based channels of the blocks to come.
    TLiveLearner(int rate, int pickup, int mic);
    ~TLiveLearner();

    // Adds `frames` frames of `channels` interleaved channels. Allocates nothing.
    void add(const float* interleaved, int channels, std::int64_t frames);
    // True when updateSeconds of frames came in since the last progress().
    bool due() const { return sinceUpdate >= updateFrames; }
    // The estimate so far, summed up (a few ms: two transforms, allocated and planned).
    TLiveProgress progress();

private:
    std::unique_ptr<TTransferEstimate> estimate;
    int rate;
    int pickup, mic;
    std::int64_t updateFrames;
    std::int64_t sinceUpdate = 0;
};

// The guidance line of a learning in progress, from how far each band is learned: "enough: every
// band from 80 Hz to 8 kHz is reliable" when all of 63 Hz .. 8 kHz are, else "play more low
// notes" while 63 or 125 Hz is not, else "play louder / strum".
std::string learningGuidance(const std::array<double, octaveBandCount>& learned);
