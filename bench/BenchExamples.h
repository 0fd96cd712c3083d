// The example mic and pickup pair, loaded into a fresh analyzer that is ready to run.
#pragma once

#include "dsp/Analyzer.h"
#include "io/WaveReader.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

inline std::unique_ptr<TAnalyzer> exampleAnalyzer(benchmark::State& state) {
    auto a = std::make_unique<TAnalyzer>();
    const std::string dir = EXAMPLES_DIR;
    if (!readWave(*a, 0, dir + "/mic.wav").ok || !readWave(*a, 1, dir + "/pickup.wav").ok)
        state.SkipWithError("example WAVE files not found");
    a->analysisReady = true;
    return a;
}
