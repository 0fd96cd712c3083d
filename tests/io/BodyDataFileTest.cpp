#include "io/BodyDataFile.h"
#include "dsp/Analyzer.h"
#include "io/IoTestSupport.h"

#include <gmock/gmock.h>

#include <memory>

namespace {

class BodyDataFile : public TScratchDir {
protected:
    std::vector<std::string> exportLines(const std::string& name = "Guitar") {
        const TFileResult r = writeBodyData(*a, name, path("out.smd"));
        EXPECT_TRUE(r.ok) << r.message;
        return crlfLines(readFile(path("out.smd")));
    }

    std::unique_ptr<TAnalyzer> a = std::make_unique<TAnalyzer>();
};

TEST_F(BodyDataFile, LayoutWithStartValues) {
    const std::vector<std::string> lines = exportLines();
    ASSERT_EQ(lines.size(), 8205u);
    const std::vector<std::string> head(lines.begin(), lines.begin() + 11);
    EXPECT_THAT(head, testing::ElementsAre("Sonmira analyser data", "{", " release=0 0 1 20040318",
                                           " name=", "Guitar", " <##++--ENDOFSTRING--++##> ", " fs=441000",
                                           " fHelm= 100.00  5.00", " fFirstBody= 200.00  5.00", " N=8192",
                                           " data="));
    EXPECT_EQ(lines[11], "  0.000e+00   0.000e+00");
    EXPECT_EQ(lines[8203], " <##++--ENDOFDATA--++##> ");
    EXPECT_EQ(lines[8204], "}");
}

TEST_F(BodyDataFile, ChannelsRateResonancesAndRelease) {
    a->channels[0].filterIr[0] = 0.5;
    a->channels[1].filterIr[0] = -1.25e-5;
    a->channels[0].filterIr[8191] = -123456.0;
    a->setFs(48000);
    a->fHelm = 2.675; // 2.67499999... in binary, so printf rounds down
    a->fFirstBody = 0.005;
    a->release = {1, -2, 3, 2147483647};
    const std::vector<std::string> lines = exportLines();
    EXPECT_EQ(lines[2], " release=1 -2 3 2147483647");
    EXPECT_EQ(lines[6], " fs=480000");
    EXPECT_EQ(lines[7], " fHelm= 2.67  5.00");
    EXPECT_EQ(lines[8], " fFirstBody= 0.01  5.00");
    EXPECT_EQ(lines[11], "  5.000e-01   -1.250e-05");
    EXPECT_EQ(lines[8202], "  -1.235e+05   0.000e+00");
}

TEST_F(BodyDataFile, NameIsOneLatin1Line) {
    EXPECT_EQ(exportLines("My  dreadnought ")[4], "My  dreadnought ");
    EXPECT_EQ(exportLines("")[4], "");
    const std::vector<std::string> lines = exportLines("evil\r\n}\nname\r");
    ASSERT_EQ(lines.size(), 8205u);
    EXPECT_EQ(lines[4], "evil  } name ");
    EXPECT_EQ(exportLines("G\xC3\xBCtar \xC2\xA9 \xE2\x99\xAA \xF0\x9F\x8E\xB8")[4], "G\xFCtar \xA9 ? ?");
    // Bytes that are not UTF-8 (a lone Latin-1 byte, a cut sequence) each become '?'.
    EXPECT_EQ(exportLines("a\xFC"
                          "b\xE2\x99")[4],
              "a?b??");
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
    EXPECT_EQ(exportLines("\xE0\x81\x81|\xF0\x80\x80\x80|\xED\xA0\x80|\xF4\x90\x80\x80")[4],
              "???|????|???|????");
}

TEST_F(BodyDataFile, AnyNameKeepsTheLineLayout) {
    std::string longName;
    while (longName.size() < 10000)
        longName += "Dreadnought " + std::to_string(longName.size()) + " ";
    longName.resize(10000);
    const std::pair<std::string, std::string> cases[] = {
        {longName, longName},
        {"\r\n", "  "},
        {"\n\n\r\r", "    "},
        // Unicode's own line and paragraph separators and a byte order mark are outside Latin-1;
        // NEL is Latin-1 (0x85) and no line end for a reader of 8-bit text.
        {"a\xE2\x80\xA8"
         "b\xE2\x80\xA9"
         "c\xEF\xBB\xBF"
         "d\xC2\x85"
         "e",
         "a?b?c?d\x85"
         "e"},
        {std::string("nul\0tab\t", 8), std::string("nul\0tab\t", 8)},
    };
    for (const auto& [name, line] : cases) {
        const std::vector<std::string> lines = exportLines(name);
        ASSERT_EQ(lines.size(), 8205u) << testing::PrintToString(name.substr(0, 40));
        EXPECT_EQ(lines[3], " name=");
        EXPECT_EQ(lines[4], line);
        EXPECT_EQ(lines[5], " <##++--ENDOFSTRING--++##> ");
        EXPECT_EQ(lines[6], " fs=441000");
    }
}

TEST_F(BodyDataFile, ExportingTwiceGivesIdenticalFiles) {
    a->channels[0].filterIr[17] = 3.14159;
    ASSERT_TRUE(writeBodyData(*a, "Guitar", path("a.smd")).ok);
    ASSERT_TRUE(writeBodyData(*a, "Guitar", path("b.smd")).ok);
    EXPECT_EQ(readFile(path("a.smd")), readFile(path("b.smd")));
}

TEST_F(BodyDataFile, WriteFailureIsReported) {
    const TFileResult r = writeBodyData(*a, "Guitar", path("missing/out.smd"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Cannot write \"" + path("missing/out.smd") + "\": No such file or directory");
}

TEST_F(BodyDataFile, NumbersIgnoreTheProcessLocale) {
    a->channels[0].filterIr[0] = 0.5;
    a->fHelm = 98.5;
    TCommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::vector<std::string> lines = exportLines();
    EXPECT_EQ(lines[7], " fHelm= 98.50  5.00");
    EXPECT_EQ(lines[11], "  5.000e-01   0.000e+00");
}

} // namespace
