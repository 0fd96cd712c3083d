// Learning from a take: the estimate on signals whose transfer is known exactly, what is left out
// and why, the failures with their messages, progress and Cancel, and the report.
#include "IoTestSupport.h"
#include "SyntheticTake.h"

#include "dsp/Analyzer.h"
#include "dsp/TransferEstimate.h"
#include "io/TakeLearning.h"

#include <cmath>
#include <memory>

namespace {

using namespace synthetic_take;

std::vector<double> whiteNoise(std::int64_t length, double amplitude, std::uint32_t seed) {
    TNoise noise(seed);
    std::vector<double> out(length);
    for (double& v : out)
        v = amplitude * noise();
    return out;
}

// mic[n] = gain * pickup[n - delay].
std::vector<double> delayed(const std::vector<double>& x, int delay, double gain) {
    std::vector<double> out(x.size());
    for (std::size_t n = static_cast<std::size_t>(delay); n < x.size(); ++n)
        out[n] = gain * x[n - delay];
    return out;
}

TTransferResult estimate(const std::vector<double>& pickup, const std::vector<double>& mic, int rate,
                         bool integer = false) {
    TTransferEstimate e(rate, integer);
    e.add(pickup.data(), mic.data(), static_cast<std::int64_t>(pickup.size()));
    return e.finish();
}

TEST(TransferEstimate, MicEqualToPickupLearnsAUnitImpulseWithFullCoherence) {
    const auto x = whiteNoise(8 * 8000, 0.3, 1);
    const TTransferResult r = estimate(x, x, 8000);
    ASSERT_TRUE(r.ok());
    const int a = TTransferEstimate::arrivalSample;
    EXPECT_NEAR(r.response[a], 1.0, 1e-12);
    for (int i = 0; i < blockLength; ++i)
        ASSERT_NEAR(r.response[i], i == a ? 1.0 : 0.0, 1e-12) << i;
    for (int k = 1; k < binCount; ++k)
        ASSERT_NEAR(r.coherence[k], 1.0, 1e-9) << k;
    EXPECT_NEAR(r.bandCoherence[4], 1.0, 1e-9);
    EXPECT_NEAR(r.bandCoherence[6], 1.0, 1e-9); // 4 kHz band: its bins below 4 kHz
    EXPECT_TRUE(std::isnan(r.bandCoherence[7]));
    EXPECT_NEAR(r.lagSeconds, 0, 1e-12);
    EXPECT_FALSE(r.swapped);
    EXPECT_TRUE(r.good());
}

TEST(TransferEstimate, DelayAndGainShowAtTheirSampleAndBlocksOfAnySizeGiveTheSameResult) {
    const int rate = 48000;
    const auto x = whiteNoise(6 * rate, 0.3, 2);
    const auto y = delayed(x, 25, 0.5);
    const TTransferResult whole = estimate(x, y, rate);
    ASSERT_TRUE(whole.ok());
    EXPECT_NEAR(whole.response[TTransferEstimate::arrivalSample], 0.5, 0.02);
    EXPECT_NEAR(whole.lagSeconds, 25.0 / rate, 0.05 / rate);

    // Interleaved floats fed in odd-sized blocks.
    std::vector<float> frames(2 * x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        frames[2 * i] = static_cast<float>(x[i]);
        frames[2 * i + 1] = static_cast<float>(y[i]);
    }
    TTransferEstimate e(rate, false);
    for (std::size_t start = 0; start < x.size(); start += 1013) {
        const auto n = static_cast<std::int64_t>(std::min<std::size_t>(1013, x.size() - start));
        e.add(frames.data() + 2 * start, frames.data() + 2 * start + 1, n, 2);
    }
    const TTransferResult blocks = e.finish();
    EXPECT_EQ(e.samples(), static_cast<std::int64_t>(x.size()));
    for (int i = 0; i < blockLength; ++i)
        ASSERT_NEAR(blocks.response[i], whole.response[i], 1e-6) << i;
}

TEST(TransferEstimate, LagsEitherWayAreFoundAndAMicBeforeThePickupIsASwap) {
    const int rate = 44100;
    const auto x = whiteNoise(10 * rate, 0.3, 3);
    const TTransferResult later = estimate(x, delayed(x, rate * 30 / 1000, 1), rate);
    ASSERT_TRUE(later.ok());
    EXPECT_NEAR(later.lagSeconds, 0.030, 1.0 / rate);
    EXPECT_FALSE(later.swapped);
    const TTransferResult earlier = estimate(delayed(x, rate * 25 / 1000, 1), x, rate);
    EXPECT_NEAR(earlier.lagSeconds, -0.025, 1.0 / rate);
    EXPECT_TRUE(earlier.swapped);
    EXPECT_FALSE(estimate(x, delayed(x, rate * 15 / 1000, 1), rate).swapped);
}

TEST(TransferEstimate, SilentAndClippedSegmentsAreLeftOutAndCounted) {
    const int rate = 8000; // segments of 16384 samples, hop 8192
    auto x = whiteNoise(20 * 8192, 0.3, 4);
    auto y = x;
    // Segments 4..6 (samples 32768..65535 and the halves around) hear a silent mic.
    for (int n = 6 * 8192; n < 8 * 8192; ++n)
        y[n] = 1e-4;
    // One sample at full scale in sample block 14.
    x[14 * 8192 + 100] = -1.0;
    const TTransferResult integer = estimate(x, y, rate, true);
    ASSERT_TRUE(integer.ok());
    // 19 segments: the first counts 2 hops, each later one 1.
    const double hop = 8192.0 / rate;
    EXPECT_NEAR(integer.usableSeconds + integer.silentSeconds + integer.clippedSeconds, 20 * hop, 1e-9);
    EXPECT_NEAR(integer.silentSeconds, 1 * hop, 1e-9);  // only the segment wholly in the gap is silent
    EXPECT_NEAR(integer.clippedSeconds, 2 * hop, 1e-9); // both segments holding the sample
    // A float source clips only where a sample is broken: not finite, or far beyond full scale.
    EXPECT_EQ(estimate(x, y, rate, false).clippedSeconds, 0);
    x[3 * 8192 + 5] = std::nan("");
    x[17 * 8192 + 5] = 1e300;
    const TTransferResult broken = estimate(x, y, rate, false);
    ASSERT_TRUE(broken.ok());
    EXPECT_NEAR(broken.clippedSeconds, 4 * hop, 1e-9);
    for (const double v : broken.response)
        ASSERT_TRUE(std::isfinite(v));
}

TEST(TransferEstimate, SilenceAndTooLittlePlayingAreErrors) {
    const int rate = 8000;
    const auto x = whiteNoise(10 * rate, 0.3, 5);
    const std::vector<double> quiet(x.size(), 0.0005); // -66 dBFS
    EXPECT_EQ(estimate(quiet, x, rate).error, TTransferError::silentPickup);
    EXPECT_EQ(estimate(x, quiet, rate).error, TTransferError::silentMic);
    const auto shortTake = whiteNoise(4 * rate, 0.3, 6);
    const TTransferResult r = estimate(shortTake, shortTake, rate);
    EXPECT_EQ(r.error, TTransferError::tooLittle);
    EXPECT_NEAR(r.usableSeconds, 3 * 8192.0 / rate, 1e-9);
    EXPECT_EQ(estimate({}, {}, rate).error, TTransferError::tooLittle);
}

class TakeLearning : public TScratchDir {
protected:
    // A stereo take of white noise: mic = pickup delayed by `delay` samples at half the level.
    std::string stereo(const char* name, int rate, double seconds, int channels = 2, int delay = 3) {
        pickup = whiteNoise(static_cast<std::int64_t>(seconds * rate), 0.3, 7);
        mic = delayed(pickup, delay, 0.5);
        std::vector<const std::vector<double>*> all{&pickup, &mic};
        while (static_cast<int>(all.size()) < channels)
            all.push_back(&mic);
        all.resize(static_cast<std::size_t>(channels));
        EXPECT_TRUE(writeSound(path(name), SF_FORMAT_WAV | SF_FORMAT_PCM_24, rate, all));
        return path(name);
    }
    std::string mono(const char* name, int rate, const std::vector<double>& x) {
        EXPECT_TRUE(writeSound(path(name), SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, {&x}));
        return path(name);
    }
    TFileResult learn(const std::string& take, int p = 1, int m = 2) {
        TTakeSource s;
        s.take = take;
        s.pickupChannel = p;
        s.micChannel = m;
        return learnTake(s, result);
    }
    TFileResult learnTracks(const std::string& p, const std::string& m) {
        TTakeSource s;
        s.pickupTrack = p;
        s.micTrack = m;
        return learnTake(s, result);
    }

