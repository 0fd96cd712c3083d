// Reading files that are not what they claim to be: paths that cannot be read, huge and sparse
// files, binary garbage. Each is refused at once with a message and leaves the analyzer as it
// was, or is read and then analysed to finite results.
#include "dsp/Analyzer.h"
#include "io/IoTestSupport.h"
#include "io/ProjectFile.h"
#include "io/WaveBytes.h"
#include "io/WaveReader.h"
#include "support/FileFaults.h"

#include <gmock/gmock.h>

#include <cmath>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace {

constexpr std::int64_t twoGigabytes = std::int64_t{1} << 31;

// `head` followed by a hole up to `size` bytes: the file system stores only the head.
void writeSparseFile(const std::string& path, const std::string& head, std::int64_t size) {
    writeFile(path, head);
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
}

// `n` bytes of NULs and bytes 0x80..0xFF, with no line end, blank or '='.
std::string binaryGarbage(std::size_t n) {
    std::string out;
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        const unsigned byte = x >> 24; // a NUL for one in eight, else 0x80..0xFF
        out += static_cast<char>(byte < 0x20 ? 0u : 0x80u | (byte & 0x7Fu));
    }
    return out;
}

const std::string projectHead =
    "Sonmira analyser impulse response\r\n{\r\n release=0 0 1 20040318\r\n fs=44100\r\n"
    " N=8192\r\n data=\r\n";
const std::string projectFoot = " <##++--ENDOFDATA--++##> \r\n}\r\n";

class HostileInput : public TScratchDir {
protected:
    void SetUp() override {
        TScratchDir::SetUp();
        // A state no file here holds: both responses marked, a rate other than the start value.
        for (int i = 0; i < blockLength; ++i)
            a->irData[i] = IrPair{std::sin(0.1 * i) * 0.5, std::cos(0.03 * i) * 0.25};
        a->setFs(48000);
        before = a->irData;
    }

    void expectUnchanged(const std::string& what) const {
        EXPECT_EQ(a->fs, 48000) << what;
        EXPECT_EQ(a->binFreq[1], 48000.0 / blockLength) << what;
        for (int i = 0; i < blockLength; ++i)
            ASSERT_TRUE(a->irData[i].mic == before[i].mic && a->irData[i].pickup == before[i].pickup)
                << what << ": pair " << i;
    }

    // Runs the analysis on whatever the files left and stores it as the left channel.
    void expectFiniteAnalysis(const std::string& what) {
        a->analysisReady = true;
        a->computeResponses();
        a->setChannel(0);
        const auto finite = [&](const auto& values, const char* name) {
            for (std::size_t i = 0; i < values.size(); ++i) {
                const auto& v = values[i];
                if constexpr (std::is_same_v<std::decay_t<decltype(v)>, Complex>)
                    ASSERT_TRUE(std::isfinite(v.re) && std::isfinite(v.im))
                        << what << ": " << name << "[" << i << "]";
                else
                    ASSERT_TRUE(std::isfinite(v)) << what << ": " << name << "[" << i << "]";
            }
        };
        finite(a->micSpectrum, "micSpectrum");
        finite(a->pickupSpectrum, "pickupSpectrum");
        finite(a->filterSpectrum, "filterSpectrum");
        finite(a->filterIr, "filterIr");
        finite(a->micDb, "micDb");
        finite(a->pickupDb, "pickupDb");
        finite(a->filterDb, "filterDb");
        finite(a->channels[0].filterIr, "channels[0].filterIr");
        finite(a->channels[0].filterSpectrum, "channels[0].filterSpectrum");
        finite(a->channels[0].filterDb, "channels[0].filterDb");
    }

    std::unique_ptr<TAnalyzer> a = std::make_unique<TAnalyzer>();
    std::array<IrPair, blockLength> before{};
};

TEST_F(HostileInput, PathsThatCannotBeReadAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0); // no writer: opening it must not wait
    writeFile(path("gone.wav"), riff(chunk("fmt ", fmtBody()) + chunk("data", pcm({1}))));
    ASSERT_EQ(::unlink(path("gone.wav").c_str()), 0);
    writeFile(path("locked.wav"), riff(chunk("fmt ", fmtBody()) + chunk("data", pcm({1}))));
    ASSERT_EQ(::chmod(path("locked.wav").c_str(), 0), 0);
    std::string longPath = dir.string();
    while (longPath.size() < 10000)
        longPath += "/" + std::string(99, 'd');
    longPath.resize(10000);

    const std::pair<std::string, std::string> cases[] = {
        {dir.string(), "is a folder"},
        {path("fifo"), "not a regular file"},
        {"/dev/null", "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {path("gone.wav"), "No such file or directory"},
        {path("locked.wav"), "Permission denied"},
        {longPath, "File name too long"},
    };
    const TNoPermissionOverride asUser;
    ASSERT_TRUE(asUser.enforced());
    for (const auto& [p, reason] : cases) {
        const std::string expected = "Cannot open \"" + p + "\": " + reason;
        const std::string shown = p.substr(0, 80);
        for (int channel : {0, 1}) {
            const TFileResult r = readWave(*a, channel, p);
            EXPECT_TRUE(!r.ok && r.cannotOpen) << shown;
            EXPECT_EQ(r.message, expected) << "channel " << channel;
        }
        const TFileResult r = readProject(*a, p);
        EXPECT_TRUE(!r.ok && r.cannotOpen) << shown;
        EXPECT_EQ(r.message, expected);
        expectUnchanged(shown);
    }
}

