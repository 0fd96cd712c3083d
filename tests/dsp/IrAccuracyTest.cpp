// The exported impulse response against the full filter it comes from, on the example pair and on
// a filter learned from a synthetic take: 1/3-octave magnitude, energy at the start, other rates.
#include "dsp/Analyzer.h"
#include "dsp/RealFFT.h"
#include "io/IrExport.h"
#include "io/SyntheticTake.h"
#include "io/TakeLearning.h"
#include "io/WaveReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

// 10 log10 of the mean power of `ir` over [f 2^-1/6, f 2^1/6] at 1/24-octave points f from `fromHz`
// to 10 kHz.
std::vector<double> thirdOctaveDb(std::span<const double> ir, int rate, double fromHz) {
    const int n = 1 << 18;
    TRealFFT fft(n);
    std::fill(fft.real(), fft.real() + n, 0.0);
    std::copy(ir.begin(), ir.end(), fft.real());
    fft.forward();
    std::vector<double> out;
    for (double f = fromHz; f <= 10000.01; f *= std::pow(2, 1.0 / 24)) {
        const int lo = static_cast<int>(std::ceil(f * std::pow(2, -1.0 / 6) * n / rate));
        const int hi = static_cast<int>(std::floor(f * std::pow(2, 1.0 / 6) * n / rate));
        double sum = 0;
        for (const Complex* z = fft.spectrum() + lo; z <= fft.spectrum() + hi; ++z)
            sum += z->re * z->re + z->im * z->im;
        out.push_back(10 * std::log10(sum / (hi - lo + 1) + 1e-300));
    }
    return out;
}

std::unique_ptr<TAnalyzer> examplePair() {
    auto a = std::make_unique<TAnalyzer>();
    const std::string dir = std::getenv("EXAMPLES_DIR");
    EXPECT_TRUE(readWave(*a, 0, dir + "/mic.wav").ok && readWave(*a, 1, dir + "/pickup.wav").ok);
    a->delayMic = 37;
    return a;
}

// The pair learned from 20 s of synthetic playing through the example responses.
std::unique_ptr<TAnalyzer> learnedPair() {
    auto truth = examplePair();
    std::array<double, blockLength> mic{}, pickup{};
    for (int i = 0; i < blockLength; ++i)
        std::tie(mic[i], pickup[i]) = std::pair(truth->irData[i].mic, truth->irData[i].pickup);
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

class IrAccuracy : public ::testing::TestWithParam<std::unique_ptr<TAnalyzer> (*)()> {};

TEST_P(IrAccuracy, ShortMinimumPhaseKeepsTheFilterAtItsOwnRateAndAnother) {
    std::unique_ptr<TAnalyzer> a = GetParam()();
    a->analysisReady = true;
    a->computeResponses();
    a->setChannel(0);
    struct TLimit {
        int length, rate;
        double fromHz, median, p95;
    };
    for (const TLimit& l : {TLimit{2048, 0, 100, 0.3, 2}, TLimit{1024, 0, 150, 0.5, 3},
                            TLimit{2048, 48000, 100, 0.3, 2}, TLimit{1024, 48000, 150, 0.5, 3}}) {
        TIrExportSettings s;
        s.shape = {l.length, l.rate, TIrPhase::minimum};
        s.normalise = false; // the filter's own level, to compare with
        std::vector<std::vector<double>> ir;
        int rate = 0;
        ASSERT_TRUE(makeIrChannels(*a, s, "x.wav", ir, rate).ok);
        const std::vector<double> want = thirdOctaveDb(a->filterIr, 44100, l.fromHz);
        const std::vector<double> got = thirdOctaveDb(ir[0], rate, l.fromHz);
        std::vector<double> d;
        for (std::size_t i = 0; i < want.size(); ++i)
            d.push_back(std::abs(got[i] - want[i]));
        std::sort(d.begin(), d.end());
        double early = 0, total = 0;
        for (int i = 0; i < l.length; ++i)
            (i < rate / 200 ? early : total) += ir[0][i] * ir[0][i];
        early /= early + total;
        const double median = d[d.size() / 2], p95 = d[std::lround(0.95 * (d.size() - 1))];
        std::printf("%d samples at %d Hz from %g Hz: median %.3f dB, p95 %.3f dB, first 5 ms %.1f %%\n",
                    l.length, rate, l.fromHz, median, p95, 100 * early);
        EXPECT_LE(median, l.median);
        EXPECT_LE(p95, l.p95);
        EXPECT_GE(early, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Filters, IrAccuracy, ::testing::Values(examplePair, learnedPair),
                         [](const auto& info) { return info.index == 0 ? "ExamplePair" : "LearnedTake"; });

} // namespace