    std::vector<double> pickup, mic;
    TLearnedTake result;
};

TEST_F(TakeLearning, ChosenChannelsOfAWiderTakeAndTheLearnedPairInTheAnalyzer) {
    const std::string take = stereo("four.wav", 48000, 6, 4);
    ASSERT_TRUE(learn(take, 1, 3).ok);
    EXPECT_NEAR(result.transfer.response[TTransferEstimate::arrivalSample], 0.5, 0.02);
    EXPECT_EQ(result.displayName, "four.wav (learned)");
    EXPECT_EQ(result.transfer.rate, 48000);

    auto a = std::make_unique<TAnalyzer>();
    a->delayMic = 7;
    a->delayPickup = 9;
    a->enablePickup = false;
    a->irData[5].pickup = 0.25;
    a->gainDb = 3;
    applyLearnedTake(result, *a);
    EXPECT_EQ(a->fs, 48000);
    EXPECT_DOUBLE_EQ(a->binFreq[1], 48000.0 / 8192);
    EXPECT_EQ(a->delayMic, 0);
    EXPECT_EQ(a->delayPickup, 0);
    EXPECT_TRUE(a->enablePickup);
    EXPECT_EQ(a->gainDb, 3);
    for (int i = 0; i < blockLength; ++i) {
        ASSERT_EQ(a->irData[i].mic, result.transfer.response[i]);
        ASSERT_EQ(a->irData[i].pickup, i == 0 ? 1.0 : 0.0);
    }
}

TEST_F(TakeLearning, UnusableFilesAndChannelsAreRefusedNamingTheFile) {
    writeFile(path("text.wav"), "this is not audio\n");
    const std::string take = stereo("take.wav", 8000, 8);
    const std::string one = mono("one.wav", 8000, pickup);
    struct Case {
        std::string file;
        int p, m;
        const char* reason;
    } cases[] = {
        {path("missing.wav"), 1, 2, ""},
        {path("text.wav"), 1, 2, ""},
        {dir.string(), 1, 2, ""},
        {one, 1, 2, "it has one channel"},
        {take, 1, 3, "it has 2 channels, there is no channel 3"},
        {take, 0, 2, "there is no channel 0"},
        {take, 2, 2, "the pickup and the mic are both channel 2"},
    };
    for (const Case& c : cases) {
        const TFileResult r = learn(c.file, c.p, c.m);
        EXPECT_FALSE(r.ok) << c.file;
        EXPECT_NE(r.message.find("\"" + c.file + "\""), std::string::npos) << r.message;
        EXPECT_NE(r.message.find(c.reason), std::string::npos) << r.message;
        EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
        EXPECT_FALSE(result.cancelled);
    }
}

TEST_F(TakeLearning, SilentTakesAndTooLittlePlayingSayWhichAndHowMuch) {
    const std::vector<double> zero(8 * 8000, 0.0);
    const std::string quiet = mono("quiet.wav", 8000, zero);
    const auto x = whiteNoise(8 * 8000, 0.3, 8);
    const std::string noise = mono("noise.wav", 8000, x);
    TFileResult r = learnTracks(quiet, noise);
    EXPECT_EQ(r.message,
              "Cannot learn from \"" + quiet + "\": the pickup is silent (below -100 dBFS throughout)");
    r = learnTracks(noise, quiet);
    EXPECT_EQ(r.message,
              "Cannot learn from \"" + quiet + "\": the mic is silent (below -100 dBFS throughout)");

    std::vector<const std::vector<double>*> silentMic{&x, &zero};
    ASSERT_TRUE(writeSound(path("half.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, silentMic));
    r = learn(path("half.wav"));
    EXPECT_EQ(r.message, "Cannot learn from \"" + path("half.wav") +
                             "\": the mic (channel 2) is silent (below -100 dBFS throughout)");

    r = learn(stereo("short.wav", 8000, 4.5));
    EXPECT_EQ(r.message,
              "Cannot learn from \"" + path("short.wav") +
                  "\": too little playing, 4.1 s usable (0.0 s silent, 0.0 s clipped), at least 5 s needed");
}

TEST_F(TakeLearning, TwoTracksUseTheirCommonLengthAndMustShareTheRate) {
    const auto x = whiteNoise(12 * 8000, 0.3, 9);
    const auto y = delayed(x, 2, 0.5);
    const std::vector<double> shorter(y.begin(), y.begin() + 7 * 8000);
    ASSERT_TRUE(learnTracks(mono("p.wav", 8000, x), mono("m.wav", 8000, shorter)).ok);
    EXPECT_NEAR(result.transfer.usableSeconds, 7 * 8000 / 8192 * 8192 / 8000.0, 1e-9);
    EXPECT_NEAR(result.transfer.response[TTransferEstimate::arrivalSample], 0.5, 0.02);
    EXPECT_EQ(result.displayName, "m.wav (learned)");

    const TFileResult r = learnTracks(path("p.wav"), mono("m44.wav", 44100, y));
    EXPECT_EQ(r.message, "Cannot learn from \"" + path("m44.wav") +
                             "\": its rate of 44100 Hz differs from the 8000 Hz of the pickup track \"" +
                             path("p.wav") + "\"");
}

TEST_F(TakeLearning, ProgressRisesToOneAndCancelStopsWithoutAMessage) {
    const std::string take = stereo("take.wav", 48000, 6);
    TTakeSource s;
    s.take = take;
    std::vector<double> seen;
    ASSERT_TRUE(learnTake(s, result, [&](double f) { seen.push_back(f); }).ok);
    ASSERT_GT(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);

    int asked = 0;
    const TFileResult r = learnTake(s, result, {}, [&] { return ++asked == 3; });
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.empty());
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(asked, 3);
}

TEST_F(TakeLearning, ReportNamesTheTakeAndShowsSecondsBandsAndVerdict) {
    ASSERT_TRUE(learn(stereo("take.wav", 8000, 8)).ok);
    const std::string report = learnReport(result);
    EXPECT_EQ(report.rfind("Learned from \"" + path("take.wav") +
                               "\": pickup channel 1, mic channel 2, 8000 Hz\n"
                               "Usable playing: 7.2 s\n"
                               "Left out: 0.0 s silent, 0.0 s clipped\n"
                               "Mean coherence per octave band:\n"
                               "    63 Hz  1.00\n",
                           0),
              0u)
        << report;
    EXPECT_NE(report.find("\n    4 kHz  1.00\n    8 kHz  -\n   16 kHz  -\nVerdict: Good take"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("shifted"), std::string::npos);

    // Two tracks 30 ms apart.
    const auto x = whiteNoise(10 * 8000, 0.3, 10);
    ASSERT_TRUE(learnTracks(mono("p.wav", 8000, x), mono("m.wav", 8000, delayed(x, 240, 1))).ok);
    EXPECT_NE(learnReport(result).find("\nLag: the mic track is 30.0 ms behind the pickup track; aligned"),
              std::string::npos)
        << learnReport(result);
}

} // namespace
