// The level of one channel of a live input, as a recording meter shows it: the peak since the last
// reading, the RMS over the last three whole stretches of 100 ms, the largest peak of the last
// 2 s (peak hold), and a clip light lit for 2 s after a sample reached full scale. All in dBFS
// (full scale 1.0 = 0 dBFS, silence reads floorDb). Time is counted in frames, so the readings
// depend on the samples alone. One thread at a time.
#pragma once

#include <cstdint>
#include <string>

struct TLevelReading {
    double peakDb = -120;
    double rmsDb = -120;
    double holdDb = -120;
    bool clip = false;
};

class TLevelMeter {
public:
    static constexpr double lowDb = -40;
    static constexpr double farDb = 9;
    static constexpr double targetDb = -18;
    static constexpr double floorDb = -120;
    static constexpr double stretchSeconds = 0.1;
    static constexpr int stretches = 3;
    static constexpr double holdSeconds = 2;
    // A sample at or beyond this reached full scale (the largest positive 16-bit value).
    static constexpr float fullScale = 32767.0f / 32768.0f;

    explicit TLevelMeter(int rate);

    // Adds `frames` samples of one channel, `stride` values apart.
    void add(const float* samples, int stride, std::int64_t frames);
    // The reading now; the next reading's peak starts afresh.
    TLevelReading take();
    void reset();

private:
    std::int64_t stretchFrames;
    std::int64_t holdFrames;
    double sum = 0;              // squares of the stretch being filled
    std::int64_t inStretch = 0;  // its frames
    double sums[stretches] = {}; // squares of the last whole stretches
    int newest = 0;
    float peak = 0;
    float hold = 0;
    std::int64_t holdLeft = 0;
    std::int64_t clipLeft = 0;
};

// 20 log10(amplitude), floorDb for amplitudes at or below its level.
double amplitudeDb(double amplitude);

// The line under the meters: "no signal on the pickup's channel" (or the mic's) for silence; empty
// when the pickup's and the mic's RMS (dBFS) are both above
// lowDb and within farDb of each other; otherwise which gain to raise and by about how many dB
// ("raise the mic's gain by about 12 dB"): a level below lowDb up to targetDb, else the lower
// level up to the other.
std::string levelGuidance(double pickupRmsDb, double micRmsDb);