TEST_F(HostileInput, WaveDataSizeOfFourGigabytesReadsWhatIsThere) {
    writeFile(path("big.wav"),
              riff(chunk("fmt ", fmtBody()) + "data" + le32(0xFFFFFFFFu) + pcm({-64, 32, 16})));
    for (int channel : {0, 1})
        ASSERT_TRUE(readWave(*a, channel, path("big.wav")).ok);
    EXPECT_EQ(a->fs, 44100);
    EXPECT_EQ(a->irData[0].mic, -1.0);
    EXPECT_EQ(a->irData[1].pickup, 0.5);
    EXPECT_EQ(a->irData[2].mic, 0.25);
    EXPECT_EQ(a->irData[3].pickup, 0.0);
    expectFiniteAnalysis("data size 0xFFFFFFFF");
}

TEST_F(HostileInput, SparseWaveOfTwoGigabytesReadsItsFirstSamples) {
    const std::string head = riff(chunk("fmt ", fmtBody(96000)) + "data" + le32(0x7FFFFFD4u));
    writeSparseFile(path("samples.wav"), head + pcm({7, -14}), twoGigabytes);
    writeSparseFile(path("silence.wav"), head, twoGigabytes);
    ASSERT_TRUE(readWave(*a, 0, path("samples.wav")).ok);
    EXPECT_EQ(a->fs, 96000);
    EXPECT_EQ(a->irData[0].mic, 0.5);
    EXPECT_EQ(a->irData[1].mic, -1.0);
    for (int i = 2; i < blockLength; ++i)
        ASSERT_EQ(a->irData[i].mic, 0.0) << i;
    expectFiniteAnalysis("sparse mic");
    // A silent pickup (and then a silent mic too) is read and analysed like any other.
    ASSERT_TRUE(readWave(*a, 1, path("silence.wav")).ok);
    for (const IrPair& p : a->irData)
        ASSERT_EQ(p.pickup, 0.0);
    expectFiniteAnalysis("silent pickup");
    ASSERT_TRUE(readWave(*a, 0, path("silence.wav")).ok);
    expectFiniteAnalysis("silent mic and pickup");
}

TEST_F(HostileInput, WaveOfZerosEndsItsChunkWalkSoon) {
    // After the header, 268 million chunk headers of eight zero bytes: the walk gives up long
    // before the end instead of taking most of a minute.
    writeSparseFile(path("zeros.wav"), "RIFF" + le32(0xFFFFFFF8u) + "WAVE", twoGigabytes);
    for (int channel : {0, 1}) {
        const TFileResult r = readWave(*a, channel, path("zeros.wav"));
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.cannotOpen);
        EXPECT_EQ(r.message, waveNoFormat);
    }
    for (const IrPair& p : a->irData)
        ASSERT_TRUE(p.mic == 0.0 && p.pickup == 0.0); // a rejected file leaves its channel silent
    EXPECT_EQ(a->fs, 48000);
}

TEST_F(HostileInput, WaveOfBinaryGarbageIsRejected) {
    const std::pair<std::string, const char*> cases[] = {
        {binaryGarbage(65536), waveUnknownFormat},
        {"RIFF" + binaryGarbage(65536), waveNoFormat},
    };
    for (const auto& [bytes, message] : cases) {
        writeFile(path("garbage.wav"), bytes);
        EXPECT_EQ(readWave(*a, 1, path("garbage.wav")).message, message);
        for (const IrPair& p : a->irData)
            ASSERT_EQ(p.pickup, 0.0);
        EXPECT_EQ(a->fs, 48000);
    }
    for (int i = 0; i < blockLength; ++i)
        ASSERT_EQ(a->irData[i].mic, before[i].mic);
}

TEST_F(HostileInput, ProjectWithATenMegabyteLineIsRejected) {
    const std::string line(10 << 20, '1');
    const std::pair<std::string, std::string> cases[] = {
        {projectHead + " 1 " + line + "\r\n" + projectFoot, "a line is too long"},
        {"Sonmira analyser impulse response\r\n{\r\n release=" + line + "\r\n data=\r\n 1 1\r\n",
         "a line is too long"},
        {"Sonmira analyser impulse response" + line + "\r\n data=\r\n 1 1\r\n", "a line is too long"},
        {line + "\r\n" + projectHead + projectFoot, "is not a project file"},
    };
    for (const auto& [text, reason] : cases) {
        writeFile(path("long.smp"), text);
        const TFileResult r = readProject(*a, path("long.smp"));
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.cannotOpen);
        EXPECT_THAT(r.message, testing::HasSubstr("\"" + path("long.smp") + "\""));
        EXPECT_THAT(r.message, testing::HasSubstr(reason));
        expectUnchanged(text.substr(0, 60));
    }
}

