// Learning a mic response from a take: a recording of playing with the pickup on one channel and a
// microphone on another, or two mono tracks of one session. Streams the file(s) through
// TRecordingReader in bounded blocks (memory stays bounded whatever the length) into
// TTransferEstimate. Qt-free and thread-agnostic: callers on a worker thread pass a progress and a
// cancel callback, both called on the calling thread.
#pragma once

#include "dsp/TransferEstimate.h"
#include "io/FileResult.h"
#include "io/RecordingReader.h"

#include <functional>
#include <string>

class TAnalyzer;

// What to learn from: either `take` (a file with two or more channels) with the 1-based channel
// numbers of the pickup and the mic, or `pickupTrack` and `micTrack` (the first channel of each,
// sample-aligned from their first sample, the common length from the start). Two tracks are used
// when `take` is empty.
struct TTakeSource {
    std::string take;
    int pickupChannel = 1;
    int micChannel = 2;
    std::string pickupTrack;
    std::string micTrack;
    // Turn an inverted mic back to the pickup's polarity (by default the filter keeps what was
    // measured).
    bool normalPolarity = false;

    bool twoTracks() const { return take.empty(); }
};

struct TLearnedTake {
    TTakeSource source;
    TTransferResult transfer; // the estimate; transfer.rate is the take's rate
    // Two tracks: the mic track was read this many seconds later than the pickup track (negative:
    // earlier) to align them, and resampled against a clock that differed by driftPpm (0: none).
    // transfer.lagSeconds and transfer.shiftSamples include the offset.
    double trackOffsetSeconds = 0;
    double driftPpm = 0;
    // The pickup track is the noisier one in the pauses, as a mic would be.
    bool tracksLookSwapped = false;
    // The response was negated to undo an inverted mic (source.normalPolarity).
    bool polarityTurned = false;
    // The take (or a track) is stored in an encoding of about 8 bits (TRecordingInfo).
    std::string coarseEncoding;
    bool cancelled = false; // learning stopped on the cancel callback; nothing else is valid
    // The name to show for the learned pair, for example "take.wav (learned)" (the take's file
    // name, or the mic track's, without folders).
    std::string displayName;
};

// fraction: 0..1 of the frames to read, called after each block (a few hundred times per minute
// of audio at most) and with 1 at the end.
using TLearnProgress = std::function<void(double fraction)>;
// Asked after each block; true stops learning.
using TLearnCancel = std::function<bool()>;

// Reads the channel count, rate and encoding of a file (for choosing channels), without reading
// its samples. A failure names the file and the reason.
TFileResult probeTake(const std::string& path, TRecordingInfo& info);

// Learns from `source` in two passes over the file(s): the first finds the levels (clipping at
// each channel's own peak, the noise floor) and, for two tracks, their offset (up to 2 s either
// way) and the drift of their clocks; the second learns. On success `result` holds the estimate.
// On failure returns a one-line message naming the file and the reason: not audio or unreadable,
// one channel only, a channel beyond the file's, the same channel for both, rates that differ, a
// silent pickup or mic, too little playing (saying how much there was), channels that look
// swapped (result.transfer.swapped is then set), clocks more than 1000 ppm apart, a read error;
// the message is set even where cannotOpen is (a missing or unreadable file), for a dialog to
// show. When cancelled, returns ok = false with an empty message and result.cancelled = true.
TFileResult learnTake(const TTakeSource& source, TLearnedTake& result, const TLearnProgress& progress = {},
                      const TLearnCancel& cancelled = {});

// Puts a learned take into the analyzer as loading a pair does: irData[i].mic = the learned
// response (true scale, not normalised), irData[i].pickup = unit impulse (1.0 at 0), setFs(rate),
// delayMic = delayPickup = 0, enablePickup = true. Runs no analysis; everything else is left alone.
void applyLearnedTake(const TLearnedTake& take, TAnalyzer& a);

// The short report, lines separated by '\n' and ending in one: what was learned from, usable
// seconds, seconds left out as silent and as clipped, mean coherence per octave band from 63 Hz to
// 16 kHz ("-" for a band above half the rate), the verdict from the reliable range, the lag, and
// one "Warning: " line for each fault found.
std::string learnReport(const TLearnedTake& take);

// The same report in parts, for a reader that orders or colours them; each part is whole lines
// ending in '\n', and learnReport is details, verdict, warnings in this order.
struct TTakeReport {
    std::string verdict;  // the one verdict line ("Verdict: ...")
    std::string warnings; // lines that call for attention (tracks shifted, ...); often empty
    std::string details;  // everything else, in order
};
TTakeReport learnReportParts(const TLearnedTake& take);

// The verdict alone, without "Verdict: " and the newline.
std::string learnVerdict(const TTransferResult& t);

// The refusal of a take whose channels look swapped (transfer.swapped), naming the file.
std::string swappedMessage(const TLearnedTake& take);

// Most clocks of two recorders differ by less; beyond this the tracks are refused.
constexpr double maxDriftPpm = 1000;
