// The estimator's sums, shared by its streaming part and its findings. Private to dsp.
#pragma once

#include "dsp/RealFFT.h"
#include "dsp/TransferEstimate.h"

#include <vector>

// Sums over a group of segments at the analysis' bins 0..4096.
struct TSpectrumSums {
    std::vector<double> spp = std::vector<double>(blockLength / 2 + 1);
    std::vector<double> smm = std::vector<double>(blockLength / 2 + 1);
    std::vector<Complex> spm = std::vector<Complex>(blockLength / 2 + 1);
    std::vector<double> spp2 = std::vector<double>(blockLength / 2 + 1); // sum of Spp^2
    int segments = 0;

    void subtract(const TSpectrumSums& other);
};

struct TTransferEstimate::TState {
    int rate;
    TTakeLevels levels;
    double clipLevel[2]; // pickup, mic
    int L;               // segment length
    int hop;             // L / 2
    int spectrumBins;    // L / 2 + 1
    int step;            // L / blockLength: segment bins per analysis bin
    // The current segment of both signals in two halves of `hop` samples: the older half starts
    // at olderBase, the newer one at the other half; `filled` samples of the segment are in.
    std::vector<double> pickup = std::vector<double>(static_cast<std::size_t>(L));
    std::vector<double> mic = std::vector<double>(static_cast<std::size_t>(L));
    int olderBase = 0;
    int filled = 0;
    std::array<double, 2> pickupEnergy{}, micEnergy{}; // sum of squares of the half at 0 and at hop
    std::int64_t lastClipped = -1;                     // index of the latest clipped sample fed, -1 for none
    std::vector<double> window = std::vector<double>(static_cast<std::size_t>(L));
    TRealFFT pickupFft{L};
    TRealFFT micFft{L};
    // Sums at the analysis' bins over all usable segments, the loudest quarter and the quietest
    // half.
    TSpectrumSums all, loud, quiet;
    std::int64_t segments = 0;
    std::int64_t usableSamples = 0, silentSamples = 0, clippedSamples = 0;
    double loudestPickup = 0, loudestMic = 0; // highest segment RMS seen

    TState(int r, const TTakeLevels& l, int length);
};

// The findings of finish() from the sums: fills everything of `r` after the seconds.
void findTransfer(const TTransferEstimate::TState& s, TTransferResult& r);