TEST_F(HostileInput, ProjectWithHundredThousandDataLinesKeepsTheFirst8192Pairs) {
    std::string text = projectHead;
    for (int i = 0; i < 100000; ++i)
        text += " " + std::to_string(i) + "e-4  -" + std::to_string(i % 1000) + "e-3\r\n";
    writeFile(path("many.smp"), text + projectFoot);
    const TFileResult r = readProject(*a, path("many.smp"));
    ASSERT_TRUE(r.ok) << r.message;
    for (int i = 0; i < blockLength; ++i) {
        ASSERT_EQ(a->irData[i].mic, std::stod(std::to_string(i) + "e-4")) << i;
        ASSERT_EQ(a->irData[i].pickup, -std::stod(std::to_string(i % 1000) + "e-3")) << i;
    }
    EXPECT_EQ(a->fs, 44100);
    expectFiniteAnalysis("100000 data lines");
}

TEST_F(HostileInput, ProjectOfBinaryGarbageIsRejected) {
    const std::string garbage = binaryGarbage(65536);
    const std::pair<std::string, std::string> cases[] = {
        {garbage, "is not a project file"},
        {std::string(projectFirstLine) + "\r\n" + garbage, "no \"data\" line"},
        {std::string(projectFirstLine) + "\r\n" + garbage + "\r\n" + garbage + "\n", "no \"data\" line"},
    };
    for (const auto& [text, reason] : cases) {
        writeFile(path("garbage.smp"), text);
        const TFileResult r = readProject(*a, path("garbage.smp"));
        EXPECT_FALSE(r.ok);
        EXPECT_THAT(r.message, testing::HasSubstr(reason));
        expectUnchanged(reason);
    }
}

TEST_F(HostileInput, ProjectDataOfBinaryGarbageReadsAsZeros) {
    // Garbage pieces, and numbers glued to NULs or high bytes, are no numbers.
    const std::string glued = std::string("0.5\0", 4) + "7 \x80"
                                                        "0.25 \xFF\xFE 0.75\x90";
    writeFile(path("garbage.smp"),
              projectHead + glued + "\r\n" + binaryGarbage(65536) + "\r\n" + projectFoot);
    const TFileResult r = readProject(*a, path("garbage.smp"));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(a->irData[0].mic, 0.5); // the number before the NUL
    EXPECT_EQ(a->irData[0].pickup, 0.0);
    EXPECT_EQ(a->irData[1].mic, 0.0);
    EXPECT_EQ(a->irData[1].pickup, 0.75);
    EXPECT_EQ(a->irData[2].mic, 0.0);
    for (int i = 2; i < blockLength; ++i)
        ASSERT_TRUE(a->irData[i].mic == 0.0 && a->irData[i].pickup == 0.0) << i;
    expectFiniteAnalysis("garbage data");
}

// Short lines past any project file's size: refused after 64 MB instead of read to the end.
TEST_F(HostileInput, ProjectFileGoingOnPastSixtyFourMegabytesIsRejected) {
    const std::string filler(projectMaxFileSize, '\n');
    writeFile(path("huge.smp"), projectHead + " 0.5 0.5\r\n" + filler);
    const TFileResult r = readProject(*a, path("huge.smp"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Cannot read \"" + path("huge.smp") +
                             "\": the file is far larger than a project file (over 64 MB)");
    expectUnchanged("huge project");

    // What follows a closing brace is never read, so it does not count.
    writeFile(path("tail.smp"), projectHead + " 0.5 0.25\r\n" + projectFoot + filler);
    const TFileResult tail = readProject(*a, path("tail.smp"));
    ASSERT_TRUE(tail.ok) << tail.message;
    EXPECT_EQ(a->irData[0].mic, 0.5);
    EXPECT_EQ(a->irData[0].pickup, 0.25);
}

TEST_F(HostileInput, SparseProjectOfTwoGigabytesIsRejected) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "is not a project file"},
        {projectHead + " 0.5 0.5\r\n", "a line is too long"},
    };
    for (const auto& [head, reason] : cases) {
        writeSparseFile(path("sparse.smp"), head, twoGigabytes);
        const TFileResult r = readProject(*a, path("sparse.smp"));
        EXPECT_FALSE(r.ok);
        EXPECT_THAT(r.message, testing::HasSubstr(reason));
        expectUnchanged(reason);
    }
}

} // namespace
