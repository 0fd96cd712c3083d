// Exporting the stored filters as a WAVE impulse response for loaders (pedals, multi-effects
// units, plug-ins): one channel mono or both as a stereo file, shaped by shapeImpulseResponse,
// normalised, written through writeFileSafely.
#pragma once

#include "dsp/IrShaping.h"
#include "io/FileResult.h"
#include "io/IrWaveFile.h"

#include <string>
#include <vector>

class TAnalyzer;

enum class TIrChannels { left, right, both };

struct TIrExportSettings {
    TIrChannels channels = TIrChannels::left;
    TIrShape shape; // 2048 samples, the filter's own rate, minimum phase
    TIrFormat format = TIrFormat::pcm24;
    bool normalise = true;  // false: the filter's own level
    double peakDbfs = -1.0; // the peak (of both channels together) when normalising, dBFS, <= 0
};

struct TIrExportResult {
    TFileResult file;
    int rate = 0; // Hz, of the file
    // "Wrote body-left-48k-2048.wav: 2048 samples, 48 kHz, 24-bit, minimum phase" when written.
    std::string summary;
};

// The responses that exportImpulseResponse writes (one per channel, full scale 1.0) and their rate,
// or a failure naming `path` and the reason: a channel never stored (channelFs 0), one holding
// values that are not numbers, one that is silent, or (integer formats, not normalised) a peak the
// format cannot hold. The rate is the settings' or, when 0, the filter's own (with both, the Left's;
// the Right is then resampled to it where it was made at another).
TFileResult makeIrChannels(const TAnalyzer& a, const TIrExportSettings& settings, const std::string& path,
                           std::vector<std::vector<double>>& channels, int& rate);

// Makes the channels and writes them at `path`; on failure the file there is left as it was.
TIrExportResult exportImpulseResponse(const TAnalyzer& a, const TIrExportSettings& settings,
                                      const std::string& path);

// "2048 samples, 48 kHz, 24-bit, minimum phase" ("44.1 kHz", "32-bit float", "as designed").
std::string irDescription(const TIrExportSettings& settings, int rate);
// A file name for the settings, e.g. "body-left-48k-2048.wav" for stem "body" ("44.1k", "both").
std::string irFileName(const std::string& stem, const TIrExportSettings& settings, int rate);
