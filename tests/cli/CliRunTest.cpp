// The batch tool as a whole process: exit codes, what it writes, and what it leaves alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

class CliRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("cli-run-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the tool with `args`; returns its exit status, standard error in `err`.
    int run(const std::string& args, std::string* err = nullptr) {
        const fs::path errFile = dir / "stderr.txt";
        const std::string command =
            std::string(BODY_ANALYZER_CLI) + " " + args + " >/dev/null 2>" + errFile.string();
        const int status = std::system(command.c_str());
        if (err)
            *err = read(errFile);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static long lines(const std::string& text) {
        return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
    }
    std::string out(const char* name) const { return (dir / name).string(); }
    static std::string example(const char* name) {
        return std::string(std::getenv("EXAMPLES_DIR")) + "/" + name;
    }
    std::string pair() const { return "--mic " + example("mic.wav") + " --pickup " + example("pickup.wav"); }

    fs::path dir;
};

TEST_F(CliRun, WritesProjectExportCurvesAndImpulseResponse) {
    ASSERT_EQ(run(pair() + " --save-project " + out("p.smp") + " --export " + out("e.smd") + " --curves " +
                  out("c.csv") + " --ir " + out("ir.csv")),
              0);
    EXPECT_EQ(lines(read(out("p.smp"))), 8200);
    const std::string smd = read(out("e.smd"));
    EXPECT_EQ(lines(smd), 8205);
    EXPECT_EQ(smd.rfind("Sonmira analyser data\r\n{\r\n", 0), 0u);
    const std::string curves = read(out("c.csv"));
    EXPECT_EQ(lines(curves), 501);
    EXPECT_EQ(curves.rfind("freq_hz,mic_db,pickup_db,filter_db\n20,", 0), 0u);
    EXPECT_EQ(curves.find('\r'), std::string::npos);
    const std::string ir = read(out("ir.csv"));
    EXPECT_EQ(lines(ir), 8193);
    EXPECT_EQ(ir.rfind("sample,filter_ir\n0,", 0), 0u);
}

TEST_F(CliRun, ExportIsRepeatableAndLeftOnlyLeavesRightColumnZero) {
    ASSERT_EQ(run(pair() + " --channel left --export " + out("a.smd")), 0);
    ASSERT_EQ(run(pair() + " --channel left --export " + out("b.smd")), 0);
    const std::string smd = read(out("a.smd"));
    EXPECT_EQ(smd, read(out("b.smd")));
    std::istringstream in(smd);
    std::string line;
    int n = 0, nonZeroLeft = 0;
    while (std::getline(in, line)) {
        ++n;
        if (n < 12 || n > 8203)
            continue;
        ASSERT_EQ(line.substr(line.size() - 13), "   0.000e+00\r") << "line " << n;
        nonZeroLeft += line.rfind("  0.000e+00", 0) != 0;
    }
    EXPECT_GT(nonZeroLeft, 100);
}

TEST_F(CliRun, UsageErrorsExitTwoAndWriteNothing) {
    std::string err;
    EXPECT_EQ(run(pair() + " --alpha 60 --export " + out("x.smd"), &err), 2);
    EXPECT_NE(err.find("--alpha"), std::string::npos);
    EXPECT_NE(err.find("Usage:"), std::string::npos);
    EXPECT_EQ(run("--gain loud --export " + out("x.smd")), 2);
    EXPECT_EQ(run("--bogus"), 2);
    EXPECT_FALSE(fs::exists(out("x.smd")));
    EXPECT_EQ(run("--help"), 0);
}

TEST_F(CliRun, UnreadableInputExitsOneAndKeepsOutputsAsTheyWere) {
    {
        std::ofstream keep(out("keep.smd"));
        keep << "good";
    }
    std::string err;
    EXPECT_EQ(run("--mic " + out("missing.wav") + " --export " + out("keep.smd"), &err), 1);
    EXPECT_NE(err.find("missing.wav"), std::string::npos);
    {
        std::ofstream notWave(out("text.wav"));
        notWave << "hello";
    }
    EXPECT_EQ(run("--mic " + out("text.wav") + " --export " + out("keep.smd"), &err), 1);
    EXPECT_NE(err.find("Unknown format, is this a WAVE file?"), std::string::npos);
    EXPECT_EQ(run("--open-project " + out("text.wav") + " --export " + out("keep.smd")), 1);
    EXPECT_EQ(read(out("keep.smd")), "good");
}

TEST_F(CliRun, UnwritableOutputExitsOne) {
    std::string err;
    EXPECT_EQ(run(pair() + " --export " + out("no/such/folder/e.smd"), &err), 1);
    EXPECT_NE(err.find("e.smd"), std::string::npos);
}

TEST_F(CliRun, PlotsArePngImages) {
    ASSERT_EQ(run(pair() + " --plot-analysis " + out("a.png") + " --plot-summary " + out("s.png") +
                  " --plot-size 600x400 --fmin 100 --fmax 10000 --db-range 40"),
              0);
    for (const char* name : {"a.png", "s.png"})
        EXPECT_EQ(read(out(name)).substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
}

TEST_F(CliRun, ProjectRoundTripGivesTheSameExport) {
    ASSERT_EQ(run(pair() + " --save-project " + out("p.smp")), 0);
    ASSERT_EQ(run("--open-project " + out("p.smp") + " --save-project " + out("q.smp")), 0);
    EXPECT_EQ(read(out("p.smp")), read(out("q.smp")));
}

} // namespace

TEST_F(CliRun, SilentPickupLeavesTheFilterUndividedAndSaysSo) {
    const std::string silence = std::string(std::getenv("TEST_DATA_DIR")) + "/sox-44k-silence.wav";
    std::string err;
    ASSERT_EQ(run("--mic " + example("mic.wav") + " --pickup " + silence + " --curves " + out("c.csv"), &err), 0);
    EXPECT_EQ(err, "body-analyzer-cli: the pickup response is silent\n");
    // The filter is the compressed mic response: within tens of dB, not hundreds.
    std::istringstream curves(read(out("c.csv")));
    std::string line;
    std::getline(curves, line);
    double highest = -1e300;
    while (std::getline(curves, line))
        highest = std::max(highest, std::stod(line.substr(line.rfind(',') + 1)));
    EXPECT_LT(highest, 60.0);
    EXPECT_GT(highest, -60.0);

    ASSERT_EQ(run("--mic " + silence + " --pickup " + example("pickup.wav") + " --export " + out("e.smd"), &err), 0);
    EXPECT_EQ(err, "body-analyzer-cli: the mic response is silent\n");
    ASSERT_EQ(run(pair() + " --export " + out("e.smd"), &err), 0);
    EXPECT_EQ(err, "");
}
