// The analysis of the example pair against stored outputs of an earlier, plainer version of the
// run: faster formulations may change results only by rounding, that is by at most 1e-9 of each
// output's largest magnitude.
//
// The stored outputs are tests/data/reference-analysis/SETTING.f64: the doubles (little endian) of
// micSpectrum, pickupSpectrum, filterSpectrum (re, im per bin), filterIr, micDb, pickupDb and
// filterDb, in that order. Running this binary with REFERENCE_ANALYSIS_WRITE=1 in the environment
// writes them from the current analysis instead of comparing.
#include "dsp/Analyzer.h"
#include "io/WaveReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TSetting {
    const char* name;
    std::function<void(TAnalyzer&)> apply;
};

const TSetting settings[] = {
    {"default", [](TAnalyzer&) {}},
    {"clean", [](TAnalyzer& a) { a.useMinPhase = true; }},
    {"delays",
     [](TAnalyzer& a) {
         a.delayMic = 37.6;
         a.delayPickup = 12;
     }},
    {"gain-trackbars",
     [](TAnalyzer& a) {
         a.gainDb = -7.5;
         a.alpha = 5;
         a.beta = 48;
         a.useMinPhase = true;
     }},
    {"no-pickup",
     [](TAnalyzer& a) {
         a.setUnitImpulse(1);
         a.enablePickup = false;
     }},
};

struct TOutput {
    const char* name;
    std::vector<double> values;
};

std::vector<double> flatten(const Complex* z, int n) {
    std::vector<double> v;
    for (int k = 0; k < n; ++k) {
        v.push_back(z[k].re);
        v.push_back(z[k].im);
    }
    return v;
}

std::vector<TOutput> outputs(const TAnalyzer& a) {
    return {
        {"micSpectrum", flatten(a.micSpectrum.data(), binCount)},
        {"pickupSpectrum", flatten(a.pickupSpectrum.data(), binCount)},
        {"filterSpectrum", flatten(a.filterSpectrum.data(), binCount)},
        {"filterIr", {a.filterIr.begin(), a.filterIr.end()}},
        {"micDb", {a.micDb.begin(), a.micDb.end()}},
        {"pickupDb", {a.pickupDb.begin(), a.pickupDb.end()}},
        {"filterDb", {a.filterDb.begin(), a.filterDb.end()}},
    };
}

std::string referencePath(const TSetting& s) {
    return std::string(std::getenv("TEST_DATA_DIR")) + "/reference-analysis/" + s.name + ".f64";
}

std::unique_ptr<TAnalyzer> exampleAnalysis(const TSetting& s) {
    auto a = std::make_unique<TAnalyzer>();
    const std::string dir = std::getenv("EXAMPLES_DIR");
    EXPECT_TRUE(readWave(*a, 0, dir + "/mic.wav").ok);
    EXPECT_TRUE(readWave(*a, 1, dir + "/pickup.wav").ok);
    s.apply(*a);
    a->analysisReady = true;
    a->computeResponses();
    return a;
}

TEST(ReferenceAnalysis, ExamplePairMatchesTheStoredOutputsWithinRounding) {
    const bool write = std::getenv("REFERENCE_ANALYSIS_WRITE") != nullptr;
    for (const TSetting& s : settings) {
        SCOPED_TRACE(s.name);
        const std::vector<TOutput> now = outputs(*exampleAnalysis(s));
        if (write) {
            std::ofstream out(referencePath(s), std::ios::binary);
            for (const TOutput& o : now)
                out.write(reinterpret_cast<const char*>(o.values.data()),
                          static_cast<std::streamsize>(o.values.size() * sizeof(double)));
            ASSERT_TRUE(out.good());
            continue;
        }
        std::ifstream in(referencePath(s), std::ios::binary);
        ASSERT_TRUE(in.good()) << referencePath(s);
        for (const TOutput& o : now) {
            std::vector<double> ref(o.values.size());
            in.read(reinterpret_cast<char*>(ref.data()), static_cast<std::streamsize>(ref.size() * sizeof(double)));
            ASSERT_TRUE(in.good()) << o.name << ": the stored outputs end early";
            double largest = 0;
            for (double v : ref)
                largest = std::max(largest, std::abs(v));
            double worst = 0;
            std::size_t worstAt = 0;
            for (std::size_t i = 0; i < ref.size(); ++i) {
                const double d = std::abs(o.values[i] - ref[i]);
                if (!(d <= worst)) { // a NaN counts as the worst
                    worst = d;
                    worstAt = i;
                }
            }
            EXPECT_LE(worst, 1e-9 * largest) << o.name << " value " << worstAt << ": " << o.values[worstAt]
                                             << " instead of " << ref[worstAt];
        }
        EXPECT_EQ(in.peek(), std::char_traits<char>::eof()) << "the stored outputs are longer";
    }
}

// Blend: the filter mixed with the level-matched impulse at its arrival; 100 % changes not a bit.
TEST(ReferenceAnalysis, BlendMixesTheLevelMatchedImpulseAtTheArrivalIntoTheFilter) {
    const auto full = exampleAnalysis(settings[0]);
    const auto& ir = full->filterIr;
    const auto at = std::max_element(ir.begin(), ir.end(), [](double x, double y) { return x * x < y * y; });
    for (const double blend : {0.0, 50.0, 100.0}) {
        const auto mixed = exampleAnalysis({"blend", [=](TAnalyzer& a) { a.blend = blend; }});
        const double pickup = (1 - blend / 100) * full->pinkLevelGain() * (*at < 0 ? -1 : 1);
        for (int t = 0; t < blockLength; ++t)
            ASSERT_EQ(mixed->filterIr[t], blend / 100 * ir[t] + (t == at - ir.begin() ? pickup : 0)) << t;
        EXPECT_EQ(full->filterDb == mixed->filterDb, blend == 100);
    }
}

} // namespace
