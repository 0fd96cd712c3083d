// Speed of drawing on real QImages: the analysis plot with its three curves, and one waveform strip.
// The curves come from the analysis of the example pair (examples/).
#include "BenchApp.h"
#include "BenchExamples.h"
#include "dsp/Analyzer.h"
#include "plot/AnalyzerView.h"
#include "plot/Strip.h"
#include "plot_qt/RasterImage.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<TAnalyzer> analyzedExample(benchmark::State& state) {
    auto a = exampleAnalyzer(state);
    a->computeResponses();
    return a;
}

void BM_DrawAnalysisPlot(benchmark::State& state) {
    benchApplication();
    auto a = analyzedExample(state);
    TAnalyzerView view(*a);
    TRasterImage plot(540, 356), strip(1, 1);
    view.drawAnalysis(plot, strip); // fills the curve list and the range
    for (auto _ : state) {
        view.analysisPlot.drawToImage(plot, -1, -1, -1, -1);
        benchmark::DoNotOptimize(plot.image().constBits());
    }
}
BENCHMARK(BM_DrawAnalysisPlot)->Unit(benchmark::kMillisecond);

void BM_DrawStrip(benchmark::State& state) {
    benchApplication();
    auto a = analyzedExample(state);
    TRasterImage strip(8192, 217);
    for (auto _ : state) {
        drawStrip(strip, &a->irData[0].mic, 2, blockLength, 0); // the mic strip
        benchmark::DoNotOptimize(strip.image().constBits());
    }
}
BENCHMARK(BM_DrawStrip)->Unit(benchmark::kMillisecond);

} // namespace
