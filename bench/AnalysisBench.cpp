// Speed of the analysis run on the example pair, and of its linear-prediction parts.
#include "dsp/Analyzer.h"
#include "dsp/LinearPrediction.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Minimal reader for the example files (16-bit mono PCM, canonical 44-byte header is not assumed:
// chunks are walked). Stores the first 8192 samples of the data chunk, normalised to a peak of 1.
bool loadExample(TAnalyzer& a, int channel, const std::string& name) {
    const std::string path = std::string(EXAMPLES_DIR) + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<unsigned char> bytes;
    unsigned char buf[4096];
    for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.insert(bytes.end(), buf, buf + got);
    std::fclose(f);
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
               std::uint32_t(bytes[at + 3]) << 24;
    };
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = u32(at + 4);
        if (std::string(bytes.begin() + at, bytes.begin() + at + 4) == "data") {
            const std::size_t count = std::min<std::size_t>(std::min<std::size_t>(size, bytes.size() - at - 8) / 2,
                                                            blockLength);
            double peak = 1e-32;
            for (int i = 0; i < blockLength; ++i) {
                double v = 0;
                if (std::size_t(i) < count) {
                    const std::size_t p = at + 8 + 2 * std::size_t(i);
                    v = std::int16_t(bytes[p] | bytes[p + 1] << 8) / 32768.0;
                }
                (channel == 0 ? a.irData[i].mic : a.irData[i].pickup) = v;
                peak = std::max(peak, std::abs(v));
            }
            for (IrPair& p : a.irData)
                (channel == 0 ? p.mic : p.pickup) /= peak;
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

std::unique_ptr<TAnalyzer> exampleAnalyzer(benchmark::State& state) {
    auto a = std::make_unique<TAnalyzer>();
    if (!loadExample(*a, 0, "mic.wav") || !loadExample(*a, 1, "pickup.wav"))
        state.SkipWithError("example WAVE files not found");
    a->analysisReady = true;
    return a;
}

void BM_ComputeResponses(benchmark::State& state) {
    auto a = exampleAnalyzer(state);
    for (auto _ : state) {
        a->computeResponses();
        benchmark::DoNotOptimize(a->filterDb.data());
    }
}
BENCHMARK(BM_ComputeResponses)->Unit(benchmark::kMillisecond);

void BM_ComputeResponsesClean(benchmark::State& state) {
    auto a = exampleAnalyzer(state);
    a->useMinPhase = true;
    for (auto _ : state) {
        a->computeResponses();
        benchmark::DoNotOptimize(a->filterDb.data());
    }
}
BENCHMARK(BM_ComputeResponsesClean)->Unit(benchmark::kMillisecond);

void BM_Autocorrelate(benchmark::State& state) {
    auto a = exampleAnalyzer(state);
    std::vector<double> x(blockLength), r(maxOrder + 1);
    for (int n = 0; n < blockLength; ++n)
        x[n] = a->irData[n].mic;
    const int order = static_cast<int>(state.range(0));
    for (auto _ : state) {
        autocorrelate(x.data(), order, r.data());
        benchmark::DoNotOptimize(r.data());
    }
}
BENCHMARK(BM_Autocorrelate)->Arg(4)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_AllPoleResponse(benchmark::State& state) {
    auto a = exampleAnalyzer(state);
    std::vector<double> x(blockLength), r(maxOrder + 1), c(maxOrder + 1), h(blockLength);
    for (int n = 0; n < blockLength; ++n)
        x[n] = a->irData[n].mic;
    const int order = static_cast<int>(state.range(0));
    autocorrelate(x.data(), order, r.data());
    levinsonDurbin(r.data(), order, c.data());
    lagWindow(c.data(), order, 0.97);
    for (auto _ : state) {
        allPoleResponse(c.data(), order, h.data());
        benchmark::DoNotOptimize(h.data());
    }
}
BENCHMARK(BM_AllPoleResponse)->Arg(4)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace
