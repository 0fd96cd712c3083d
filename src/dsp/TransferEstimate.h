// Learning the transfer from a pickup signal to a mic signal recorded at the same time: the H1
// estimate (cross-spectrum of pickup and mic over the pickup's auto-spectrum, both averaged over
// Hann-windowed segments, Welch), taken at the analysis' own bin frequencies k * fs / 8192, its
// bulk delay removed, and brought back to 8192 samples by a circular inverse transform, so the
// learned sequence stands in for a measured mic response over a unit-impulse pickup. Besides the
// estimate it finds what is wrong with the take (a swap, distortion, inverted polarity, the room)
// and how reliable the result is, as values; the sentences are the report's. Qt-free, no file
// access, no threads.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "dsp/TakeLevels.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Octave bands of the report: centres 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000 Hz, each
// from centre / sqrt(2) to centre * sqrt(2).
constexpr int octaveBandCount = 9;
constexpr std::array<double, octaveBandCount> octaveBandCentres = {63,   125,  250,  500,  1000,
                                                                   2000, 4000, 8000, 16000};

// Third-octave bands of the reliability: nominal centres 20 Hz .. 20 kHz (exactly 1000 * 2^(n/3)
// Hz), each from centre / 2^(1/6) to centre * 2^(1/6).
constexpr int thirdBandCount = 31;
constexpr std::array<double, thirdBandCount> thirdBandCentres = {
    20,  25,   31.5, 40,   50,   63,   80,   100,  125,  160,  200,  250,   315,   400,   500,  630,
    800, 1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};

// Why an estimate failed.
enum class TTransferError {
    none,
    silentPickup, // no segment of the pickup reaches absoluteSilenceDbfs RMS (or -60 dBFS unscanned)
    silentMic,    // the same for the mic
    tooLittle,    // under minUsableSeconds of usable playing (usableSeconds says how much)
};

struct TTransferResult {
    TTransferError error = TTransferError::none;
    int rate = 0;       // Hz, as given to the estimator
    TTakeLevels levels; // as given

    // The learned mic response at true scale (a mic equal to the pickup gives 1.0 at arrivalSample
    // and 0 elsewhere): the inverse 8192-point transform of the estimate at bins 0..4096, advanced by
    // shiftSamples so that its arrival lies at arrivalSample, whatever the mic's distance. Whatever
    // lies more than arrivalSample before the arrival wraps to the end. All zero after a failure.
    std::array<double, blockLength> response{};
    // |Spm|^2 / (Spp * Smm) at the analysis' bins k * fs / 8192, k = 0..4095, each 0..1; 0 where
    // either auto-spectrum is zero.
    std::array<double, binCount> coherence{};
    // Mean coherence over the bins of each octave band (see octaveBandCentres); NaN for a band
    // that holds no bin below fs / 2.
    std::array<double, octaveBandCount> bandCoherence{};

    // Seconds of the input in usable segments, and in segments left out as silent (pickup or mic
    // below its silence threshold) or clipped (a sample at its channel's clip level, or not
    // finite; clipping wins over silence). The first segment counts its whole length,
    // each later one its hop; samples after the last whole segment count in none of them.
    double usableSeconds = 0;
    double silentSeconds = 0;
    double clippedSeconds = 0;
    int usableSegments = 0;

    // The bulk delay: the arrival of the mic's sound after the pickup's, in seconds to a fraction
    // of a sample (negative: before), from the envelope of the phase transform of the averaged
    // cross-spectrum, found within 4096 samples either way (85 ms at 48 kHz). For a swapped take,
    // minus the lag measured with the channels swapped back.
    double lagSeconds = 0;
    double shiftSamples = 0; // lag * rate - arrivalSample: how far the response was advanced
    // The mic's sound comes more than swapLimitSeconds before the pickup's.
    bool swapped = false;
    // The main arrival is negative: the response from 100 Hz to 12 kHz, summed over a millisecond
    // either side of arrivalSample, is below zero. `response` keeps it so.
    bool polarityInverted = false;

    // Level dependence: the learned level of the loudest quarter of the playing over that of its
    // quietest half, in the octave band (125 Hz .. 4 kHz) where they differ most, dB; positive when
    // the mic grows faster than the pickup (the pickup compresses). When its magnitude reaches
    // distortionLimitDb, `distorts` is set and the response is learned from the playing below the
    // loudest quarter.
    double levelDifferenceDb = 0;
    bool distorts = false;

    // The room: the strongest discrete reflection 2..20 ms after the direct sound (from the
    // cepstrum of the learned magnitude over the reliable range), its delay in seconds and its
    // level relative to the direct sound (0 for none found at reflectionLimit or more), and the
    // energy of the response from 100 Hz to 12 kHz from 50 to 100 ms after its arrival relative
    // to all of it, dB (the random error's share taken out), with `reverberant` set at
    // tailLimitDb or more.
    double reflectionSeconds = 0;
    double reflectionGain = 0;
    double tailDb = -200;
    bool reverberant = false;

    // The random error of the filter curve per third-octave band, dB (one standard deviation):
    // from the coherence and the power-weighted number of averages per bin, averaged over the
    // band weighted by the pickup's power, and reduced by the smoothing the analysis' time window
    // brings. NaN for a band reaching beyond 0.45 fs.
    std::array<double, thirdBandCount> bandErrorDb{};
    // The longest run of bands whose error is at most reliableLimitDb, by nominal centre (Hz);
    // both 0 when no band is reliable.
    double reliableLowHz = 0;
    double reliableHighHz = 0;
    // The band with the largest error from 100 Hz to goodHighHz(): its centre and its error.
    double weakestHz = 0;
    double weakestErrorDb = 0;

    bool ok() const { return error == TTransferError::none; }
    // The highest band a good take must reach: 8 kHz, or the last whole band below 0.45 fs.
    double goodHighHz() const;
    // Reliable from 100 Hz to goodHighHz().
    bool good() const {
        return ok() && reliableLowHz > 0 && reliableLowHz <= 100 && reliableHighHz >= goodHighHz();
    }
};

class TTransferEstimate {
public:
    // Samples per Welch segment at `rate`: 8 x 8192 from 44.1 kHz up, 4 x 8192 from 22.05 kHz,
    // 2 x 8192 below (0.34 s at 192 kHz, 1.5 s at 44.1 kHz, 2 s at 8 kHz). Segments overlap by
    // half. Longer segments keep the smoothing the window brings to the learned transfer small (it
    // shows as a loss of the sharpest peaks and dips).
    static int segmentLength(int rate);
    static constexpr double silenceDbfs = -60; // the unscanned silence threshold
    static constexpr double minUsableSeconds = 5;
    static constexpr int arrivalSample = 16;           // where the learned response arrives
    static constexpr double swapLimitSeconds = 0.0002; // a lag below minus this is a swap
    static constexpr double distortionLimitDb = 0.75;
    static constexpr double reliableLimitDb = 1.0;
    static constexpr double reflectionLimit = 0.25;
    static constexpr double tailLimitDb = -14;

    // `rate` in Hz (> 0). `levels`: the take's levels from a first pass (TTakeScan), or
    // defaultLevels(). A sample at or beyond its channel's clip level, not finite, or beyond 1000
    // (60 dB over full scale) counts as clipped, so it cannot spoil the estimate.
    TTransferEstimate(int rate, const TTakeLevels& levels);
    // The same with defaultLevels(integerSource).
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
    // The summed cross-spectrum of the usable segments at the analysis' bins 0..4096, and how many
    // segments it sums.
    const std::vector<Complex>& crossSpectrum() const;
    int usableSegments() const;

    // The estimate from everything fed so far; the estimator can keep going afterwards, so a live
    // caller may ask for it as often as twice a second. Makes transforms of its own, so it
    // allocates and plans (a few milliseconds).
    TTransferResult finish() const;

    // The sums, shared by the streaming part and the findings (TransferEstimateState.h, private to
    // dsp).
    struct TState;

private:
    std::unique_ptr<TState> state;
    std::int64_t fed = 0;
    int length; // segment length
    int hop;    // samples between segment starts
    template <typename T> void addSamples(const T* pickup, const T* mic, std::int64_t count, int stride);
    void analyseSegment();
};
