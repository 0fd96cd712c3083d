// Rendering a recording through the left and right correction filters: one input channel in,
// a stereo signal out, streamed block by block so that memory stays bounded (a few MB) whatever
// the recording's length. Qt-free and thread-agnostic: the caller may run it on any thread; it
// reports progress and asks whether to stop through callbacks, on the thread it runs on.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "io/FileResult.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TAnalyzer;

// The two filters a rendering uses, copied out of the analyzer, so a rendering on another thread
// never reads the analyzer while the window changes it.
struct TRenderFilters {
    std::array<std::array<double, blockLength>, channelCount> ir{}; // [0] left, [1] right
    // A channel is set when its filter has a tap that is not zero. A channel never stored (all
    // zero, as after start-up) renders silence, and the user is told.
    std::array<bool, channelCount> set{};
    // Hz, the rate each filter was made at, which is the rate the device plays it at (0: unknown).
    std::array<int, channelCount> rate{};

    // channels[0].filterIr and channels[1].filterIr, the filters "Left" and "Right" stored, with
    // the rate each was stored at (the analyzer's rate for one stored before that was kept).
    static TRenderFilters fromAnalyzer(const TAnalyzer& a);
};

// Where rendered frames go. Called in this order: begin once, write any number of times, then
// commit on success or abandon on failure or cancel (abandon may also follow a failed begin).
class TRenderSink {
public:
    TRenderSink() = default;
    virtual ~TRenderSink() = default;
    // A sink is one destination part-way through a rendering: never copied.
    TRenderSink(const TRenderSink&) = delete;
    TRenderSink& operator=(const TRenderSink&) = delete;
    // rate: Hz, the input's; frames: the number of frames that will be written in all.
    virtual TFileResult begin(int rate, std::int64_t frames) = 0;
    // input: `frames` samples of the rendered input channel, as read (full scale 1.0);
    // stereo: the same `frames` frames rendered, interleaved (left, right), not clipped.
    virtual TFileResult write(const float* input, const float* stereo, int frames) = 0;
    virtual TFileResult commit() = 0;
    virtual void abandon() = 0;
};

// Writes a 32-bit float stereo WAVE (WAVE_FORMAT_IEEE_FLOAT, "fmt " + "fact" + "data") at the
// input's rate through TSafeFileWriter: nothing appears at `path` before commit, and a failure or
// abandon leaves a previous file there as it was. An output whose data passes 4 GB is written as
// RF64 (a "ds64" chunk holds the sizes).
class TWaveFileSink : public TRenderSink {
public:
    explicit TWaveFileSink(std::string path);
    ~TWaveFileSink() override;
    TFileResult begin(int rate, std::int64_t frames) override;
    TFileResult write(const float* input, const float* stereo, int frames) override;
    TFileResult commit() override;
    void abandon() override;

private:
    struct TState;
    std::string path;
    std::unique_ptr<TState> state; // between begin and commit or abandon
};

// Keeps everything in memory: frames * 3 floats (10 minutes at 48 kHz: about 350 MB), for short
// recordings and tests. Rendering into a file and playing from it needs no such buffer.
class TMemorySink : public TRenderSink {
public:
    int rate = 0;
    std::vector<float> input;  // the input channel as read
    std::vector<float> stereo; // interleaved left, right
    TFileResult begin(int rate, std::int64_t frames) override;
    TFileResult write(const float* input, const float* stereo, int frames) override;
    TFileResult commit() override { return {}; }
    void abandon() override;
};

// The header of the float stereo WAVE TWaveFileSink writes (RIFF up to 4 GB of data, RF64 above).
std::string floatWaveHeader(int rate, std::int64_t frames);

struct TRenderOptions {
    int channel = 1; // input channel, 1-based; one the recording lacks is refused
    // Called now and then with the fraction done, 0 .. 1 (1 once at the end).
    std::function<void(double fraction)> progress;
    // Asked between blocks; true stops the rendering, which then abandons the sink.
    std::function<bool()> cancel;
};

struct TRenderResult {
    // ok, or the message naming the file (input or output) and the reason.
    TFileResult file;
    bool cancelled = false;  // stopped by the cancel callback (then file.ok is false)
    std::int64_t frames = 0; // frames rendered: the input's frame count
    int rate = 0;            // Hz
    double peak = 0;         // largest magnitude of the output, either side; 1.0 = full scale
    double peakDbfs = 0;     // 20 log10(peak); -infinity for silence
    double inputRms = 0;     // RMS of the input channel over the whole recording
    double outputRms = 0;    // RMS of the output over the whole recording, both sides together
    // false: that side's filter was never set and the side is silent (tell the user).
    std::array<bool, channelCount> channelSet{};
    // Hz, the rate of a filter that is set and was made at another rate than the recording's, so
    // the rendering does not sound as the device will (tell the user); 0 when there is none.
    int filterRate = 0;
    bool overFullScale() const { return peak > 1.0; }
};

// The warning for a result with a filterRate, naming the recording (`name`) and both rates; empty
// when filterRate is 0.
std::string rateMismatchNote(const TRenderResult& r, const std::string& name);

// Checks that `inputPath` opens as a recording and has channel `channel` (1-based), without
// rendering anything: the same messages as renderRecording's for an unusable input.
TFileResult checkRenderInput(const std::string& inputPath, int channel);

// Renders `inputPath` (any encoding libsndfile reads) through `filters` into `sink`: output frame
// n of each side is sum over k of ir[k] * input[n - k], exactly as many frames as the input, at
// its rate. A recording that does not say its length (SF_COUNT_MAX frames) is read through once to
// count them first. On an unreadable input, a missing channel, a sink failure or a cancel the sink
// is abandoned and the result says why.
TRenderResult renderRecording(const TRenderFilters& filters, const std::string& inputPath, TRenderSink& sink,
                              const TRenderOptions& options = {});

// The same into a float WAVE file at `outputPath` (see TWaveFileSink).
TRenderResult renderToWave(const TRenderFilters& filters, const std::string& inputPath,
                           const std::string& outputPath, const TRenderOptions& options = {});
