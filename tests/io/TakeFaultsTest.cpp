// Takes with the faults real recordings have, one per case: each learnable one must analyse like
// the exact pair placed where the learner puts it, and the report must name its fault.
#include "IoTestSupport.h"
#include "SyntheticTake.h"
#include "TakeTruth.h"

#include "io/TakeLearning.h"

#include <cstdio>
#include <functional>
#include <map>
#include <ostream>

namespace {

using namespace synthetic_take;
using namespace take_truth;

constexpr double seconds = 30;
constexpr double exampleLag = 40.85; // samples from the example pickup's arrival to its mic's, as learned

struct TFault {
    const char* name;
    int rate = 48000;
    double delayMs = 0;                     // the mic this much farther than in the example pair
    std::function<void(TTake&)> spoil = {}; // applied to the take before writing
    std::function<void(TTakeSource&)> choose = {};
    int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    bool twoTracks = false;
    double micTrackLate = 0;        // seconds the mic's recorder started after the pickup's
    const char* says = "Good take"; // in the report (or the refusal)
    bool refused = false;
    bool exact = true; // learnable: checked against the exact pair
    double sign = 1;   // of the exact transfer
    std::function<void(std::array<double, blockLength>&, int)> room = {}; // changes the mic response
};

std::array<double, blockLength> response(const TAnalyzer& a, bool mic) {
    std::array<double, blockLength> r{};
    for (int i = 0; i < blockLength; ++i)
        r[i] = mic ? a.irData[i].mic : a.irData[i].pickup;
    return r;
}

// Soft saturation of the louder playing: linear up to 0.1, a tanh knee above.
void saturate(std::vector<double>& x) {
    for (double& v : x)
        if (std::fabs(v) > 0.1)
            v = std::copysign(0.1 + 0.1 * std::tanh((std::fabs(v) - 0.1) / 0.1), v);
}

// A wall: the mic hears itself again `ms` later at half the level.
void wall(std::array<double, blockLength>& mic, int rate, double ms) {
    const int echo = static_cast<int>(std::lround(ms * rate / 1000));
    for (int i = blockLength - 1; i >= echo; --i)
        mic[i] += 0.5 * mic[i - echo];
}

// A reverberant room: decaying noise (60 dB in 0.6 s) from 5 ms on, at the direct sound's energy.
void reverberate(std::array<double, blockLength>& mic, int rate) {
    double direct = 0;
    for (const double v : mic)
        direct += v * v;
    TNoise noise(7);
    std::array<double, blockLength> tail{};
    double energy = 0;
    for (int i = rate / 200; i < blockLength; ++i) {
        tail[i] = noise() * std::pow(10.0, -3.0 * i / (0.6 * rate));
        energy += tail[i] * tail[i];
    }
    for (int i = 0; i < blockLength; ++i)
        mic[i] += tail[i] * std::sqrt(direct / energy);
}

// Clamps x at the level only `share` of its samples exceed.
void clipTop(std::vector<double>& x, double share) {
    std::vector<double> m(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        m[i] = std::fabs(x[i]);
    std::nth_element(m.begin(), m.begin() + static_cast<std::ptrdiff_t>((1 - share) * m.size()), m.end());
    const double level = m[static_cast<std::size_t>((1 - share) * m.size())];
    for (double& v : x)
        v = std::clamp(v, -level, level);
}

// x as a recorder whose clock runs `ppm` fast hears it: x at n * (1 + ppm 1e-6), by a Hann-windowed
// sinc of 2 x 48 taps.
std::vector<double> drift(const std::vector<double>& x, double ppm) {
    std::vector<double> out(x.size());
    const int half = 48;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) * (1 + ppm * 1e-6);
        const auto whole = static_cast<std::int64_t>(t);
        double sum = 0;
        for (std::int64_t i = whole - half + 1; i <= whole + half; ++i) {
            if (i < 0 || i >= static_cast<std::int64_t>(x.size()))
                continue;
            const double d = t - static_cast<double>(i);
            const double w = 0.5 + 0.5 * std::cos(M_PI * d / half);
            sum += x[static_cast<std::size_t>(i)] * w * (d == 0 ? 1 : std::sin(M_PI * d) / (M_PI * d));
        }
        out[n] = sum;
    }
    return out;
}

