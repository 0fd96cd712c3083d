// Rendering recordings of every encoding through both filters, into a float WAVE or memory: the
// result against a direct convolution, levels and unset channels, the header, refused inputs,
// failed and cancelled writes that keep the previous file.
#include "io/Renderer.h"
#include "dsp/Analyzer.h"
#include "io/IoTestSupport.h"
#include "io/RenderTestSupport.h"
#include "support/FileFaults.h"

#include <gmock/gmock.h>

#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>

namespace {

// A copy would close, or abandon, the one output file twice.
static_assert(!std::is_copy_constructible_v<TWaveFileSink> && !std::is_copy_assignable_v<TWaveFileSink>);

using ::testing::HasSubstr;

constexpr double floatPrecision = 0x1p-22;

class Renderer : public TScratchDir {
protected:
    void SetUp() override {
        TScratchDir::SetUp();
        filters.ir[0] = decayingFilter(1);
        filters.ir[1] = decayingFilter(2);
        filters.set = {true, true};
    }

    // A two-channel recording of noise, longer than one hop of the convolver.
    std::string twoChannelInput(int format, const std::string& name, int frames = 30000) {
        std::vector<float> samples = noise(2 * static_cast<size_t>(frames), 3);
        for (std::size_t i = 1; i < samples.size(); i += 2)
            samples[i] *= 0.25f; // channel 2 differs from channel 1
        writeRecording(path(name), format, 2, 48000, samples);
        return path(name);
    }

