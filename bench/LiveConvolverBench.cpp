// Speed of live monitoring: one 128-frame block of mono input through a pair of 8192-tap filters
// into stereo, and the same block while a new filter pair is faded in (twice the filtering).
#include "dsp/LiveConvolver.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<double> benchTaps(unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> d(0.0, 0.05);
    std::vector<double> taps(TLiveConvolver::maxTaps);
    for (int k = 0; k < TLiveConvolver::maxTaps; ++k)
        taps[k] = d(gen) * std::exp(-k / 1500.0);
    return taps;
}

void runBlocks(benchmark::State& state, bool fading) {
    const std::vector<double> left = benchTaps(1), right = benchTaps(2);
    TLiveConvolver c(left, right);
    std::vector<float> in(TLiveConvolver::blockFrames), out(2 * TLiveConvolver::blockFrames);
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    for (float& v : in)
        v = d(gen);
    for (auto _ : state) {
        if (fading && !c.changing()) {
            state.PauseTiming();
            c.stage(right, left);
            state.ResumeTiming();
        }
        c.process(in.data(), out.data(), TLiveConvolver::blockFrames);
        benchmark::DoNotOptimize(out[0]);
    }
}

void BM_LiveConvolutionBlock(benchmark::State& state) {
    runBlocks(state, false);
}
BENCHMARK(BM_LiveConvolutionBlock);

void BM_LiveConvolutionBlockFading(benchmark::State& state) {
    runBlocks(state, true);
}
BENCHMARK(BM_LiveConvolutionBlockFading);

} // namespace