const TFault faults[] = {
    {.name = "Clean"},
    {.name = "CleanAt44100", .rate = 44100},
    {.name = "MicOneMillisecondFarther", .delayMs = 1.0, .says = "ms after the pickup, about"},
    {.name = "MicTenMillisecondsFarther", .rate = 44100, .delayMs = 10.37, .says = "ms after the pickup"},
    {.name = "MicFortyMillisecondsFarther", .delayMs = 40.0, .says = "ms after the pickup"},
    {.name = "SwappedChannels",
     .delayMs = 0.7,
     .choose = [](TTakeSource& s) { std::swap(s.pickupChannel, s.micChannel); },
     .says = ": the channels look swapped: the mic's sound comes 1.5 ms before the pickup's; learn with "
             "--learn-channels 1,2",
     .refused = true},
    {.name = "PickupClipsBelowFullScale",
     .spoil = [](TTake& t) { clipTop(t.pickup, 8e-5); },
     .format = SF_FORMAT_WAV | SF_FORMAT_PCM_24,
     .says = "Warning: the pickup clips (at -"},
    {.name = "PickupSaturates",
     .spoil = [](TTake& t) { saturate(t.pickup); },
     .says =
         "Verdict: Fair take: the filter curve is reliable from 100 Hz to 8 kHz as far as the playing goes, "
         "but the loud playing distorts (see below)\n",
     .exact = false},
    {.name = "TwoRecordersFiftyPpmApart",
     .spoil = [](TTake& t) { t.mic = drift(t.mic, 50); },
     .twoTracks = true,
     .micTrackLate = 0.7,
     .says = "ppm; corrected"},
    {.name = "TwoTracksSwappedWithAPause",
     .spoil =
         [](TTake& t) {
             // Four seconds without playing, where only the mic hears the room.
             TNoise room(9);
             for (std::size_t i = 10 * t.rate; i < 14 * static_cast<std::size_t>(t.rate); ++i) {
                 t.pickup[i] = 0;
                 t.mic[i] = 3e-4 * room();
             }
             std::swap(t.pickup, t.mic);
         },
     .twoTracks = true,
     .says = "Warning: the tracks may be swapped: the pickup track holds more noise in the pauses",
     .exact = false},
    {.name = "TwoRecordersTooFarApart",
     .spoil = [](TTake& t) { t.mic = drift(t.mic, -1500); },
     .twoTracks = true,
     .says = "\": the two recorders' clocks differ by more than 1000 ppm",
     .refused = true},
    {.name = "QuietTake",
     .spoil =
         [](TTake& t) {
             scaleToPeak(t.pickup, 0.01);
             scaleToPeak(t.mic, 0.01);
         },
     .format = SF_FORMAT_WAV | SF_FORMAT_PCM_16,
     .says = "the take is quiet (peak -40 dBFS): raise the input gain for a cleaner result"},
    {.name = "MicPolarityInverted",
     .spoil =
         [](TTake& t) {
             for (double& v : t.mic)
                 v = -v;
         },
     .says = "the mic's polarity is inverted against the pickup's; the filter inverts the signal",
     .sign = -1},
    {.name = "WallBesideTheMic",
     .says = "the mic hears the room (a reflection 2.9 ms after the direct sound)",
     .room = [](std::array<double, blockLength>& mic, int rate) { wall(mic, rate, 2.9); }},
    {.name = "ReverberantRoom",
     .says = "the mic hears the room (a reverberant tail",
     .room = [](std::array<double, blockLength>& mic, int rate) { reverberate(mic, rate); }},
    {.name = "ALawPickupClipsHalfTheTime",
     .spoil =
         [](TTake& t) {
             for (std::size_t i = 0; i < t.pickup.size() / 2; ++i)
                 t.pickup[i] = std::clamp(4 * t.pickup[i], -1.0, 1.0);
         },
     .format = SF_FORMAT_WAV | SF_FORMAT_ALAW,
     .says =
         "Warning: the pickup clips (at -0.1 dBFS): what it clipped is left out; lower its input gain and "
         "record again\nWarning: the take is stored as A-law",
     .exact = false},
    {.name = "NotANumberInThePickupAndInAnUnusedChannel",
     .spoil = [](TTake& t) { t.pickup[t.pickup.size() / 3] = std::nan(""); },
     .says = "Warning: the pickup holds 1 samples that are not numbers; left out as clipped"},
};

