#include "io/Renderer.h"

#include "dsp/Analyzer.h"
#include "dsp/Convolver.h"
#include "io/RecordingReader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

TRenderFilters TRenderFilters::fromAnalyzer(const TAnalyzer& a) {
    TRenderFilters f;
    for (int c = 0; c < channelCount; ++c) {
        f.ir[c] = a.channels[c].filterIr;
        f.set[c] = std::any_of(f.ir[c].begin(), f.ir[c].end(), [](double v) { return v != 0.0; });
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

// Frames read from the recording at a time: bounded in bytes whatever its channel count.
int framesPerRead(int channels) {
    return std::max(1, std::min(8192, (1 << 18) / channels));
}

// The rendering proper; on failure returns the reason, and the caller abandons the sink.
class TRenderRun {
public:
    TRenderRun(const TRenderFilters& filters, TRenderSink& sink, TRenderResult& result)
        : convolver(std::span<const double>(filters.ir[0].data(), filters.set[0] ? blockLength : 0),
                    std::span<const double>(filters.ir[1].data(), filters.set[1] ? blockLength : 0)),
          sink(sink), result(result), hopInput(TConvolver::hop) {}

    TFileResult run(TRecordingReader& reader, const std::string& path, const TRenderOptions& options) {
        const TRecordingInfo& info = reader.info();
        const int channels = info.channels;
        const int channel = options.channel - 1;
        const std::int64_t total = info.frames;
        const int chunk = framesPerRead(channels);
        std::vector<float> block(static_cast<size_t>(chunk) * channels);
        std::int64_t done = 0;
        while (done < total) {
            if (options.cancel && options.cancel()) {
                result.cancelled = true;
                return fileError("Rendering \"" + path + "\" was cancelled");
            }
            const std::int64_t n = reader.read(block.data(), std::min<std::int64_t>(chunk, total - done));
            if (n < 0)
                return fileError(reader.lastError());
            if (n == 0)
                return fileError("Cannot read \"" + path + "\": it ends after " + std::to_string(done) +
                                 " of its " + std::to_string(total) + " frames");
            for (std::int64_t i = 0; i < n; ++i) {
                const float v = block[static_cast<size_t>(i * channels + channel)];
                // Only the rendered channel is judged: a NaN elsewhere does not matter here.
                if (!std::isfinite(v))
                    return fileError(reader.nonFiniteMessage(done + i + 1));
                inputSquares += static_cast<double>(v) * v;
                hopInput[hopFrames++] = v;
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
            for (int i = 0; i < 2 * frames; ++i) {
                const double v = stereo[i];
                outputSquares += v * v;
                result.peak = std::max(result.peak, std::abs(v));
            }
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
    if (TFileResult r = sink.begin(info.rate, info.frames); !r.ok) {
        sink.abandon();
        result.file = r;
        return result;
    }
    auto run = std::make_unique<TRenderRun>(filters, sink, result);
    if (TFileResult r = run->run(reader, inputPath, options); !r.ok) {
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
