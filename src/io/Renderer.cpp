#include "io/Renderer.h"

#include "base/CFormat.h"
#include "dsp/Analyzer.h"
#include "dsp/Convolver.h"
#include "io/RecordingReader.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

TRenderFilters TRenderFilters::fromAnalyzer(const TAnalyzer& a) {
    TRenderFilters f;
    for (int c = 0; c < channelCount; ++c) {
        f.ir[c] = a.channels[c].filterIr;
        f.set[c] = std::any_of(f.ir[c].begin(), f.ir[c].end(), [](double v) { return v != 0.0; });
        f.rate[c] = a.channelFs[c] != 0 ? a.channelFs[c] : a.fs;
    }
    return f;
}

TFileResult TMemorySink::begin(int sampleRate, std::int64_t frames) {
    rate = sampleRate;
    input.clear();
    stereo.clear();
    input.reserve(static_cast<size_t>(frames));
    stereo.reserve(2 * static_cast<size_t>(frames));
    return {};
}

TFileResult TMemorySink::write(const float* in, const float* out, int frames) {
    input.insert(input.end(), in, in + frames);
    stereo.insert(stereo.end(), out, out + 2 * static_cast<size_t>(frames));
    return {};
}

void TMemorySink::abandon() {
    input = {};
    stereo = {};
}

namespace {

// Sum of x[i]^2 in double, and largest |x[i]|, over n values: in independent lanes, so the loops
// run at the speed of the loads rather than of one long chain of additions.
constexpr int lanes = 8;

double sumOfSquares(const float* x, int n) {
    std::array<double, lanes> s{};
    int i = 0;
    for (; i + lanes <= n; i += lanes)
        for (int j = 0; j < lanes; ++j)
            s[j] += static_cast<double>(x[i + j]) * x[i + j];
    for (; i < n; ++i)
        s[0] += static_cast<double>(x[i]) * x[i];
    return std::accumulate(s.begin(), s.end(), 0.0);
}

float peakOf(const float* x, int n) {
    std::array<float, lanes> m{};
    int i = 0;
    for (; i + lanes <= n; i += lanes)
        for (int j = 0; j < lanes; ++j)
            m[j] = std::max(m[j], std::abs(x[i + j]));
    for (; i < n; ++i)
        m[0] = std::max(m[0], std::abs(x[i]));
    return *std::max_element(m.begin(), m.end());
}

// Frames read from the recording at a time: bounded in bytes whatever its channel count.
int framesPerRead(int channels) {
    return std::max(1, std::min(8192, (1 << 18) / channels));
}

bool cancelled(const TRenderOptions& options, TRenderResult& result) {
    result.cancelled = options.cancel && options.cancel();
    return result.cancelled;
}

TFileResult cancelError(const std::string& path) {
    return fileError("Rendering \"" + path + "\" was cancelled");
}

// The rendering proper; on failure returns the reason, and the caller abandons the sink.
class TRenderRun {
public:
    TRenderRun(const TRenderFilters& filters, TRenderSink& sink, TRenderResult& result)
        : convolver(std::span<const double>(filters.ir[0].data(), filters.set[0] ? blockLength : 0),
                    std::span<const double>(filters.ir[1].data(), filters.set[1] ? blockLength : 0)),
          sink(sink), result(result), hopInput(TConvolver::hop) {}

    // Renders the `total` frames of the open recording.
    TFileResult run(TRecordingReader& reader, std::int64_t total, const std::string& path,
                    const TRenderOptions& options) {
        const int channels = reader.info().channels;
        const int channel = options.channel - 1;
        const int chunk = framesPerRead(channels);
        std::vector<float> block(static_cast<size_t>(chunk) * channels);
        std::int64_t done = 0;
        while (done < total) {
            if (cancelled(options, result))
                return cancelError(path);
            const std::int64_t n = reader.read(block.data(), std::min<std::int64_t>(chunk, total - done));
            if (n < 0)
                return fileError(reader.lastError());
            if (n == 0)
                return fileError("Cannot read \"" + path + "\": it ends after " + std::to_string(done) +
                                 " of its " + std::to_string(total) + " frames");
            for (int i = 0; i < n;) {
                const int take = std::min(static_cast<int>(n) - i, TConvolver::hop - hopFrames);
                float* to = hopInput.data() + hopFrames;
                const float* from = block.data() + static_cast<size_t>(i) * channels + channel;
                for (int k = 0; k < take; ++k) {
                    to[k] = from[static_cast<size_t>(k) * channels];
                    // Only the rendered channel is judged: a NaN elsewhere does not matter here.
                    if (!std::isfinite(to[k]))
                        return fileError(reader.nonFiniteMessage(done + i + k + 1));
                }
                inputSquares += sumOfSquares(to, take);
                hopFrames += take;
                i += take;
                if (hopFrames == TConvolver::hop && !flushHop(false))
                    return writeError;
            }
            done += n;
            if (options.progress)
                options.progress(static_cast<double>(done) / static_cast<double>(total));
        }
        if (!flushHop(true))
            return writeError;
        result.frames = total;
        const double count = static_cast<double>(std::max<std::int64_t>(total, 1));
        result.inputRms = std::sqrt(inputSquares / count);
        result.outputRms = std::sqrt(outputSquares / (2 * count));
        return {};
    }

private:
    // Hands the collected input to the convolver, whose output (exactly those frames, since each
    // hop starts empty) goes to the sink with the input beside it.
    bool flushHop(bool last) {
        const auto output = [this](const float* stereo, int frames) {
            outputSquares += sumOfSquares(stereo, 2 * frames);
            result.peak = std::max(result.peak, static_cast<double>(peakOf(stereo, 2 * frames)));
            if (writeError.ok)
                writeError = sink.write(hopInput.data() + emitted, stereo, frames);
            emitted += frames;
        };
        emitted = 0;
        convolver.push(hopInput.data(), hopFrames, output);
        if (last)
            convolver.finish(output);
        hopFrames = 0;
        return writeError.ok;
    }

