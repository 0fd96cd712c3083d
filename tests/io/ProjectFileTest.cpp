#include "io/ProjectFile.h"
#include "dsp/Analyzer.h"
#include "io/IoTestSupport.h"

#include <gmock/gmock.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <sys/stat.h>

using namespace std::string_literals;

namespace {

const std::string header =
    "Sonmira analyser impulse response\r\n{\r\n release=0 0 1 20040318\r\n fs=44100\r\n"
    " N=8192\r\n data=\r\n";
const std::string footer = " <##++--ENDOFDATA--++##> \r\n}\r\n";

class ProjectFile : public TScratchDir {
protected:
    TFileResult open(const std::string& text) {
        writeFile(path("p.smp"), text);
        return readProject(*a, path("p.smp"));
    }
    // Marks every pair so that a test can see which ones a file replaced.
    void fillWith(double v) {
        for (IrPair& p : a->irData)
            p = IrPair{v, -v};
    }
    void expectUnchanged(double v) const {
        for (const IrPair& p : a->irData)
            ASSERT_TRUE(p.mic == v && p.pickup == -v);
        EXPECT_EQ(a->release, (std::array<std::int32_t, 4>{0, 0, 1, 20040318}));
        EXPECT_EQ(a->fs, 44100);
    }

    std::unique_ptr<TAnalyzer> a = std::make_unique<TAnalyzer>();
};

TEST_F(ProjectFile, LayoutByteForByte) {
    a->irData[1] = IrPair{-0.5, 1.23456e-7};
    ASSERT_TRUE(writeProject(*a, path("p.smp")).ok);
    const std::string text = readFile(path("p.smp"));
    const std::vector<std::string> lines = crlfLines(text);
    ASSERT_EQ(lines.size(), 8200u);
    EXPECT_EQ(text.substr(0, header.size()), header);
    EXPECT_EQ(lines[6], " 1.000e+00  1.000e+00");
    EXPECT_EQ(lines[7], " -5.000e-01  1.235e-07");
    EXPECT_EQ(lines[8], " 0.000e+00  0.000e+00");
    EXPECT_EQ(text.substr(text.size() - footer.size()), footer);
}

TEST_F(ProjectFile, RoundTripKeepsFourSignificantDigits) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    TAnalyzer& saved = *std::make_unique<TAnalyzer>().release();
    std::unique_ptr<TAnalyzer> owner(&saved);
    for (IrPair& p : saved.irData)
        p = IrPair{dist(gen), dist(gen) * 1e-3};
    saved.release = {3, -1, 7, 20240101};
    saved.setFs(48000);
    ASSERT_TRUE(writeProject(saved, path("p.smp")).ok);
    ASSERT_TRUE(readProject(*a, path("p.smp")).ok);
    for (int i = 0; i < blockLength; ++i) {
        ASSERT_NEAR(a->irData[i].mic, saved.irData[i].mic, 5e-4 * std::fabs(saved.irData[i].mic)) << i;
        ASSERT_NEAR(a->irData[i].pickup, saved.irData[i].pickup, 5e-4 * std::fabs(saved.irData[i].pickup))
            << i;
    }
    EXPECT_EQ(a->release, saved.release);
    EXPECT_EQ(a->fs, 48000);
    EXPECT_DOUBLE_EQ(a->binFreq[1], 48000.0 / 8192);
}

TEST_F(ProjectFile, ThreeNumbersOnALineShiftLaterValues) {
    ASSERT_TRUE(open(header + " 1 2\r\n 3 4 5\r\n 6 7\r\n" + footer).ok);
    EXPECT_EQ(a->irData[0].mic, 1);
    EXPECT_EQ(a->irData[1].pickup, 4);
    EXPECT_EQ(a->irData[2].mic, 5); // mic and pickup trade places from here on
    EXPECT_EQ(a->irData[2].pickup, 6);
    EXPECT_EQ(a->irData[3].mic, 7);
    EXPECT_EQ(a->irData[3].pickup, 0.0);
}

