// Speed of rendering a minute of 48 kHz mono (24-bit WAVE) through two 8192-tap filters: reading,
// convolution and levels into a sink that keeps nothing (the compute), the whole way into a float
// WAVE on disk through the safe writer (with its flush to disk), and that per second of audio, in
// this process and as a whole run of the batch tool.
#include "io/Renderer.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int rate = 48000;
constexpr int seconds = 60;

// A folder of this run with the minute of input, removed at exit.
const std::string& benchFolder() {
    static const std::string folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "render-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        std::atexit([] { std::filesystem::remove_all(benchFolder()); });
        std::vector<float> x(static_cast<size_t>(rate) * seconds);
        std::mt19937 gen(1);
        std::normal_distribution<float> d(0.0f, 0.1f);
        for (float& v : x)
            v = d(gen);
        SF_INFO info{};
        info.channels = 1;
        info.samplerate = rate;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        SNDFILE* f = sf_open((tmpl + "/in.wav").c_str(), SFM_WRITE, &info);
        if (!f)
            std::abort();
        sf_writef_float(f, x.data(), static_cast<sf_count_t>(x.size()));
        sf_close(f);
        return tmpl;
    }();
    return folder;
}

TRenderFilters benchFilters() {
    TRenderFilters f;
    std::mt19937 gen(2);
    std::normal_distribution<double> d(0.0, 0.05);
    for (int c = 0; c < channelCount; ++c) {
        for (int k = 0; k < blockLength; ++k)
            f.ir[c][k] = d(gen) * std::exp(-k / 1500.0);
        f.set[c] = true;
    }
    return f;
}

class TDiscardSink : public TRenderSink {
public:
    TFileResult begin(int, std::int64_t) override { return {}; }
    TFileResult write(const float*, const float* stereo, int) override {
        benchmark::DoNotOptimize(stereo[0]);
        return {};
    }
    TFileResult commit() override { return {}; }
    void abandon() override {}
};

void BM_Render60s(benchmark::State& state) {
    const std::string in = benchFolder() + "/in.wav";
    const TRenderFilters filters = benchFilters();
    TDiscardSink sink;
    for (auto _ : state) {
        const TRenderResult r = renderRecording(filters, in, sink);
        if (!r.file.ok)
            state.SkipWithError(r.file.message.c_str());
        benchmark::DoNotOptimize(r.peak);
    }
}
BENCHMARK(BM_Render60s)->Unit(benchmark::kMillisecond);

void BM_Render60sToWave(benchmark::State& state) {
    const std::string in = benchFolder() + "/in.wav";
    const std::string out = benchFolder() + "/out.wav";
    const TRenderFilters filters = benchFilters();
    for (auto _ : state) {
        const TRenderResult r = renderToWave(filters, in, out);
        if (!r.file.ok)
            state.SkipWithError(r.file.message.c_str());
    }
}
BENCHMARK(BM_Render60sToWave)->Unit(benchmark::kMillisecond);

// The time per second of audio: the minute into a float WAVE, in this process and as a whole run
// of the batch tool (start, the analysis of the example pair, reading, rendering, writing).
void renderPerAudioSecond(benchmark::State& state, bool process) {
    const std::string in = benchFolder() + "/in.wav";
    const std::string out = benchFolder() + "/out.wav";
    const TRenderFilters filters = benchFilters();
    const std::string command = "'" BODY_ANALYZER_CLI "' --mic '" EXAMPLES_DIR
                                "/mic.wav' --pickup '" EXAMPLES_DIR "/pickup.wav' --render '" +
                                in + "' '" + out + "' 2>/dev/null";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (process ? std::system(command.c_str()) != 0 : !renderToWave(filters, in, out).file.ok)
            state.SkipWithError("the rendering failed");
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / seconds);
    }
}

void BM_RenderPerAudioSecond(benchmark::State& state) {
    renderPerAudioSecond(state, false);
}
// A fixed count of runs: the time reported is a sixtieth of each, so the usual half second of
// reported time would take half a minute.
BENCHMARK(BM_RenderPerAudioSecond)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_RenderProcessPerAudioSecond(benchmark::State& state) {
    renderPerAudioSecond(state, true);
}
BENCHMARK(BM_RenderProcessPerAudioSecond)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace
