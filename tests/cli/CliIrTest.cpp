// The batch tool's impulse-response export: its options and what one run writes and says.
#include "cli/CliOptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::optional<TCliOptions> parse(const std::string& line, std::string& error) {
    std::istringstream in(line);
    std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    return parseCliOptions(words, error);
}

TEST(CliIrOptions, EveryValueIsTakenAndBadOnesAreUsageErrors) {
    std::string error;
    auto o = parse("--export-ir a.wav --ir-channel both --ir-length 1024 --ir-rate 48000 --ir-format float "
                   "--ir-phase designed --ir-normalise none --plot-ir p.png",
                   error);
    ASSERT_TRUE(o) << error;
    EXPECT_TRUE(o->wantsAnalysis() && o->wantsPlots());
    EXPECT_EQ(o->ir.settings.channels, TIrChannels::both);
    EXPECT_EQ(o->ir.settings.format, TIrFormat::float32);
    EXPECT_FALSE(o->ir.settings.normalise);
    for (const char* bad :
         {"--ir-channel mid", "--ir-length 15", "--ir-length 2048.5", "--ir-rate 7999", "--ir-format 32",
          "--ir-phase linear", "--ir-normalise 1", "--ir-normalise -1dB", "--ir-normalise", "--export-ir"})
        EXPECT_FALSE(parse(bad, error)) << bad;
    parse("--ir-length 15", error);
    EXPECT_EQ(error, "--ir-length needs a whole number of samples from 16 to 96000, not '15'");
}

TEST(CliIr, WritesTheFileAndPlotAndSaysWhatItWrote) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("cli-ir-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string examples = std::getenv("EXAMPLES_DIR");
    const auto run = [&](const std::string& args, std::string& err) {
        const std::string command = std::string(BODY_ANALYZER_CLI) + " --mic " + examples +
                                    "/mic.wav --pickup " + examples + "/pickup.wav " + args + " 2>" +
                                    (dir / "err").string();
        const int status = std::system(command.c_str());
        std::ifstream in(dir / "err");
        err.assign(std::istreambuf_iterator<char>(in), {});
        return WEXITSTATUS(status);
    };
    std::string err;
    const std::string wav = (dir / "body-left-48k-2048.wav").string();
    ASSERT_EQ(run("--export-ir " + wav + " --ir-rate 48000 --plot-ir " + (dir / "ir.png").string(), err), 0)
        << err;
    EXPECT_EQ(err, "Wrote body-left-48k-2048.wav: 2048 samples, 48 kHz, 24-bit, minimum phase\n");
    EXPECT_EQ(fs::file_size(wav), 44u + 3 * 2048);
    EXPECT_GT(fs::file_size(dir / "ir.png"), 1000u);
    fs::remove_all(dir);
}

} // namespace
