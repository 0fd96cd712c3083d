// --render in the real batch tool: the output against a direct convolution of the input with the
// filter --ir writes, the messages it prints, and inputs and outputs it cannot use.
#include "io/IoTestSupport.h"
#include "io/RenderTestSupport.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <sys/wait.h>

namespace {

using ::testing::HasSubstr;

class CliRender : public TScratchDir {
protected:
    // Runs the tool with `args`; returns its exit status, standard error in `err`.
    int run(const std::string& args) {
        const std::string command =
            std::string(BODY_ANALYZER_CLI) + " " + args + " >/dev/null 2>" + path("stderr.txt");
        const int status = std::system(command.c_str());
        err = readFile(path("stderr.txt"));
        std::filesystem::remove(path("stderr.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string example(const char* name) {
        return std::string(std::getenv("EXAMPLES_DIR")) + "/" + name;
    }
    static std::string pair() { return "--mic " + example("mic.wav") + " --pickup " + example("pickup.wav"); }
    static std::string quoted(const std::string& s) { return "'" + s + "'"; }

    // A 16-bit stereo take at 44.1 kHz of 30000 frames (more than one hop): noise, and a
    // quieter noise in channel 2.
    std::string take() {
        std::vector<float> samples = noise(60000, 7, 0.3f);
        for (std::size_t i = 1; i < samples.size(); i += 2)
            samples[i] *= 0.5f;
        writeRecording(path("take.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, samples);
        return path("take.wav");
    }

    std::array<double, blockLength> irFromCsv(const std::string& file) {
        std::array<double, blockLength> h{};
        std::istringstream in(readFile(file));
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line, "sample,filter_ir");
        for (int k = 0; k < blockLength && std::getline(in, line); ++k)
            h[k] = std::strtod(line.substr(line.find(',') + 1).c_str(), nullptr);
        return h;
    }

    std::string err;
};

TEST_F(CliRender, TheRenderingEqualsTheDirectConvolutionWithTheExportedFilter) {
    const std::string in = take();
    ASSERT_EQ(run(pair() + " --beta 20 --gain -6 --ir " + path("ir.csv") + " --render " + in + " " +
                  path("out.wav") + " --render-channel 2"),
              0)
        << err;
    const std::array<double, blockLength> h = irFromCsv(path("ir.csv"));
    const TReadBack out = readRecording(path("out.wav"));
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.rate, 44100);
    ASSERT_EQ(out.info.frames, 30000);
    const std::vector<float> x = channelOf(readRecording(in), 1);
    EXPECT_LT(relativeDeviation(out.samples, 0, x, h), 1e-5);
    for (std::size_t n = 0; n < x.size(); ++n) // both channels hold the same filter
        ASSERT_EQ(out.samples[2 * n + 1], out.samples[2 * n]) << n;
    // One line: the peak level, as the file holds it.
    float peak = 0;
    for (const float v : out.samples)
        peak = std::max(peak, std::abs(v));
    char expected[100];
    std::snprintf(expected, sizeof expected, "Peak level of \"%s\": %.2f dBFS\n", path("out.wav").c_str(),
                  20 * std::log10(peak));
    EXPECT_EQ(err, expected);
}

TEST_F(CliRender, APeakAboveFullScaleAndAChannelNeverSetAreReported) {
    const std::string in = take();
    ASSERT_EQ(run(pair() + " --gain 20 --channel left --render " + in + " " + path("out.wav")), 0) << err;
    const std::string out = "\"" + path("out.wav") + "\"";
    EXPECT_THAT(err, HasSubstr("Warning: the peak of " + out +
                               " is above 0 dBFS; lower the gain so it does not clip\n"));
    EXPECT_THAT(err, HasSubstr("Warning: the Right channel was never set; it is silent in " + out + "\n"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
    const TReadBack rendered = readRecording(path("out.wav"));
    float leftPeak = 0, rightPeak = 0;
    for (std::size_t i = 0; i < rendered.samples.size(); i += 2) {
        leftPeak = std::max(leftPeak, std::abs(rendered.samples[i]));
        rightPeak = std::max(rightPeak, std::abs(rendered.samples[i + 1]));
    }
    EXPECT_GT(leftPeak, 1.0f); // kept above full scale
    EXPECT_EQ(rightPeak, 0.0f);
}

TEST_F(CliRender, ARecordingAtAnotherRateThanTheFiltersIsNamedWithBothRates) {
    writeRecording(path("48k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, noise(20000, 8, 0.3f));
    writeRecording(path("40k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 40000, noise(20000, 8, 0.3f));
    for (const auto& [name, shift] : {std::pair{"48k.wav", "8.8 % higher"}, {"40k.wav", "9.3 % lower"}}) {
        ASSERT_EQ(run(pair() + " --render " + path(name) + " " + path("out.wav")), 0) << err;
        EXPECT_THAT(err, HasSubstr("Warning: \"" + path(name) + "\" is at " + name[0] + name[1] +
                                   "000 Hz but the filters were made at 44100 Hz"));
        EXPECT_THAT(err, HasSubstr(shift));
    }
}

TEST_F(CliRender, UnusableInputsAndOutputsExitOneWithOneLineAndLeaveNoFile) {
    const std::string in = take();
    writeFile(path("text.wav"), "no recording\r\n");
    writeFile(path("keep.wav"), "previous");
    std::vector<float> broken = noise(40000, 5);
    broken[35000] = std::numeric_limits<float>::quiet_NaN(); // found only by reading it through
    writeRecording(path("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, broken);
    const struct {
        std::string input, output, channel, message;
    } cases[] = {
        {path("missing.wav"), path("out.wav"), "1",
         "Cannot read \"" + path("missing.wav") + "\": No such file or directory"},
        {path("text.wav"), path("out.wav"), "1", "Cannot read \"" + path("text.wav") + "\": "},
        {dir.string(), path("out.wav"), "1", "Cannot read \"" + dir.string() + "\": "},
        {in, path("out.wav"), "3", "Cannot read \"" + in + "\": it has no channel 3 (it has 2)"},
        {path("nan.wav"), path("out.wav"), "1", "Cannot read \"" + path("nan.wav") + "\": "},
        {path("missing.wav"), path("keep.wav"), "1", "Cannot read \"" + path("missing.wav") + "\": "},
        {in, path("none/out.wav"), "1",
         "Cannot write \"" + path("none/out.wav") + "\": No such file or directory"},
        {in, dir.string(), "1", "Cannot write \"" + dir.string() + "\": "},
    };
    const std::vector<std::string> before = folderContents();
    for (const auto& c : cases) {
        // An input that fails keeps the other outputs from being written as well.
        EXPECT_EQ(run(pair() + " --export " + path("e.smd") + " --save-project " + path("p.smp") +
                      " --render " + quoted(c.input) + " " + quoted(c.output) + " --render-channel " +
                      c.channel),
                  1)
            << c.message;
        EXPECT_THAT(err, ::testing::StartsWith("body-analyzer-cli: " + c.message));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        if (c.message.rfind("Cannot read", 0) == 0) {
            EXPECT_FALSE(std::filesystem::exists(path("e.smd"))) << c.message;
            EXPECT_FALSE(std::filesystem::exists(path("p.smp"))) << c.message;
        }
        std::filesystem::remove(path("e.smd"));
        std::filesystem::remove(path("p.smp"));
        EXPECT_EQ(folderContents(), before) << c.message;
        EXPECT_EQ(readFile(path("keep.wav")), "previous");
    }
}

TEST_F(CliRender, MalformedOptionsAreUsageErrors) {
    for (const char* args : {"--render", "--render in.wav", "--render '' out.wav", "--render-channel 0",
                             "--render-channel 1.5", "--render-channel x", "--render-channel"}) {
        EXPECT_EQ(run(args), 2) << args;
        EXPECT_THAT(err, HasSubstr("--render")) << args;
    }
}

} // namespace
