// The learned pair must analyse like the true pair placed where the learner puts it: synthetic takes through
// the example guitar's mic and pickup responses, in several encodings, channel orders and rates.
#include "IoTestSupport.h"
#include "SyntheticTake.h"
#include "TakeTruth.h"

#include "dsp/Analyzer.h"
#include "io/TakeLearning.h"
#include "io/WaveReader.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using namespace synthetic_take;
using namespace take_truth;

enum class TLayout { pickupLeft, pickupRight, twoTracks };

struct TEncoding {
    int format;
    const char* name;
};
constexpr TEncoding encodings[] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_16, "16-bit WAVE"},
                                   {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "24-bit WAVE"},
                                   {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "32-bit float WAVE"},
                                   {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "24-bit FLAC"}};

// One synthetic take per rate (its synthesis costs more than learning it), written in every
// encoding and layout, each learned and compared with the true pair.
class TakeAccuracy : public TScratchDir, public ::testing::WithParamInterface<int> {
protected:
    TTake take;

    void makeTheTake(int rate) {
        auto a = truePair(rate);
        std::array<double, blockLength> mic{}, pickup{};
        for (int i = 0; i < blockLength; ++i) {
            mic[i] = a->irData[i].mic;
            pickup[i] = a->irData[i].pickup;
        }
        take = makeTake(rate, 30, pickup, mic);
    }

    TTakeSource write(const TEncoding& e, TLayout layout) {
        const int rate = take.rate;
        TTakeSource source;
        if (layout == TLayout::twoTracks) {
            source.pickupTrack = path("pickup");
            source.micTrack = path("mic");
            EXPECT_TRUE(writeSound(source.pickupTrack, e.format, rate, {&take.pickup}));
            EXPECT_TRUE(writeSound(source.micTrack, e.format, rate, {&take.mic}));
        } else {
            source.take = path("take");
            const bool left = layout == TLayout::pickupLeft;
            source.pickupChannel = left ? 1 : 2;
            source.micChannel = left ? 2 : 1;
            EXPECT_TRUE(writeSound(source.take, e.format, rate,
                                   left ? std::vector<const std::vector<double>*>{&take.pickup, &take.mic}
                                        : std::vector<const std::vector<double>*>{&take.mic, &take.pickup}));
        }
        return source;
    }
};

TEST_P(TakeAccuracy, LearnedPairAnalysesLikeTheTruePairInEveryEncodingAndLayout) {
    const int rate = GetParam();
    makeTheTake(rate);
    const char* layoutNames[] = {"pickup left", "pickup right", "two tracks"};
    for (const TEncoding& e : encodings) {
        for (const TLayout layout : {TLayout::pickupLeft, TLayout::pickupRight, TLayout::twoTracks}) {
            const std::string what = std::string(e.name) + ", " + layoutNames[static_cast<int>(layout)] +
                                     ", " + std::to_string(rate) + " Hz";
            SCOPED_TRACE(what);
            TLearnedTake learned;
            const TFileResult r = learnTake(write(e, layout), learned);
            ASSERT_TRUE(r.ok) << r.message;
            // All of the take but the part of a hop after the last whole segment.
            EXPECT_GT(learned.transfer.usableSeconds, 29);
            EXPECT_LE(learned.transfer.usableSeconds, 30);
            EXPECT_EQ(learned.transfer.silentSeconds + learned.transfer.clippedSeconds, 0);

            auto fromTake = std::make_unique<TAnalyzer>();
            applyLearnedTake(learned, *fromTake);
            // The exact pair placed where the learner put it.
            auto truth = placedTruth(rate, 0, learned.transfer.shiftSamples);
            const TAgreement g = agreement(*truth, filterCurve(*truth), filterCurve(*fromTake));
            std::printf("accuracy %s: median %.3f dB, 95th percentile %.3f dB\n", what.c_str(), g.median,
                        g.p95);
            EXPECT_LE(g.median, 0.3);
            EXPECT_LE(g.p95, 1.5);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, TakeAccuracy, ::testing::Values(44100, 48000),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "At" + std::to_string(info.param);
                         });

} // namespace
