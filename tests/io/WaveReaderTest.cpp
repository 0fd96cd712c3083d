#include "io/WaveReader.h"
#include "dsp/Analyzer.h"
#include "io/IoTestSupport.h"
#include "io/WaveBytes.h"

#include <gmock/gmock.h>

#include <cstdint>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {

// The sample pattern of the files in tests/data (see scripts/make-test-data).
std::int16_t patternSample(int i) {
    return i == 5 ? -32768 : static_cast<std::int16_t>((i * 7919) % 20001 - 10000);
}

std::string dataFile(const char* name) {
    const char* dir = std::getenv("TEST_DATA_DIR");
    return std::string(dir ? dir : IO_TEST_DATA_DIR) + "/" + name;
}

class WaveReader : public TScratchDir {
protected:
    TFileResult load(const std::string& bytes, int channel = 0) {
        writeFile(path("in.wav"), bytes);
        return readWave(*a, channel, path("in.wav"));
    }
    double mic(int i) const { return a->irData[i].mic; }
    // The mic member holds n pattern samples normalised by the negative peak, then zeros.
    void expectPattern(int n) const {
        for (int i = 0; i < blockLength; ++i)
            ASSERT_EQ(mic(i), i < n ? patternSample(i) / 32768.0 : 0.0) << "sample " << i;
    }
    void expectMicSilent() const {
        for (int i = 0; i < blockLength; ++i)
            ASSERT_EQ(mic(i), 0.0) << "sample " << i;
    }
    void expectPickupUntouched() const {
        EXPECT_EQ(a->irData[0].pickup, 1.0);
        for (int i = 1; i < blockLength; ++i)
            ASSERT_EQ(a->irData[i].pickup, 0.0);
    }

    std::unique_ptr<TAnalyzer> a = std::make_unique<TAnalyzer>();
};

TEST_F(WaveReader, SoxFileAt44kHz) {
    const TFileResult r = readWave(*a, 0, dataFile("sox-44k-3000.wav"));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(a->fs, 44100);
    expectPattern(3000);
    EXPECT_EQ(mic(5), -1.0); // the negative peak keeps its sign
    expectPickupUntouched();
}

TEST_F(WaveReader, FfmpegFileAt48kHzWithListChunkSetsRateAndBinFrequencies) {
    ASSERT_TRUE(readWave(*a, 0, dataFile("ffmpeg-48k-3000-list.wav")).ok);
    EXPECT_EQ(a->fs, 48000);
    EXPECT_DOUBLE_EQ(a->binFreq[1024], 6000.0);
    expectPattern(3000);
}

TEST_F(WaveReader, ChunkAfterDataIsNotReadAsSamples) {
    // bext before and a peak-envelope chunk after 1000 samples.
    ASSERT_TRUE(readWave(*a, 0, dataFile("ffmpeg-48k-1000-bext-levl.wav")).ok);
    expectPattern(1000);
}

TEST_F(WaveReader, LongFileContributesFirst8192Samples) {
    ASSERT_TRUE(readWave(*a, 0, dataFile("sox-44k-9000.wav")).ok);
    expectPattern(blockLength);
}

TEST_F(WaveReader, SilenceGivesZerosWithoutError) {
    EXPECT_TRUE(readWave(*a, 0, dataFile("sox-44k-silence.wav")).ok);
    expectMicSilent();
}

TEST_F(WaveReader, PickupChannelLeavesMicAloneAndPositivePeakBecomesOne) {
    ASSERT_TRUE(load(riff(chunk("fmt ", fmtBody()) + chunk("data", pcm({100, 400, -200}))), 1).ok);
    EXPECT_EQ(a->irData[0].pickup, 0.25);
    EXPECT_EQ(a->irData[1].pickup, 1.0);
    EXPECT_EQ(a->irData[2].pickup, -0.5);
    EXPECT_EQ(a->irData[0].mic, 1.0); // still the start impulse
}

