// Speed of the analysis run on the example pair (examples/), and of its linear-prediction parts.
#include "BenchExamples.h"
#include "dsp/Analyzer.h"
#include "dsp/LinearPrediction.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

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
