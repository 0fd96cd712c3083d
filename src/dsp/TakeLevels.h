// The levels of a take that learning judges its segments by: where each channel clips, where its
// playing stands above its own noise floor, and which segments are its loudest and quietest
// playing. TTakeScan finds them in a first pass over the take; without one, defaultLevels() judges
// by fixed thresholds. Qt-free, no file access, no threads.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

struct TChannelLevels {
    // A sample of this magnitude or more is at the encoding's full scale (infinity: none).
    double fullScale = std::numeric_limits<double>::infinity();
    double peak = 0;  // the largest finite magnitude
    int peakRuns = 0; // runs of runLength or more equal magnitudes at `peak`
    std::int64_t peakRunSamples = 0;
    double floorRms = 0;   // the noise floor: RMS of the take's quietest stretches (10th percentile)
    double loudestRms = 0; // RMS of the loudest segment
    // Segment RMS below this is silent.
    double silenceRms = 0.001;
    std::int64_t nonFinite = 0; // samples that are not finite numbers

    static constexpr int runLength = 3;
    // The channel clips at its own peak: two or more runs there, or one of eight samples.
    bool clipsAtPeak() const { return peak > 0 && (peakRuns >= 2 || peakRunSamples >= 8); }
    // A sample of this magnitude or more (or not finite) is clipped.
    double clipLevel() const { return clipsAtPeak() && peak < fullScale ? peak : fullScale; }
};

struct TTakeLevels {
    TChannelLevels pickup, mic;
    // Usable segments whose pickup RMS is at least loudRms are the loudest quarter of the playing,
    // those at most quietRms its quietest half (infinity and 0: no such groups).
    double loudRms = std::numeric_limits<double>::infinity();
    double quietRms = 0;
};

// Fixed levels, for a take not scanned first: full scale 32767/32768 for an integer source and
// none otherwise, silence below -60 dBFS, no loud and quiet groups.
TTakeLevels defaultLevels(bool integerSource);

// The first pass: fed the same samples in the same order as the estimator will be, with the same
// segment length. Memory grows by two floats per half segment (8 bytes per 0.68 s at 48 kHz).
class TTakeScan {
public:
    // segmentLength even; fullScale per channel as TChannelLevels::fullScale.
    TTakeScan(int segmentLength, double pickupFullScale, double micFullScale);

    void add(const float* pickup, const float* mic, std::int64_t count, int stride = 1);
    void add(const double* pickup, const double* mic, std::int64_t count, int stride = 1);

    // The levels of everything fed so far. The silence threshold of a channel is 10 dB over its
    // noise floor, but never more than 40 dB under its loudest segment nor less than -100 dBFS.
    TTakeLevels levels() const;

    static constexpr double absoluteSilenceDbfs = -100;

private:
    struct TChannel {
        TChannelLevels found;
        double runMagnitude = -1;
        int run = 0;
        double energy = 0; // of the current half segment
        std::vector<float> halfRms;
        void sample(double v);
        void endRun();
        // n samples at x[j * stride]: those below the peak only add to the energy.
        template <typename T> void block(const T* x, std::int64_t n, int stride);
    };
    TChannel channels[2];
    int hop;
    int filled = 0; // samples in the current half segment
    template <typename T> void addSamples(const T* pickup, const T* mic, std::int64_t count, int stride);
};