void PrintTo(const TFault& f, std::ostream* out) {
    *out << f.name;
}

class TakeFaults : public TScratchDir, public ::testing::WithParamInterface<TFault> {
protected:
    TTakeSource write(const TFault& f, TTake& take) {
        TTakeSource source;
        if (f.twoTracks) {
            source.pickupTrack = path("pickup");
            source.micTrack = path("mic");
            const std::size_t common = std::min(take.pickup.size(), take.mic.size());
            take.pickup.resize(common);
            take.mic.resize(common);
            EXPECT_TRUE(writeSound(source.pickupTrack, f.format, take.rate, {&take.pickup}));
            EXPECT_TRUE(writeSound(source.micTrack, f.format, take.rate, {&take.mic}));
        } else {
            // A third channel that holds a NaN in every case: it is not used, so it is not judged.
            std::vector<double> unused(take.pickup.size(), 0.0);
            unused[1000] = std::nan("");
            source.take = path("take");
            const std::vector<const std::vector<double>*> channels = {&take.pickup, &take.mic, &unused};
            EXPECT_TRUE(writeSound(source.take, f.format, take.rate,
                                   f.format == (SF_FORMAT_WAV | SF_FORMAT_FLOAT)
                                       ? channels
                                       : decltype(channels){&take.pickup, &take.mic}));
        }
        if (f.choose)
            f.choose(source);
        return source;
    }
};

TEST_P(TakeFaults, LearnedPairMatchesTheExactOneAndTheReportNamesTheFault) {
    const TFault& f = GetParam();
    const int rate = f.rate;
    auto pair = truePair(rate);
    std::array<double, blockLength> mic = response(*pair, true);
    if (f.room)
        f.room(mic, rate);
    const double delay = f.delayMs * rate / 1000;
    TTake take = makeTake(rate, seconds, response(*pair, false), mic, 1, delay);
    if (f.spoil)
        f.spoil(take);
    const auto late = static_cast<std::ptrdiff_t>(f.micTrackLate * rate);
    take.mic.erase(take.mic.begin(), take.mic.begin() + late);

    TLearnedTake learned;
    const TFileResult r = learnTake(write(f, take), learned);
    if (f.refused) {
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find(f.says), std::string::npos) << r.message << learnReport(learned);
        EXPECT_EQ(learned.transfer.swapped, f.choose != nullptr);
        return;
    }
    ASSERT_TRUE(r.ok) << r.message;
    const std::string report = learnReport(learned);
    EXPECT_NE(report.find(f.says), std::string::npos) << report;
    EXPECT_EQ(report.find("distorts") != std::string::npos, std::string(f.name) == "PickupSaturates")
        << report;
    if (!f.exact)
        return;
    EXPECT_EQ(report.find("Poor take"), std::string::npos) << report;

    auto fromTake = std::make_unique<TAnalyzer>();
    applyLearnedTake(learned, *fromTake);
    auto truth =
        placedTruth(rate, delay - static_cast<double>(late), learned.transfer.shiftSamples, f.sign, &mic);
    const TAgreement g = agreement(*truth, filterCurve(*truth), filterCurve(*fromTake));
    std::printf("accuracy %s: median %.3f dB, 95th percentile %.3f dB; arrival %.2f samples after the exact "
                "one's place\n",
                f.name, g.median, g.p95,
                delay - static_cast<double>(late) + exampleLag - TTransferEstimate::arrivalSample -
                    learned.transfer.shiftSamples);
    std::printf("%s", report.c_str());
    EXPECT_LE(g.median, 0.3);
    EXPECT_LE(g.p95, 1.5);
    // The learned arrival at the same sample whatever the distance.
    if (f.delayMs > 0) {
        EXPECT_NEAR(learned.transfer.shiftSamples - delay, exampleLag - TTransferEstimate::arrivalSample, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, TakeFaults, ::testing::ValuesIn(faults),
                         [](const ::testing::TestParamInfo<TFault>& info) { return info.param.name; });

} // namespace
