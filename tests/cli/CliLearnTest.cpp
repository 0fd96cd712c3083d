// The batch tool learning from a take: the options' usage errors, refused takes (exit 1, one line,
// nothing written) and what is written after learning.
#include "cli/CliOptions.h"
#include "io/SyntheticTake.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace synthetic_take;

namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

TEST(CliLearnOptions, TakesTheTakeTheChannelsOrTheTracks) {
    std::string error;
    auto o = parseCliOptions(words("--learn t.wav --learn-channels 2,1 --export x.smd --alpha 50"), error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->learn, "t.wav");
    EXPECT_EQ(o->learnPickupChannel, 2);
    EXPECT_EQ(o->learnMicChannel, 1);
    EXPECT_EQ(o->alpha, 50);
    o = parseCliOptions(words("--learn-mic m.wav --learn-pickup p.wav"), error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->learnPickup, "p.wav");
    EXPECT_EQ(o->learnMic, "m.wav");
    EXPECT_TRUE(o->learns());
    o = parseCliOptions(words("--learn t.wav"), error);
    EXPECT_EQ(o->learnPickupChannel, 1);
    EXPECT_EQ(o->learnMicChannel, 2);
    EXPECT_FALSE(o->learnNormalPolarity);
    EXPECT_TRUE(parseCliOptions(words("--learn t.wav --learn-polarity normal"), error)->learnNormalPolarity);
}

TEST(CliLearnOptions, CombinationsAndBadChannelsAreUsageErrors) {
    for (const char* args :
         {"--learn t.wav --mic m.wav", "--learn t.wav --pickup p.wav", "--learn t.wav --no-pickup",
          "--learn t.wav --open-project p.smp", "--learn-pickup p.wav --learn-mic m.wav --mic x.wav",
          "--learn-pickup p.wav", "--learn-mic m.wav", "--learn t.wav --learn-mic m.wav",
          "--learn-channels 1,2", "--learn-pickup p.wav --learn-mic m.wav --learn-channels 1,2",
          "--learn t.wav --learn-channels 1", "--learn t.wav --learn-channels 0,2",
          "--learn t.wav --learn-channels 2,2", "--learn t.wav --learn-channels 1,x",
          "--learn t.wav --learn-channels 1,2,3", "--learn t.wav --learn-channels -1,2", "--learn",
          "--learn t.wav --learn-polarity inverted", "--learn-polarity normal"}) {
        std::string error;
        EXPECT_FALSE(parseCliOptions(words(args), error)) << args;
        EXPECT_FALSE(error.empty()) << args;
    }
}

