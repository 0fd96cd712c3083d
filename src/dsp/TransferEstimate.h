// Learning the transfer from a pickup signal to a mic signal recorded at the same time: the H1
// estimate (cross-spectrum of pickup and mic over the pickup's auto-spectrum, both averaged over
// Hann-windowed segments, Welch), taken at the analysis' own bin frequencies k * fs / 8192 and
// brought back to 8192 samples by a circular inverse transform, so the learned sequence stands in
// for a measured mic response over a unit-impulse pickup. Qt-free, no file access, no threads.
#pragma once

#include "dsp/AnalyzerTypes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// Octave bands of the report: centres 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000 Hz, each
// from centre / sqrt(2) to centre * sqrt(2).
constexpr int octaveBandCount = 9;
constexpr std::array<double, octaveBandCount> octaveBandCentres = {63,   125,  250,  500,  1000,
                                                                   2000, 4000, 8000, 16000};

// Why an estimate failed.
enum class TTransferError {
    none,
    silentPickup, // no segment of the pickup reaches -60 dBFS RMS
    silentMic,    // no segment of the mic reaches -60 dBFS RMS
    tooLittle,    // under minUsableSeconds of usable playing (usableSeconds says how much)
};

struct TTransferResult {
    TTransferError error = TTransferError::none;
    int rate = 0; // Hz, as given to the estimator

    // The learned mic response at true scale (a mic equal to the pickup gives 1.0 at sample 0 and
    // 0 elsewhere): the inverse 8192-point transform of the estimate at bins 0..4096. Whatever of
    // the transfer lies before time zero wraps to the end. All zero after a failure.
    std::array<double, blockLength> response{};
    // |Spm|^2 / (Spp * Smm) at the analysis' bins k * fs / 8192, k = 0..4095, each 0..1; 0 where
    // either auto-spectrum is zero.
    std::array<double, binCount> coherence{};
    // Mean coherence over the bins of each octave band (see octaveBandCentres); NaN for a band
    // that holds no bin below fs / 2.
    std::array<double, octaveBandCount> bandCoherence{};

    // Seconds of the input in usable segments, and in segments left out as silent (pickup or mic
    // below -60 dBFS RMS) or clipped (a sample at full scale in an integer source; clipping wins
    // over silence). The first segment counts its whole length, each later one its hop; samples
    // after the last whole segment count in none of them.
    double usableSeconds = 0;
    double silentSeconds = 0;
    double clippedSeconds = 0;

    // Where the cross-correlation of mic and pickup (phase transform of the averaged
    // cross-spectrum) peaks, in seconds, positive when the mic comes after the pickup; found
    // within half a segment either way. looksShifted: its magnitude exceeds shiftLimitSeconds.
    double lagSeconds = 0;
    bool looksShifted = false;

    // One line judging the take from the band coherences (empty after a failure).
    std::string verdict;

    bool ok() const { return error == TTransferError::none; }
};

class TTransferEstimate {
public:
    // Samples per Welch segment at `rate`: 8 x 8192 from 44.1 kHz up, 4 x 8192 from 22.05 kHz,
    // 2 x 8192 below, so a segment lasts 0.34 to 2 s. Segments overlap by half. Longer segments
    // keep the smoothing the window brings to the learned transfer small (it shows as a loss of
    // the sharpest peaks and dips).
    static int segmentLength(int rate);
    static constexpr double silenceDbfs = -60;            // segment RMS below this is silent
    static constexpr double minUsableSeconds = 5;
    static constexpr double shiftLimitSeconds = 0.020;

    // `rate` in Hz (> 0). `integerSource`: the samples come from an integer file, so a sample of
    // magnitude 32767/32768 or more counts as clipped (float sources never clip).
    TTransferEstimate(int rate, bool integerSource);
    ~TTransferEstimate();
    TTransferEstimate(const TTransferEstimate&) = delete;
    TTransferEstimate& operator=(const TTransferEstimate&) = delete;

    // Feeds `count` simultaneous samples of both signals (full scale 1.0), read at pickup[i * stride]
    // and mic[i * stride], so both can point into one interleaved block. Blocks of any size; a
    // segment is analysed as soon as it is complete. Allocates nothing.
    void add(const float* pickup, const float* mic, std::int64_t count, int stride = 1);
    void add(const double* pickup, const double* mic, std::int64_t count, int stride = 1);

    // Samples fed so far.
    std::int64_t samples() const { return fed; }

    // The estimate from everything fed so far (the estimator can keep going afterwards).
    TTransferResult finish() const;

private:
    struct TState;
    std::unique_ptr<TState> state;
    std::int64_t fed = 0;
    int length;  // segment length
    int hop;     // samples between segment starts
    template <typename T> void addSamples(const T* pickup, const T* mic, std::int64_t count, int stride);
    void analyseSegment();
};
