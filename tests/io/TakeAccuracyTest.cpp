// The learned pair must analyse like the true pair: synthetic takes through the example guitar's
// mic and pickup responses, in several encodings, channel orders and rates.
#include "IoTestSupport.h"
#include "SyntheticTake.h"

#include "dsp/Analyzer.h"
#include "io/TakeLearning.h"
#include "io/WaveReader.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace {

using namespace synthetic_take;

std::string example(const char* name) {
    return std::string(std::getenv("EXAMPLES_DIR")) + "/" + name;
}

// The example pair as the analyzer holds it after loading.
std::unique_ptr<TAnalyzer> truePair(int rate) {
    auto a = std::make_unique<TAnalyzer>();
    EXPECT_TRUE(readWave(*a, 0, example("mic.wav")).ok);
    EXPECT_TRUE(readWave(*a, 1, example("pickup.wav")).ok);
    a->setFs(rate);
    return a;
}

// The filter curve with alpha 50 and beta 50 (no straightening, no compression).
std::array<double, plotPoints> filterCurve(TAnalyzer& a) {
    a.alpha = 50;
    a.beta = 50;
    a.analysisReady = true;
    a.computeResponses();
    return a.filterDb;
}

struct TAgreement {
    double median = 0, p95 = 0;
};

// |difference| of the two curves over 150 Hz .. 8 kHz after removing their mean difference.
TAgreement agreement(const TAnalyzer& grid, const std::array<double, plotPoints>& truth,
                     const std::array<double, plotPoints>& learned) {
    std::vector<double> d;
    for (int i = 0; i < plotPoints; ++i)
        if (grid.plotFreq[i] >= 150 && grid.plotFreq[i] <= 8000)
            d.push_back(learned[i] - truth[i]);
    double mean = 0;
    for (const double v : d)
        mean += v / static_cast<double>(d.size());
    for (double& v : d)
        v = std::fabs(v - mean);
    std::sort(d.begin(), d.end());
    return {d[d.size() / 2], d[static_cast<std::size_t>(0.95 * static_cast<double>(d.size() - 1))]};
}

struct TCase {
    int rate;
    int format;
    const char* formatName;
    enum { pickupLeft, pickupRight, twoTracks } layout;
};

std::string caseName(const ::testing::TestParamInfo<TCase>& info) {
    const char* layouts[] = {"PickupLeft", "PickupRight", "TwoTracks"};
    return std::string(info.param.formatName) + "_" + std::to_string(info.param.rate) + "_" +
           layouts[info.param.layout];
}

class TakeAccuracy : public TScratchDir, public ::testing::WithParamInterface<TCase> {
protected:
    // One take per rate, shared by the cases.
    static const TTake& take(int rate) {
        static std::map<int, TTake> takes;
        auto it = takes.find(rate);
        if (it == takes.end()) {
            auto a = truePair(rate);
            std::array<double, blockLength> mic{}, pickup{};
            for (int i = 0; i < blockLength; ++i) {
                mic[i] = a->irData[i].mic;
                pickup[i] = a->irData[i].pickup;
            }
            it = takes.emplace(rate, makeTake(rate, 30, pickup, mic)).first;
        }
        return it->second;
    }
};

TEST_P(TakeAccuracy, LearnedPairAnalysesLikeTheTruePair) {
    const TCase c = GetParam();
    const TTake& t = take(c.rate);
    TTakeSource source;
    if (c.layout == TCase::twoTracks) {
        source.pickupTrack = path("pickup");
        source.micTrack = path("mic");
        ASSERT_TRUE(writeSound(source.pickupTrack, c.format, c.rate, {&t.pickup}));
        ASSERT_TRUE(writeSound(source.micTrack, c.format, c.rate, {&t.mic}));
    } else {
        source.take = path("take");
        const bool left = c.layout == TCase::pickupLeft;
        source.pickupChannel = left ? 1 : 2;
        source.micChannel = left ? 2 : 1;
        ASSERT_TRUE(writeSound(source.take, c.format, c.rate, left ? std::vector{&t.pickup, &t.mic}
                                                                     : std::vector{&t.mic, &t.pickup}));
    }
    TLearnedTake learned;
    const TFileResult r = learnTake(source, learned);
    ASSERT_TRUE(r.ok) << r.message;
    // All of the take but the part of a hop after the last whole segment.
    EXPECT_GT(learned.transfer.usableSeconds, 29);
    EXPECT_LE(learned.transfer.usableSeconds, 30);
    EXPECT_EQ(learned.transfer.silentSeconds + learned.transfer.clippedSeconds, 0);

    auto truth = truePair(c.rate);
    auto fromTake = std::make_unique<TAnalyzer>();
    applyLearnedTake(learned, *fromTake);
    const TAgreement g = agreement(*truth, filterCurve(*truth), filterCurve(*fromTake));
    std::printf("accuracy %s: median %.3f dB, 95th percentile %.3f dB\n", caseName({c, 0}).c_str(), g.median,
                g.p95);
    EXPECT_LE(g.median, 0.3);
    EXPECT_LE(g.p95, 1.5);
}

std::vector<TCase> cases() {
    std::vector<TCase> out;
    const std::pair<int, const char*> formats[] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_16, "Pcm16"},
                                                   {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "Pcm24"},
                                                   {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "Float32"},
                                                   {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "Flac24"}};
    for (const int rate : {44100, 48000})
        for (const auto& [format, name] : formats)
            for (const auto layout : {TCase::pickupLeft, TCase::pickupRight, TCase::twoTracks})
                out.push_back({rate, format, name, layout});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Encodings, TakeAccuracy, ::testing::ValuesIn(cases()), caseName);

} // namespace