    TConvolver convolver;
    TRenderSink& sink;
    TRenderResult& result;
    std::vector<float> hopInput; // the input of the hop being collected
    int hopFrames = 0;
    int emitted = 0;
    double inputSquares = 0;
    double outputSquares = 0;
    TFileResult writeError;
};

// The frames of a recording that does not say how long it is (a FLAC stream written to a pipe
// declares 0, which libsndfile reports as SF_COUNT_MAX): read to its end, then rewound.
TFileResult countFrames(TRecordingReader& reader, const std::string& path, const TRenderOptions& options,
                        TRenderResult& result, std::int64_t& frames) {
    const int channels = reader.info().channels;
    const int chunk = framesPerRead(channels);
    std::vector<float> block(static_cast<size_t>(chunk) * channels);
    frames = 0;
    for (std::int64_t n = 1; n > 0; frames += n) {
        if (cancelled(options, result))
            return cancelError(path);
        n = reader.read(block.data(), chunk);
        if (n < 0)
            return fileError(reader.lastError());
    }
    if (!reader.rewind())
        return fileError("Cannot read \"" + path + "\": it cannot be read from its start again");
    return {};
}

// Opens the input and checks its channel.
TFileResult openInput(TRecordingReader& reader, const std::string& path, int channel) {
    TFileResult r = reader.open(path);
    if (!r.ok) {
        r.cannotOpen = false; // the message is always shown
        return r;
    }
    const int channels = reader.info().channels;
    if (channel < 1 || channel > channels)
        return fileError("Cannot read \"" + path + "\": it has no channel " + std::to_string(channel) +
                         " (it has " + std::to_string(channels) + ")");
    return r;
}

} // namespace

std::string rateMismatchNote(const TRenderResult& r, const std::string& name) {
    if (r.filterRate == 0)
        return {};
    const double shift = 100.0 * (static_cast<double>(r.rate) / r.filterRate - 1.0);
    char percent[40];
    formatC(percent, sizeof percent, "%.1f", std::abs(shift));
    return "\"" + name + "\" is at " + std::to_string(r.rate) + " Hz but the filters were made at " +
           std::to_string(r.filterRate) + " Hz, the rate the device plays them at: this rendering puts " +
           "every resonance " + percent + " % " + (shift > 0 ? "higher" : "lower");
}

TFileResult checkRenderInput(const std::string& inputPath, int channel) {
    TRecordingReader reader;
    return openInput(reader, inputPath, channel);
}

TRenderResult renderRecording(const TRenderFilters& filters, const std::string& inputPath, TRenderSink& sink,
                              const TRenderOptions& options) {
    TRenderResult result;
    result.channelSet = filters.set;
    result.peakDbfs = -std::numeric_limits<double>::infinity();
    TRecordingReader reader;
    if (TFileResult r = openInput(reader, inputPath, options.channel); !r.ok) {
        result.file = r;
        return result;
    }
    const TRecordingInfo& info = reader.info();
    result.rate = info.rate;
    for (int c = 0; c < channelCount; ++c)
        if (filters.set[c] && filters.rate[c] > 0 && filters.rate[c] != info.rate)
            result.filterRate = filters.rate[c];
    std::int64_t frames = info.frames;
    if (frames == SF_COUNT_MAX) {
        if (TFileResult r = countFrames(reader, inputPath, options, result, frames); !r.ok) {
            result.file = r;
            return result;
        }
    }
    if (TFileResult r = sink.begin(info.rate, frames); !r.ok) {
        sink.abandon();
        result.file = r;
        return result;
    }
    auto run = std::make_unique<TRenderRun>(filters, sink, result);
    if (TFileResult r = run->run(reader, frames, inputPath, options); !r.ok) {
        sink.abandon();
        result.file = r;
        return result;
    }
    if (TFileResult r = sink.commit(); !r.ok) {
        sink.abandon();
        result.file = r;
        return result;
    }
    if (result.peak > 0)
        result.peakDbfs = 20 * std::log10(result.peak);
    if (options.progress)
        options.progress(1.0);
    return result;
}

TRenderResult renderToWave(const TRenderFilters& filters, const std::string& inputPath,
                           const std::string& outputPath, const TRenderOptions& options) {
    TWaveFileSink sink(outputPath);
    return renderRecording(filters, inputPath, sink, options);
}