class CliLearn : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("cli-learn-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const std::string& args) {
        const std::string command = std::string(BODY_ANALYZER_CLI) + " " + args + " >" + out("stdout.txt") +
                                    " 2>" + out("stderr.txt");
        const int status = std::system(command.c_str());
        stdoutText = read(out("stdout.txt"));
        stderrText = read(out("stderr.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string out(const char* name) const { return (dir / name).string(); }

    // A short synthetic take (8 s at 44.1 kHz) through two simple responses.
    void makeShortTake() {
        std::array<double, blockLength> p{}, m{};
        p[0] = 1;
        p[1] = 0.3;
        m[20] = 0.8;
        m[60] = -0.3;
        m[200] = 0.1;
        take = synthetic_take::makeTake(44100, 8, p, m, 3);
    }
    void write(const char* name, const std::vector<const std::vector<double>*>& channels, int rate = 44100) {
        ASSERT_TRUE(writeSound(out(name), SF_FORMAT_WAV | SF_FORMAT_PCM_24, rate, channels));
    }

    fs::path dir;
    TTake take;
    std::string stdoutText, stderrText;
};

TEST_F(CliLearn, LearnsFromATakeOrTwoTracksAndWritesEverythingAfterwards) {
    makeShortTake();
    write("take.wav", {&take.pickup, &take.mic});
    write("swapped.wav", {&take.mic, &take.pickup});
    write("pickup.wav", {&take.pickup});
    write("mic.wav", {&take.mic});
    ASSERT_EQ(run("--learn " + out("take.wav") + " --alpha 45 --export " + out("a.smd") + " --save-project " +
                  out("a.smp") + " --curves " + out("a.csv")),
              0)
        << stderrText;
    EXPECT_EQ(stderrText, "");
    EXPECT_EQ(stdoutText.rfind("Learned from \"" + out("take.wav") +
                                   "\": pickup channel 1, mic channel 2, 44100 Hz\n"
                                   "Usable playing: ",
                               0),
              0u)
        << stdoutText;
    EXPECT_NE(stdoutText.find("\n    63 Hz  "), std::string::npos);
    EXPECT_NE(stdoutText.find("\n   16 kHz  "), std::string::npos);
    EXPECT_NE(stdoutText.find("\nVerdict: "), std::string::npos);
    EXPECT_TRUE(fs::exists(out("a.smp")));
    EXPECT_TRUE(fs::exists(out("a.csv")));
    const std::string smd = read(out("a.smd"));
    ASSERT_FALSE(smd.empty());

    // The same take in the other channel order, or as two tracks, exports the same file.
    ASSERT_EQ(
        run("--learn " + out("swapped.wav") + " --learn-channels 2,1 --alpha 45 --export " + out("b.smd")),
        0);
    EXPECT_TRUE(read(out("b.smd")) == smd);
    ASSERT_EQ(run("--learn-pickup " + out("pickup.wav") + " --learn-mic " + out("mic.wav") +
                  " --alpha 45 --export " + out("c.smd")),
              0);
    EXPECT_TRUE(read(out("c.smd")) == smd);
    EXPECT_NE(stdoutText.find("Learned from the tracks"), std::string::npos);
    // A mic of inverted polarity is named, and turned back when asked.
    std::vector<double> inverted = take.mic;
    for (double& v : inverted)
        v = -v;
    write("inverted.wav", {&take.pickup, &inverted});
    ASSERT_EQ(run("--learn " + out("inverted.wav") + " --learn-polarity normal --alpha 45 --export " +
                  out("e.smd")),
              0);
    EXPECT_TRUE(read(out("e.smd")) == smd);
    EXPECT_NE(stdoutText.find("\nWarning: the mic's polarity is inverted against the pickup's; turned back"),
              std::string::npos);

    // The project keeps the learned pair (at the project file's precision).
    EXPECT_EQ(run("--open-project " + out("a.smp") + " --alpha 45 --export " + out("d.smd")), 0);
}

TEST_F(CliLearn, RefusedTakesExitOneWithOneLineAndWriteNothing) {
    makeShortTake();
    write("take.wav", {&take.pickup, &take.mic});
    write("mono.wav", {&take.pickup});
    write("mic48.wav", {&take.mic}, 48000);
    const std::vector<double> silence(take.mic.size(), 0.0);
    write("silent.wav", {&take.pickup, &silence});
    const std::vector<double> shortPickup(take.pickup.begin(), take.pickup.begin() + 3 * 44100);
    const std::vector<double> shortMic(take.mic.begin(), take.mic.begin() + 3 * 44100);
    write("short.wav", {&shortPickup, &shortMic});
    std::ofstream(out("text.wav")) << "not audio\n";
    const struct {
        std::string args;
        std::string file;
        const char* reason;
    } cases[] = {
        {"--learn " + out("missing.wav"), out("missing.wav"), ""},
        {"--learn " + out("text.wav"), out("text.wav"), ""},
        {"--learn " + out("mono.wav"), out("mono.wav"), "it has one channel"},
        {"--learn " + out("take.wav") + " --learn-channels 1,3", out("take.wav"), "there is no channel 3"},
        {"--learn-pickup " + out("mono.wav") + " --learn-mic " + out("mic48.wav"), out("mic48.wav"),
         "differs from the 44100 Hz"},
        {"--learn " + out("silent.wav"), out("silent.wav"), "the mic (channel 2) is silent"},
        {"--learn " + out("short.wav"), out("short.wav"), "too little playing"},
        {"--learn " + out("take.wav") + " --learn-channels 2,1", out("take.wav"),
         ": the channels look swapped: the mic's sound comes 0.5 ms before the pickup's; learn with "
         "--learn-channels 1,2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args + " --export " + out("x.smd") + " --save-project " + out("x.smp")), 1) << c.args;
        EXPECT_EQ(stderrText.rfind("body-analyzer-cli: ", 0), 0u) << stderrText;
        EXPECT_NE(stderrText.find("\"" + c.file + "\""), std::string::npos) << stderrText;
        EXPECT_NE(stderrText.find(c.reason), std::string::npos) << stderrText;
        EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 1) << stderrText;
        EXPECT_EQ(stdoutText, "");
        EXPECT_FALSE(fs::exists(out("x.smd")));
        EXPECT_FALSE(fs::exists(out("x.smp")));
    }
    EXPECT_EQ(run("--learn " + out("take.wav") + " --mic " + out("mono.wav") + " --export " + out("x.smd")),
              2);
    EXPECT_NE(stderrText.find("cannot be combined"), std::string::npos);
    EXPECT_FALSE(fs::exists(out("x.smd")));
}

} // namespace