TEST_F(ProjectFile, PairsTheDataDoesNotReachAreZero) {
    fillWith(0.25);
    std::string data;
    for (int i = 0; i < 100; ++i)
        data += " 5.000e-01  -5.000e-01\r\n";
    ASSERT_TRUE(open(header + data + footer).ok);
    for (int i = 0; i < blockLength; ++i) {
        const double expected = i < 100 ? 0.5 : 0.0;
        ASSERT_TRUE(a->irData[i].mic == expected && a->irData[i].pickup == -expected) << i;
    }
}

TEST_F(ProjectFile, EachDataBlockStartsAtTheFirstPair) {
    ASSERT_TRUE(open(header + " 1 2\r\n 3 4\r\n <##++--ENDOFDATA--++##> \r\n data=\r\n 9 8\r\n" + footer).ok);
    EXPECT_EQ(a->irData[0].mic, 9);
    EXPECT_EQ(a->irData[0].pickup, 8);
    EXPECT_EQ(a->irData[1].mic, 3);
}

TEST_F(ProjectFile, ReleaseLineTakesFirstFourOfSixNumbers) {
    const std::string text = "Sonmira analyser impulse response\r\n{\r\n release=9 8 7 6 5 4\r\n data=\r\n";
    ASSERT_TRUE(open(text + footer).ok);
    EXPECT_EQ(a->release, (std::array<std::int32_t, 4>{9, 8, 7, 6}));
}

TEST_F(ProjectFile, MissingEndMarkerOrBraceReadsToTheEnd) {
    ASSERT_TRUE(open(header + " 1 2\r\n 3 4").ok);
    EXPECT_EQ(a->irData[1].pickup, 4);
    ASSERT_TRUE(open(header + " 5 6\r\n <##++--ENDOFDATA--++##> \r\n").ok);
    EXPECT_EQ(a->irData[0].mic, 5);
    EXPECT_EQ(a->irData[1].mic, 0.0);
}

TEST_F(ProjectFile, LinesAfterClosingBraceAreIgnored) {
    ASSERT_TRUE(open(header + " 1 2\r\n" + footer + " release=5 5 5 5\r\n").ok);
    EXPECT_EQ(a->release[0], 0);
}

TEST_F(ProjectFile, LfLineEndsAndLongLinesAreReadWhole) {
    std::string longLine;
    for (int i = 0; i < 400; ++i)
        longLine += " 1.000e-02"; // 4000 characters, 400 values
    std::string text = "Sonmira analyser impulse response\n{\n release=1 2 3 4\n fs=96000\n data=\n" +
                       longLine + "\n 7 8\n <##++--ENDOFDATA--++##> \n}\n";
    ASSERT_TRUE(open(text).ok);
    EXPECT_EQ(a->release, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(a->fs, 96000);
    EXPECT_EQ(a->irData[199].pickup, 0.01);
    EXPECT_EQ(a->irData[200].mic, 7);
    EXPECT_EQ(a->irData[200].pickup, 8);
}

TEST_F(ProjectFile, UnusableValuesReadAsZero) {
    ASSERT_TRUE(
        open(header + " nan -inf\r\n 1e400 2e6\r\n -1000001 abc\r\n 1e6 -3.5x\r\n +2.5e-1 .5\r\n" + footer)
            .ok);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(a->irData[i].mic == 0.0 && a->irData[i].pickup == 0.0) << i;
    EXPECT_EQ(a->irData[3].mic, 1e6);
    EXPECT_EQ(a->irData[3].pickup, -3.5);
    EXPECT_EQ(a->irData[4].mic, 0.25);
    EXPECT_EQ(a->irData[4].pickup, 0.5);
}

TEST_F(ProjectFile, SampleRateAppliedOnlyWhenWholeAndInRange) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {" fs=48000", 48000}, {" fs=768000", 768000}, {" fs=1000", 1000},         {" fs=999", 44100},
        {" fs=0", 44100},     {" fs=48000.5", 44100}, {" fs=abc", 44100},         {" fs=", 44100},
        {"", 44100},          {" fs=800000", 44100},  {" fs=99999999999", 44100},
    };
    for (const auto& [line, rate] : cases) {
        a = std::make_unique<TAnalyzer>();
        ASSERT_TRUE(open("Sonmira analyser impulse response\r\n{\r\n" + line + "\r\n data=\r\n" + footer).ok);
        EXPECT_EQ(a->fs, rate) << line;
        EXPECT_DOUBLE_EQ(a->binFreq[8], rate / 1024.0) << line;
    }
}

