// Speed of the window's two most frequent reactions, with the example pair (examples/) loaded:
// a move of a pickup-model track bar and a change notification of code 1 (with nothing changed,
// and with the mic's delay changed). What is timed is the work up to the pixels in the images;
// the widgets' repaints are left to the event loop, which does not run here.
#include "BenchApp.h"
#include "app/Tvk.h"
#include "controls/NotifyEvent.h"
#include "dsp/Analyzer.h"
#include "plot_qt/ImageWidget.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The window with the example pair loaded and analysed. A warning (an unreadable example) ends
// the benchmark instead of waiting in a message box.
std::unique_ptr<TTvkMain> exampleWindow(benchmark::State& state) {
    benchApplication();
    auto window = std::make_unique<TTvkMain>();
    bool warned = false;
    window->showWarning = [&warned](const QString&, const QString&) { warned = true; };
    window->loadWaveFile(0, QStringLiteral(EXAMPLES_DIR "/mic.wav"));
    window->loadWaveFile(1, QStringLiteral(EXAMPLES_DIR "/pickup.wav"));
    window->showWarning = [&state](const QString&, const QString& text) {
        state.SkipWithError(text.toStdString().c_str());
    };
    if (warned || window->analyzer->irData[100].pickup == 0.0)
        state.SkipWithError("example WAVE files not loaded");
    return window;
}

// Ends painting on an image, so every drawing call has reached its pixels.
const uchar* pixels(TImageWidget* image) {
    return image->raster().image().constBits();
}

// The same for all five images a change notification redraws.
void allPixels(TTvkMain& window) {
    for (TImageWidget* image : {window.ImageTimeDomainL, window.ImageTimeDomainR, window.ImageFreqDomain1,
                                window.ImageTimeDomainI, window.ImageFreqDomain2})
        benchmark::DoNotOptimize(pixels(image));
}

void BM_TrackBarChange(benchmark::State& state) {
    auto window = exampleWindow(state);
    for (auto _ : state) {
        window->betaTrackBarChange(); // analysis, analysis plot, filter strip
        benchmark::DoNotOptimize(pixels(window->ImageFreqDomain1));
        benchmark::DoNotOptimize(pixels(window->ImageTimeDomainI));
    }
}
BENCHMARK(BM_TrackBarChange)->Unit(benchmark::kMillisecond);

void BM_ParamChanged(benchmark::State& state) {
    auto window = exampleWindow(state);
    for (auto _ : state) {
        // Pickup re-read, both strips, analysis, analysis plot, filter strip, summary plot.
        sendNotify(window.get(), paramChangedMessage, 1, 0);
        allPixels(*window);
    }
}
BENCHMARK(BM_ParamChanged)->Unit(benchmark::kMillisecond);

// The same with the mic's delay moving by 25 samples each time, so that the mic strip, the
// analysis and every curve change.
void BM_ParamChangedDelayMoves(benchmark::State& state) {
    auto window = exampleWindow(state);
    int step = 0;
    for (auto _ : state) {
        window->analyzer->delayMic = 25.0 * (++step % 2);
        sendNotify(window.get(), paramChangedMessage, 1, 0);
        allPixels(*window);
    }
}
BENCHMARK(BM_ParamChangedDelayMoves)->Unit(benchmark::kMillisecond);

} // namespace