TEST_F(WaveReader, UnsupportedFormatsOfRealWritersKeepTheirRate) {
    const std::pair<const char*, int> files[] = {{"sox-22k-stereo.wav", 22050},
                                                 {"sox-32k-8bit.wav", 32000},
                                                 {"sox-16k-float.wav", 16000},
                                                 {"sox-96k-24bit.wav", 96000}};
    for (const auto& [name, rate] : files) {
        a = std::make_unique<TAnalyzer>();
        const TFileResult r = readWave(*a, 0, dataFile(name));
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.cannotOpen);
        EXPECT_EQ(r.message, "Only mono 16 bit linear PCM WAVE \nfiles are supported") << name;
        EXPECT_EQ(a->fs, rate) << name;
        EXPECT_DOUBLE_EQ(a->binFreq[4095], 4095.0 * rate / 8192) << name;
        expectMicSilent(); // the start impulse is gone too
        expectPickupUntouched();
    }
}

TEST_F(WaveReader, FormatChunkSizeIsHonoured) {
    // 18 bytes (extension size 0) and 40 bytes (an extension that is not the samples).
    for (const std::string& extra : {std::string(2, '\0'), std::string(24, '\x55')}) {
        ASSERT_TRUE(load(riff(chunk("fmt ", fmtBody() + extra) + chunk("data", pcm({1000, -2000, 500})))).ok);
        EXPECT_EQ(mic(0), 0.5);
        EXPECT_EQ(mic(1), -1.0);
        EXPECT_EQ(mic(2), 0.25);
        EXPECT_EQ(mic(3), 0.0);
    }
}

TEST_F(WaveReader, OddChunkIsPadded) {
    const std::string odd = chunk("junk", "abc") + chunk("fmt ", fmtBody() + "z") + chunk("note", "x");
    ASSERT_TRUE(load(riff(odd + chunk("data", pcm({-300, 150})))).ok);
    EXPECT_EQ(mic(0), -1.0);
    EXPECT_EQ(mic(1), 0.5);
}

TEST_F(WaveReader, SamplesStopAtDeclaredDataSize) {
    // Three declared bytes hold one whole sample; the trailing bytes are another chunk.
    const std::string data = "data" + le32(3) + pcm({200, 7}) + chunk("LIST", pcm({30000, 30000}));
    ASSERT_TRUE(load(riff(chunk("fmt ", fmtBody()) + data)).ok);
    EXPECT_EQ(mic(0), 1.0);
    for (int i = 1; i < 10; ++i)
        EXPECT_EQ(mic(i), 0.0);
}

TEST_F(WaveReader, DeclaredSizePastEndReadsToEnd) {
    ASSERT_TRUE(load(riff(chunk("fmt ", fmtBody()) + "data" + le32(0xFFFFFFF0u) + pcm({10, 20, 40}))).ok);
    EXPECT_EQ(mic(0), 0.25);
    EXPECT_EQ(mic(2), 1.0);
    EXPECT_EQ(mic(3), 0.0);
}

TEST_F(WaveReader, ZeroIdentifierIsSkippedLikeAnyChunk) {
    const std::string zero = std::string(4, '\0') + le32(4) + pcm({32000, 32000});
    ASSERT_TRUE(load(riff(chunk("fmt ", fmtBody()) + zero + chunk("data", pcm({5, -10})))).ok);
    EXPECT_EQ(mic(0), 0.5);
    EXPECT_EQ(mic(1), -1.0);
}

TEST_F(WaveReader, ChunkWalkEndsAfterMostChunks) {
    // Empty chunks before the format and data chunks: the data chunk as the last chunk the walk
    // looks at is read, one chunk later it is not looked for.
    const std::string tail = chunk("fmt ", fmtBody()) + chunk("data", pcm({3, -6}));
    const std::string empty = chunk("JUNK", "");
    std::string chunks;
    for (int i = 0; i < waveMaxChunks - 2; ++i)
        chunks += empty;
    ASSERT_TRUE(load(riff(chunks + tail)).ok);
    EXPECT_EQ(mic(1), -1.0);
    EXPECT_EQ(load(riff(chunks + empty + tail)).message, waveNoFormat);
    expectMicSilent();
}

TEST_F(WaveReader, DataBeforeFormatIsRejected) {
    const TFileResult r = load(riff(chunk("data", pcm({5, -10})) + chunk("fmt ", fmtBody(48000))));
    EXPECT_EQ(r.message, "No WAVE fileformat specified");
    EXPECT_EQ(a->fs, 44100);
    expectMicSilent();
}

