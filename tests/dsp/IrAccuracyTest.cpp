// The exported impulse response against the full filter it comes from, on the example pair and on
// a filter learned from a synthetic take: 1/3-octave magnitude, energy at the start, other rates.
#include "dsp/IrAccuracy.h"
#include "dsp/Analyzer.h"
#include "io/IrExport.h"
#include "io/SyntheticTake.h"
#include "io/TakeLearning.h"
#include "io/WaveReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

std::string example(const char* name) {
    return std::string(std::getenv("EXAMPLES_DIR")) + "/" + name;
}

// Both channels hold the analysis of the example pair (mic delay 37, the window's defaults).
std::unique_ptr<TAnalyzer> examplePair() {
    auto a = std::make_unique<TAnalyzer>();
    EXPECT_TRUE(readWave(*a, 0, example("mic.wav")).ok);
    EXPECT_TRUE(readWave(*a, 1, example("pickup.wav")).ok);
    a->delayMic = 37;
    return a;
}

// The pair learned from 20 s of synthetic playing through the example responses.
std::unique_ptr<TAnalyzer> learnedPair() {
    auto truth = examplePair();
    std::array<double, blockLength> mic{}, pickup{};
    for (int i = 0; i < blockLength; ++i) {
        mic[i] = truth->irData[i].mic;
        pickup[i] = truth->irData[i].pickup;
    }
    const synthetic_take::TTake take = synthetic_take::makeTake(44100, 20, pickup, mic);
    TTakeSource source;
    source.take = ::testing::TempDir() + "ir-take-" + std::to_string(::getpid()) + ".wav";
    EXPECT_TRUE(synthetic_take::writeSound(source.take, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100,
                                           {&take.pickup, &take.mic}));
    TLearnedTake learned;
    EXPECT_TRUE(learnTake(source, learned).ok);
    std::remove(source.take.c_str());
    auto a = std::make_unique<TAnalyzer>();
    applyLearnedTake(learned, *a);
    return a;
}

struct TCase {
    const char* name;
    std::unique_ptr<TAnalyzer> (*make)();
};

class IrAccuracy : public ::testing::TestWithParam<TCase> {};

TEST_P(IrAccuracy, ShortMinimumPhaseKeepsTheFilterAtItsOwnRateAndAnother) {
    std::unique_ptr<TAnalyzer> a = GetParam().make();
    a->analysisReady = true;
    a->computeResponses();
    a->setChannel(0);
    const std::vector<double> full(a->filterIr.begin(), a->filterIr.end());
    struct TLimit {
        int length, rate;
        double fromHz, median, p95;
    };
    for (const TLimit& l : {TLimit{2048, 0, 100, 0.3, 2}, TLimit{1024, 0, 150, 0.5, 3},
                            TLimit{2048, 48000, 100, 0.3, 2}, TLimit{1024, 48000, 150, 0.5, 3}}) {
        TIrExportSettings s;
        s.shape = {l.length, l.rate, TIrPhase::minimum};
        s.format = TIrFormat::float32;
        s.normalise = false; // the filter's own level, to compare with
        std::vector<std::vector<double>> ir;
        int rate = 0;
        ASSERT_TRUE(makeIrChannels(*a, s, "x.wav", ir, rate).ok);
        const ir_accuracy::TFigures f = ir_accuracy::compare(full, 44100, ir[0], rate, l.fromHz);
        const double early = ir_accuracy::earlyEnergy(ir[0], rate / 200);
        std::printf("%s, %d samples at %d Hz from %g Hz: median %.3f dB, p95 %.3f dB, first 5 ms %.1f %%\n",
                    GetParam().name, l.length, rate, l.fromHz, f.medianDb, f.p95Db, 100 * early);
        EXPECT_LE(f.medianDb, l.median);
        EXPECT_LE(f.p95Db, l.p95);
        EXPECT_GE(early, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Filters, IrAccuracy,
                         ::testing::Values(TCase{"example pair", examplePair},
                                           TCase{"learned take", learnedPair}),
                         [](const auto& info) { return info.index == 0 ? "ExamplePair" : "LearnedTake"; });

} // namespace
