// WAVE impulse-response export: the file libsndfile reads back (format, rate, length, level,
// rounding), the summary, and the filters that are refused with the file left as it was.
#include "io/IrExport.h"
#include "dsp/Analyzer.h"
#include "io/IoTestSupport.h"
#include "io/WaveReader.h"

#include <sndfile.h>

#include <cmath>
#include <memory>

namespace {

// The example pair analysed and stored in both channels.
std::unique_ptr<TAnalyzer> storedPair() {
    auto a = std::make_unique<TAnalyzer>();
    const std::string dir = std::getenv("EXAMPLES_DIR");
    EXPECT_TRUE(readWave(*a, 0, dir + "/mic.wav").ok && readWave(*a, 1, dir + "/pickup.wav").ok);
    a->analysisReady = true;
    a->computeResponses();
    a->setChannel(0);
    a->setChannel(1);
    return a;
}

// The file as libsndfile sees it, and its peak (1.0 = full scale).
double readBack(const std::string& path, SF_INFO& info) {
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr);
    std::vector<double> v(f ? static_cast<std::size_t>(info.frames * info.channels) : 0);
    if (f && sf_readf_double(f, v.data(), info.frames) >= 0)
        sf_close(f);
    double peak = 0;
    for (const double x : v)
        peak = std::max(peak, std::abs(x));
    return peak;
}

class IrExport : public TScratchDir {};

TEST_F(IrExport, WritesExactlyTheFormatRateLengthAndPeakAsked) {
    auto a = storedPair();
    struct TCase {
        TIrChannels channels;
        int length, rate;
        TIrFormat format;
        TIrPhase phase;
        int sfFormat, expectedRate, expectedChannels;
    };
    for (const TCase& c : {TCase{TIrChannels::left, 2048, 48000, TIrFormat::pcm24, TIrPhase::minimum,
                                 SF_FORMAT_PCM_24, 48000, 1},
                           TCase{TIrChannels::right, 1023, 0, TIrFormat::pcm24, TIrPhase::designed,
                                 SF_FORMAT_PCM_24, 44100, 1},
                           TCase{TIrChannels::both, 1024, 96000, TIrFormat::pcm16, TIrPhase::minimum,
                                 SF_FORMAT_PCM_16, 96000, 2},
                           TCase{TIrChannels::both, 8192, 44100, TIrFormat::float32, TIrPhase::designed,
                                 SF_FORMAT_FLOAT, 44100, 2}}) {
        TIrExportSettings s;
        s.channels = c.channels;
        s.shape = {c.length, c.rate, c.phase};
        s.format = c.format;
        const std::string name = irFileName("body", s, c.expectedRate);
        SCOPED_TRACE(name);
        const TIrExportResult r = exportImpulseResponse(*a, s, path(name));
        ASSERT_TRUE(r.file.ok) << r.file.message;
        EXPECT_EQ(r.summary, "Wrote " + name + ": " + irDescription(s, c.expectedRate));
        SF_INFO info{};
        EXPECT_NEAR(20 * std::log10(readBack(path(name), info)), -1.0, 0.001);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | c.sfFormat);
        EXPECT_EQ(info.samplerate, c.expectedRate);
        EXPECT_EQ(info.channels, c.expectedChannels);
        EXPECT_EQ(info.frames, c.length);
    }
}

TEST_F(IrExport, AsDesignedIsTheFilterItselfUpToTheFade) {
    auto a = storedPair();
    TIrExportSettings s;
    s.shape = {4096, 0, TIrPhase::designed};
    s.normalise = false;
    std::vector<std::vector<double>> ir;
    int rate = 0;
    ASSERT_TRUE(makeIrChannels(*a, s, "x.wav", ir, rate).ok);
    const int fade = irFadeSamples(4096, rate);
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(ir[0][i] == a->channels[0].filterIr[i], i < 4096 - fade || ir[0][i] == 0) << i;
}

TEST(IrWaveFile, RoundsIntegerSamplesToTheNearestAndHoldsThemInRange) {
    const std::vector<double> v = {0.5 / 32768, -0.5 / 32768, 1.49 / 32768, 1.0, -1.5, 0.25};
    const std::string bytes = irWaveBytes({v}, 44100, TIrFormat::pcm16);
    const std::vector<int> expected = {1, -1, 1, 32767, -32768, 8192};
    ASSERT_EQ(bytes.size(), 44 + 2 * v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        EXPECT_EQ(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[44 + 2 * i]) |
                                            static_cast<std::uint8_t>(bytes[45 + 2 * i]) << 8),
                  expected[i]);
    EXPECT_EQ(irWaveBytes({{0.1, 0.2, 0.3}}, 44100, TIrFormat::pcm24).size() % 2, 0u); // padded
}

TEST_F(IrExport, RefusesWhatCannotBeWrittenAndKeepsTheOldFile) {
    writeFile(path("old.wav"), "old");
    const char* reasons[] = {
        "the Right channel holds no filter: it was never stored", "the Left filter is silent",
        "the Right filter holds values that are not numbers", "at its own level the filter peaks at +"};
    for (int fault = 0; fault < 4; ++fault) {
        auto b = storedPair();
        TIrExportSettings s;
        s.channels = TIrChannels::both;
        s.normalise = fault != 3;
        s.format = TIrFormat::pcm16;
        b->channelFs[1] *= fault != 0;
        b->channels[0].filterIr.fill(fault == 1 ? 0.0 : fault == 3 ? 4.0 : 0.1);
        b->channels[1].filterIr[9] = fault == 2 ? NAN : 0.0;
        const TIrExportResult r = exportImpulseResponse(*b, s, path("old.wav"));
        EXPECT_EQ(r.file.message.find("Cannot write \"" + path("old.wav") + "\": " + reasons[fault]), 0u)
            << r.file.message;
        EXPECT_EQ(readFile(path("old.wav")), "old");
    }
}

} // namespace