TEST_F(WaveReader, ShortFormatChunkIsRejected) {
    const TFileResult r = load(riff(chunk("fmt ", fmtBody(48000).substr(0, 14)) + chunk("data", pcm({1}))));
    EXPECT_EQ(r.message, "Only mono 16 bit linear PCM WAVE \nfiles are supported");
    EXPECT_EQ(a->fs, 44100);
    expectMicSilent();
}

TEST_F(WaveReader, SampleRateOutsideRangeIsRejectedAndKeepsRate) {
    for (std::uint32_t rate : {0u, 999u, 768001u, 0x80000000u, 0xFFFFFFFFu}) {
        const TFileResult r = load(riff(chunk("fmt ", fmtBody(rate)) + chunk("data", pcm({1}))));
        EXPECT_EQ(r.message, "Only mono 16 bit linear PCM WAVE \nfiles are supported") << rate;
        EXPECT_EQ(a->fs, 44100) << rate;
    }
    for (std::uint32_t rate : {1000u, 768000u}) {
        EXPECT_TRUE(load(riff(chunk("fmt ", fmtBody(rate)) + chunk("data", pcm({1})))).ok);
        EXPECT_EQ(a->fs, static_cast<std::int32_t>(rate));
    }
}

TEST_F(WaveReader, MessagesForBrokenHeaders) {
    const std::string fmt = chunk("fmt ", fmtBody(48000));
    const std::pair<std::string, const char*> cases[] = {
        {"", "Unknown format, is this a WAVE file?"},
        {"RIF", "Unknown format, is this a WAVE file?"},
        {"RIFX" + le32(4) + "WAVE", "Unknown format, is this a WAVE file?"},
        {"Sonmira analyser impulse response\r\n", "Unknown format, is this a WAVE file?"},
        {"RIFF", "No WAVE fileformat specified"},
        {"RIFF" + le32(4) + "WA", "No WAVE fileformat specified"},
        {riff(""), "No WAVE fileformat specified"},
        {riff("fmt "), "No WAVE fileformat specified"},
        {riff(fmt.substr(0, 20)), "No WAVE fileformat specified"}, // ends inside the fields
        {riff(chunk("LIST", std::string(6, 'x'))), "No WAVE fileformat specified"},
        {riff("junk" + le32(0xFFFFFFFFu) + "data"), "No WAVE fileformat specified"}, // skip past the end
        {riff(chunk("fmt ", fmtBody(44100, 1, 16, 3))),
         "Only mono 16 bit linear PCM WAVE \nfiles are supported"},
    };
    for (const auto& [bytes, message] : cases) {
        a = std::make_unique<TAnalyzer>();
        const TFileResult r = load(bytes);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, message) << testing::PrintToString(bytes);
        expectMicSilent();
    }
}

TEST_F(WaveReader, AcceptedFormatChunkSetsRateEvenWithoutData) {
    EXPECT_EQ(load(riff(chunk("fmt ", fmtBody(48000)))).message, "No WAVE fileformat specified");
    EXPECT_EQ(a->fs, 48000);
}

TEST_F(WaveReader, FormTypeIsNotChecked) {
    EXPECT_TRUE(load(riff(chunk("fmt ", fmtBody()) + chunk("data", pcm({9})), "AVI ")).ok);
    EXPECT_EQ(mic(0), 1.0);
}

TEST_F(WaveReader, PathsThatAreNotRegularFilesCannotBeOpened) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    a->irData[3].mic = 0.75;
    for (const std::string& p :
         {path("missing.wav"), dir.string(), path("fifo"), std::string("/dev/zero"), std::string()}) {
        const TFileResult r = readWave(*a, 0, p);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.cannotOpen) << p;
        EXPECT_THAT(r.message, testing::HasSubstr("\"" + p + "\"")) << p;
    }
    EXPECT_EQ(a->irData[0].mic, 1.0);
    EXPECT_EQ(a->irData[3].mic, 0.75);
    EXPECT_EQ(a->fs, 44100);
}

TEST(WaveReaderPath, StripPathKeepsNameAndExtension) {
    EXPECT_EQ(stripPath("/home/me/IR/mic 1.wav"), "mic 1.wav");
    EXPECT_EQ(stripPath("pickup.wav"), "pickup.wav");
    EXPECT_EQ(stripPath("/a.b/readme"), "readme");
    EXPECT_EQ(stripPath("/tmp/"), "");
    EXPECT_EQ(stripPath(""), "");
}

} // namespace