    TRenderFilters filters;
};

TEST_F(Renderer, EveryEncodingRendersTheChosenChannelThroughBothFilters) {
    const struct {
        const char* name;
        int format;
    } encodings[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},   {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},   {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},  {"pcm16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24}, {"pcm16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    };
    for (const auto& e : encodings) {
        const std::string in = twoChannelInput(e.format, e.name);
        const TReadBack source = readRecording(in);
        for (const int channel : {1, 2}) {
            TRenderOptions options;
            options.channel = channel;
            const TRenderResult r = renderToWave(filters, in, path("out.wav"), options);
            ASSERT_TRUE(r.file.ok) << e.name << ": " << r.file.message;
            EXPECT_EQ(r.frames, 30000);
            EXPECT_EQ(r.rate, 48000);
            const TReadBack out = readRecording(path("out.wav"));
            EXPECT_EQ(readFile(path("out.wav")).substr(0, 58), floatWaveHeader(48000, 30000));
            EXPECT_FALSE(out.info.integer);
            EXPECT_EQ(out.info.channels, 2);
            EXPECT_EQ(out.info.rate, 48000);
            ASSERT_EQ(out.info.frames, 30000) << e.name;
            const std::vector<float> x = channelOf(source, channel - 1);
            EXPECT_LT(relativeDeviation(out.samples, 0, x, filters.ir[0], 61), floatPrecision) << e.name;
            EXPECT_LT(relativeDeviation(out.samples, 1, x, filters.ir[1], 61), floatPrecision) << e.name;
        }
    }
}

TEST_F(Renderer, TheMemorySinkGetsTheInputBesideTheFramesTheFileGets) {
    const std::string in = twoChannelInput(SF_FORMAT_WAV | SF_FORMAT_PCM_24, "in.wav", 60000);
    TRenderOptions options;
    options.channel = 2;
    std::vector<double> progress;
    options.progress = [&progress](double f) { progress.push_back(f); };
    TMemorySink sink;
    ASSERT_TRUE(renderRecording(filters, in, sink, options).file.ok);
    options.progress = {};
    ASSERT_TRUE(renderToWave(filters, in, path("out.wav"), options).file.ok);
    EXPECT_EQ(sink.rate, 48000);
    EXPECT_EQ(sink.input, channelOf(readRecording(in), 1));
    EXPECT_EQ(sink.stereo, readRecording(path("out.wav")).samples);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GE(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 1.0);
}

TEST_F(Renderer, LevelsAboveFullScaleAreKeptAndAnUnsetChannelIsSilent) {
    auto a = std::make_unique<TAnalyzer>();
    TRenderFilters f = TRenderFilters::fromAnalyzer(*a); // after start-up nothing is set
    EXPECT_EQ(f.set, (std::array<bool, 2>{false, false}));
    a->channels[0].filterIr[0] = 2.0; // +6 dB
    f = TRenderFilters::fromAnalyzer(*a);
    EXPECT_EQ(f.set, (std::array<bool, 2>{true, false}));

    std::vector<float> x(10000);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(0.9 * std::sin(0.01 * static_cast<double>(n)));
    writeRecording(path("sine.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, x);
    const TRenderResult r = renderToWave(f, path("sine.wav"), path("out.wav"));
    ASSERT_TRUE(r.file.ok) << r.file.message;
    EXPECT_EQ(r.channelSet, (std::array<bool, 2>{true, false}));
    const double inPeak = *std::max_element(x.begin(), x.end());
    EXPECT_NEAR(r.peak, 2 * inPeak, 1e-6);
    EXPECT_NEAR(r.peakDbfs, 20 * std::log10(2 * inPeak), 1e-5);
    EXPECT_TRUE(r.overFullScale());
    double squares = 0;
    for (const float v : x)
        squares += static_cast<double>(v) * v;
    const double inRms = std::sqrt(squares / static_cast<double>(x.size()));
    EXPECT_NEAR(r.inputRms, inRms, 1e-6);
    EXPECT_NEAR(r.outputRms, std::sqrt(4 * inRms * inRms / 2), 1e-6); // both sides together
    const TReadBack out = readRecording(path("out.wav"));
    ASSERT_EQ(out.samples.size(), 2 * x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        ASSERT_NEAR(out.samples[2 * n], 2 * x[n], 1e-6) << n;
        ASSERT_EQ(out.samples[2 * n + 1], 0.0f) << n;
    }

    // Nothing set at all: silence, and a peak of minus infinity.
    const TRenderResult silent = renderToWave(TRenderFilters{}, path("sine.wav"), path("silent.wav"));
    ASSERT_TRUE(silent.file.ok);
    EXPECT_EQ(silent.peak, 0.0);
    EXPECT_EQ(silent.peakDbfs, -std::numeric_limits<double>::infinity());
    EXPECT_FALSE(silent.overFullScale());
}

TEST_F(Renderer, TheHeaderIsFloatStereoAndTurnsRf64PastFourGigabytes) {
    const auto u32 = [](const std::string& h, size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(h[at + i]);
        return v;
    };
    const std::string small = floatWaveHeader(48000, 10);
    ASSERT_EQ(small.size(), 58u);
    EXPECT_EQ(small.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(small, 4), 50u + 80u);
    EXPECT_EQ(small.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(small, 20) & 0xFFFF, 3u); // IEEE float
    EXPECT_EQ(u32(small, 20) >> 16, 2u);    // channels
    EXPECT_EQ(u32(small, 24), 48000u);
    EXPECT_EQ(u32(small, 28), 48000u * 8);
    EXPECT_EQ(u32(small, 32), 8u | 32u << 16); // block align, bits
    EXPECT_EQ(small.substr(38, 4), "fact");
    EXPECT_EQ(u32(small, 46), 10u);
    EXPECT_EQ(small.substr(50, 4), "data");
    EXPECT_EQ(u32(small, 54), 80u);

    // The largest plain file, and one frame more.
    const std::int64_t lastRiff = (0xFFFFFFFFll - 50) / 8;
    EXPECT_EQ(floatWaveHeader(48000, lastRiff).substr(0, 4), "RIFF");
    const std::string big = floatWaveHeader(48000, lastRiff + 1);
    ASSERT_EQ(big.size(), 94u);
    EXPECT_EQ(big.substr(0, 4), "RF64");
    EXPECT_EQ(u32(big, 4), 0xFFFFFFFFu);
    EXPECT_EQ(big.substr(8, 8), "WAVEds64");
    std::uint64_t riff = 0, data = 0, frames = 0;
    std::memcpy(&riff, big.data() + 20, 8);
    std::memcpy(&data, big.data() + 28, 8);
    std::memcpy(&frames, big.data() + 36, 8);
    EXPECT_EQ(data, 8 * static_cast<std::uint64_t>(lastRiff + 1));
    EXPECT_EQ(riff, data + 94 - 8);
    EXPECT_EQ(frames, static_cast<std::uint64_t>(lastRiff + 1));
    EXPECT_EQ(big.substr(86, 4), "data");
}

TEST_F(Renderer, UnusableInputsAreRefusedNamingTheFileAndWriteNothing) {
    writeFile(path("text.wav"), "this is no recording\r\n");
    twoChannelInput(SF_FORMAT_WAV | SF_FORMAT_PCM_16, "two.wav", 100);
    std::vector<float> broken = noise(20000, 5);
    broken[15000] = std::numeric_limits<float>::quiet_NaN();
    writeRecording(path("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, broken);
    writeFile(path("out.wav"), "previous");
    const struct {
        std::string input;
        int channel;
        std::string message;
    } cases[] = {
        {path("missing.wav"), 1, "Cannot read \"" + path("missing.wav") + "\": "},
        {dir.string(), 1, "Cannot read \"" + dir.string() + "\": "},
        {path("text.wav"), 1, "Cannot read \"" + path("text.wav") + "\": "},
        {path("two.wav"), 3, "Cannot read \"" + path("two.wav") + "\": it has no channel 3 (it has 2)"},
        {path("two.wav"), 0, "Cannot read \"" + path("two.wav") + "\": it has no channel 0 (it has 2)"},
        {path("nan.wav"), 1,
         "Cannot read \"" + path("nan.wav") + "\": frame 15001 holds a value that is not a finite number"},
    };
    const std::vector<std::string> before = folderContents();
    for (const auto& c : cases) {
        TRenderOptions options;
        options.channel = c.channel;
        const TRenderResult r = renderToWave(filters, c.input, path("out.wav"), options);
        EXPECT_FALSE(r.file.ok) << c.input;
        EXPECT_THAT(r.file.message, HasSubstr(c.message));
        EXPECT_EQ(readFile(path("out.wav")), "previous") << c.input;
        EXPECT_EQ(folderContents(), before) << c.input;
    }
    // A NaN in a channel that is not rendered does not matter.
    std::vector<float> pair(40000, 0.25f);
    pair[2 * 15000 + 1] = std::numeric_limits<float>::quiet_NaN();
    writeRecording(path("nan2.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, pair);
    TRenderOptions first;
    first.channel = 1;
    EXPECT_TRUE(renderToWave(filters, path("nan2.wav"), path("out.wav"), first).file.ok);
    first.channel = 2;
    EXPECT_THAT(renderToWave(filters, path("nan2.wav"), path("out.wav"), first).file.message,
                HasSubstr("frame 15001 holds a value that is not a finite number"));
}

TEST_F(Renderer, AFailedOrCancelledWriteKeepsThePreviousFile) {
    const std::string in = twoChannelInput(SF_FORMAT_WAV | SF_FORMAT_PCM_16, "in.wav", 48000);
    writeFile(path("out.wav"), "previous");
    const std::vector<std::string> before = folderContents();
    {
        const TFileSizeLimit limit(100000); // the output is 384 KB
        ASSERT_TRUE(limit.enforced());
        const TRenderResult r = renderToWave(filters, in, path("out.wav"));
        EXPECT_FALSE(r.file.ok);
        EXPECT_EQ(r.file.message, "Cannot write \"" + path("out.wav") + "\": File too large");
    }
    EXPECT_EQ(readFile(path("out.wav")), "previous");
    EXPECT_EQ(folderContents(), before);

    const TRenderResult missingFolder = renderToWave(filters, in, path("none/out.wav"));
    EXPECT_THAT(missingFolder.file.message, HasSubstr("Cannot write \"" + path("none/out.wav") + "\": "));

    TRenderOptions options;
    int asked = 0;
    options.cancel = [&asked] { return ++asked > 3; };
    const TRenderResult cancelled = renderToWave(filters, in, path("out.wav"), options);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.file.ok);
    EXPECT_EQ(readFile(path("out.wav")), "previous");
    EXPECT_EQ(folderContents(), before);
}

TEST_F(Renderer, AFlacStreamThatDoesNotSayItsLengthRendersToItsEnd) {
    const std::string in = twoChannelInput(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "known.flac", 60000);
    // As an encoder writing to a pipe leaves it: STREAMINFO's 36-bit total of samples is 0.
    std::string bytes = readFile(in);
    ASSERT_EQ(bytes.substr(0, 4), "fLaC");
    bytes[21] = static_cast<char>(bytes[21] & 0xF0);
    bytes.replace(22, 4, 4, '\0');
    writeFile(path("stream.flac"), bytes);
    const TRenderResult r = renderToWave(filters, path("stream.flac"), path("out.wav"));
    ASSERT_TRUE(r.file.ok) << r.file.message;
    EXPECT_EQ(r.frames, 60000);
    ASSERT_TRUE(renderToWave(filters, in, path("known.wav")).file.ok);
    EXPECT_EQ(readFile(path("out.wav")), readFile(path("known.wav")));
}

TEST_F(Renderer, AnEmptyRecordingGivesAnEmptyWave) {
    writeRecording(path("empty.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, {});
    const TRenderResult r = renderToWave(filters, path("empty.wav"), path("out.wav"));
    ASSERT_TRUE(r.file.ok) << r.file.message;
    EXPECT_EQ(r.frames, 0);
    EXPECT_EQ(readFile(path("out.wav")), floatWaveHeader(22050, 0));
    EXPECT_EQ(readRecording(path("out.wav")).info.rate, 22050);
}

} // namespace
