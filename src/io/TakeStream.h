// The pickup and mic of a take as two aligned streams of samples, read in bounded blocks from one
// file with two or more channels or from two mono tracks; for two tracks the mic can start later
// or earlier and be resampled against a clock that ran fast or slow. Qt-free, no threads.
#pragma once

#include "dsp/Resampler.h"
#include "io/RecordingReader.h"
#include "io/TakeLearning.h"

#include <memory>
#include <vector>

class TTakeStream {
public:
    static constexpr std::int64_t blockFrames = 8192;

    // Opens the file(s) of `source` and checks the channels and rates; a failure names the file
    // and the reason.
    TFileResult open(const TTakeSource& source);
    int rate() const { return readers[0].info().rate; }
    // Frames both files declare (the shorter of two tracks).
    std::int64_t frames() const;
    double pickupFullScale() const { return readers[0].info().fullScale; }
    double micFullScale() const { return readers[twoTracks ? 1 : 0].info().fullScale; }
    // The coarse encoding of either file (see TRecordingInfo), empty for none.
    std::string coarseEncoding() const;

    // Reads from the start again, the mic `micLag` frames later than the pickup (negative: the
    // pickup later; two tracks only) and resampled by `step` input frames per frame (two tracks
    // only; 1: as recorded). Raw mic samples at or beyond `micClip`, or not finite, become NaN
    // before resampling.
    TFileResult start(std::int64_t micLag = 0, double step = 1, double micClip = 1e300);
    // Up to blockFrames frames of both into pickup() and mic(): their count, 0 at the common end,
    // -1 after a read error (see error()).
    std::int64_t next();
    const float* pickup() const { return pickupBlock.data(); }
    const float* mic() const { return micBlock.data(); }
    const std::string& error() const { return message; }

private:
    bool twoTracks = false;
    int pickupChannel = 0, micChannel = 0;
    TRecordingReader readers[2];
    std::unique_ptr<TResampler> resampler;
    double clip = 1e300;
    bool micEnded = false;
    std::vector<float> raw, pickupBlock, micBlock, micRaw;
    std::string message;
    std::string names[2]; // the files, for messages

    std::int64_t readChannel(TRecordingReader& reader, int channel, float* out, std::int64_t frames);
    bool skip(TRecordingReader& reader, std::int64_t frames);
    std::int64_t nextMic(std::int64_t frames);
};
