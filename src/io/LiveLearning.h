// The live learner: the take's blocks, as they are recorded, go to the learner (TTransferEstimate)
// and, about twice a second, its estimate so far is turned into what the Record page shows: the
// coherence over frequency, the reliable range and how far each octave band is learned, and what
// to play next. A band is reliable by the rule the learner's verdict uses: its third-octave bands
// lie in the reliable range (the longest run whose random error is at most reliableLimitDb). This
// file is the one place that knows the learner's interface. Qt-free; one thread at a time.
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
    // The reliable range by the nominal centres of its lowest and highest third-octave bands (Hz);
    // both 0 for none (and before an estimate).
    double reliableLowHz = 0;
    double reliableHighHz = 0;
    // Per octave band (octaveBandCentres): 0..1, how far it is learned; 1 is reliable. Below 1 it
    // is (reliableLimitDb / error)^2 for its worst third-octave band, which grows about as the
    // playing that reaches the band; 0 before an estimate and for a band above 0.45 fs.
    std::array<double, octaveBandCount> learned{};
    // The verdict would call the take good and more: reliable from 80 Hz to goodHighHz() (8 kHz).
    bool enough = false;
    std::string guidance; // what to play next, or that it is enough
};

// What the Record page shows of an estimate: live, or the recorded file's after Stop.
TLiveProgress summariseLearning(const TTransferResult& r);

class TLiveLearner {
public:
    static constexpr double updateSeconds = 0.5;

    // pickup, mic: 0-based channels of the blocks to come.
    TLiveLearner(int rate, int pickup, int mic);
    ~TLiveLearner();

    // Adds `frames` frames of `channels` interleaved channels. Allocates nothing.
    void add(const float* interleaved, int channels, std::int64_t frames);
    // True when updateSeconds of frames came in since the last progress().
    bool due() const { return sinceUpdate >= updateFrames; }
    // The estimate so far, summed up (a few ms: transforms of its own, allocated and planned).
    TLiveProgress progress();

private:
    std::unique_ptr<TTransferEstimate> estimate;
    std::int64_t updateFrames;
    std::int64_t sinceUpdate = 0;
    int pickup, mic;
};

// The guidance line: "enough: every band from 80 Hz to 8 kHz is reliable" when `enough`, else
// "play more low notes" while 63 or 125 Hz is not reliable, else "play louder / strum".
std::string learningGuidance(const std::array<double, octaveBandCount>& learned, bool enough);