TEST_F(ProjectFile, OtherFilesAreRejectedAndChangeNothing) {
    fillWith(0.5);
    const std::string wave = "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xac\0\0 data=\r\n 1 2\r\n"s;
    const std::string notFirst = "\r\nSonmira analyser impulse response\r\n{\r\n data=\r\n 1 1\r\n";
    for (const std::string& text :
         {wave, notFirst, std::string(), "Sonmira analyser data\r\n{\r\n data=\r\n"s}) {
        const TFileResult r = open(text);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.cannotOpen);
        EXPECT_THAT(r.message, testing::HasSubstr("is not a project file"));
        EXPECT_THAT(r.message, testing::HasSubstr(path("p.smp")));
    }
    const TFileResult noData =
        open("Sonmira analyser impulse response\r\n{\r\n release=1 1 1 1\r\n fs=48000\r\n}\r\n");
    EXPECT_THAT(noData.message, testing::HasSubstr("no \"data\" line"));
    expectUnchanged(0.5);
}

TEST_F(ProjectFile, PathsThatAreNotRegularFilesCannotBeOpened) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    fillWith(0.5);
    for (const std::string& p : {path("missing.smp"), dir.string(), path("fifo"), std::string("/dev/zero")}) {
        const TFileResult r = readProject(*a, p);
        EXPECT_TRUE(r.cannotOpen) << p;
        EXPECT_FALSE(r.ok);
    }
    expectUnchanged(0.5);
}

TEST_F(ProjectFile, WriteFailureIsReported) {
    const TFileResult r = writeProject(*a, path("no/such/folder/p.smp"));
    EXPECT_FALSE(r.ok);
    EXPECT_THAT(r.message, testing::HasSubstr(path("no/such/folder/p.smp")));
}

TEST_F(ProjectFile, NumbersIgnoreTheProcessLocale) {
    a->irData[0].mic = 0.5;
    a->setFs(48000);
    TCommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << "no locale with a decimal comma installed";
    ASSERT_TRUE(writeProject(*a, path("p.smp")).ok);
    EXPECT_EQ(crlfLines(readFile(path("p.smp")))[6], " 5.000e-01  1.000e+00");
    a->irData[0].mic = 0.0;
    ASSERT_TRUE(readProject(*a, path("p.smp")).ok);
    EXPECT_EQ(a->irData[0].mic, 0.5);
}

TEST(ProjectKeys, ReadKeyIntsCutsTheLineAfterItsFirstPiece) {
    std::array<std::int32_t, 4> target{-1, -1, -1, -1};
    std::string line = " release=12 -3 x7 +4 99";
    ASSERT_TRUE(readKeyInts(line, "release", target));
    EXPECT_EQ(target, (std::array<std::int32_t, 4>{12, -3, 0, 4}));
    EXPECT_EQ(line, " release");
    std::int32_t one[1] = {5};
    EXPECT_FALSE(readKeyInts(line, "fs", one));

    std::string shortLine = " release=8";
    ASSERT_TRUE(readKeyInts(shortLine, "release", target));
    EXPECT_EQ(target, (std::array<std::int32_t, 4>{8, -3, 0, 4})); // missing values keep theirs

    std::string both = " release=1 fs=2"; // "fs" is just a piece; after the match the key is gone
    ASSERT_TRUE(readKeyInts(both, "release", target));
    EXPECT_EQ(target, (std::array<std::int32_t, 4>{1, 0, 2, 4}));
    EXPECT_FALSE(readKeyInts(both, "fs", one));
    EXPECT_EQ(one[0], 5);
}

} // namespace
