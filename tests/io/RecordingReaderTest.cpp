#include "io/RecordingReader.h"
#include "IoTestSupport.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

class RecordingReader : public TScratchDir {
protected:
    // Writes interleaved frames in the given libsndfile format, as 32-bit integers (libsndfile
    // writes float into integer formats at 32767/32768 of full scale, integers exactly).
    std::string write(const std::string& name, int format, const std::vector<float>& frames,
                      int channels = 2) {
        const std::string p = path(name);
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (!f)
            return p;
        const int sub = format & SF_FORMAT_SUBMASK;
        if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {
            sf_writef_float(f, frames.data(), static_cast<sf_count_t>(frames.size()) / channels);
        } else {
            std::vector<int> ints;
            for (const float v : frames)
                ints.push_back(static_cast<int>(std::ldexp(static_cast<double>(v), 31)));
            sf_writef_int(f, ints.data(), static_cast<sf_count_t>(ints.size()) / channels);
        }
        sf_close(f);
        return p;
    }
};

// Full scale, half scale and silence in both channels.
const std::vector<float> samples = {-1.0f, 0.5f, 0.0f, -0.5f, 0.25f, 0.0f};

} // namespace

TEST_F(RecordingReader, ReadsEveryCommonEncodingAtTrueScale) {
    const struct {
        const char* name;
        int format;
        bool integer;
    } cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, true},
        {"pcm32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, true},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, false},
        {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, false},
        {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, true},
        {"rf64.wav", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, true},
        {"w64.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, false},
        {"take.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
        {"take.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRecordingReader reader;
        ASSERT_TRUE(reader.open(write(c.name, c.format, samples)).ok);
        EXPECT_EQ(reader.info().channels, 2);
        EXPECT_EQ(reader.info().rate, 48000);
        EXPECT_EQ(reader.info().frames, 3);
        EXPECT_EQ(reader.info().integer, c.integer);
        std::vector<float> got(8);
        ASSERT_EQ(reader.read(got.data(), 4), 3);
        for (std::size_t i = 0; i < samples.size(); ++i)
            EXPECT_EQ(got[i], samples[i]) << i;
        EXPECT_EQ(reader.read(got.data(), 4), 0);
        ASSERT_TRUE(reader.rewind());
        EXPECT_EQ(reader.read(got.data(), 1), 1);
        EXPECT_EQ(got[0], -1.0f);
    }
}

TEST_F(RecordingReader, FloatBeyondFullScaleIsKept) {
    TRecordingReader reader;
    ASSERT_TRUE(reader.open(write("loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, {3.0f, -2.0f})).ok);
    std::vector<float> got(2);
    ASSERT_EQ(reader.read(got.data(), 1), 1);
    EXPECT_EQ(got[0], 3.0f);
    EXPECT_EQ(got[1], -2.0f);
}

TEST_F(RecordingReader, SamplesThatAreNotNumbersComeAsStoredForTheUserToJudgeAndFullScaleIsPerEncoding) {
    TRecordingReader reader;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string p = write("nan.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, {0.5f, nan});
    ASSERT_TRUE(reader.open(p).ok);
    std::vector<float> got(2);
    EXPECT_EQ(reader.read(got.data(), 1), 1);
    EXPECT_EQ(got[0], 0.5f);
    EXPECT_TRUE(std::isnan(got[1]));
    EXPECT_EQ(reader.position(), 1);
    EXPECT_EQ(reader.nonFiniteMessage(1),
              "Cannot read \"" + p + "\": frame 1 holds a value that is not a finite number");
    EXPECT_TRUE(std::isinf(reader.info().fullScale));
    // The loudest sample each encoding holds reads as its full scale.
    for (const auto& [format, scale] : {std::pair{SF_FORMAT_ALAW, 32256.0 / 32768},
                                        {SF_FORMAT_ULAW, 32124.0 / 32768},
                                        {SF_FORMAT_PCM_16, 32767.0 / 32768},
                                        {SF_FORMAT_PCM_U8, 127.0 / 128}}) {
        ASSERT_TRUE(reader.open(write("loud.wav", SF_FORMAT_WAV | format, {-1.0f, 0.99999f})).ok);
        EXPECT_EQ(reader.read(got.data(), 1), 1);
        EXPECT_GE(std::fabs(got[0]), reader.info().fullScale) << format;
        EXPECT_GE(std::fabs(got[1]), reader.info().fullScale) << format;
        EXPECT_DOUBLE_EQ(reader.info().fullScale, scale) << format;
    }
}

TEST_F(RecordingReader, UnusableFilesAreRefusedNamingThem) {
    writeFile(path("text.wav"), "this is not audio at all, only some text\n");
    ASSERT_EQ(::mkfifo(path("fifo.wav").c_str(), 0600), 0);
    for (const char* name : {"text.wav", "missing.wav", "fifo.wav", ""}) {
        SCOPED_TRACE(name);
        TRecordingReader reader;
        const TFileResult r = reader.open(path(name));
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find("\"" + path(name) + "\""), std::string::npos) << r.message;
        std::vector<float> got(2);
        EXPECT_EQ(reader.read(got.data(), 1), -1);
    }
}
