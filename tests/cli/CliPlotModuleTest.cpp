// The batch tool without Qt: the plots come from a module beside the program (or in the installed
// layout's lib/body-analyzer), and a missing or foreign module fails the plots alone, naming it.
#include "cli/CliPlotModule.h"
#include "io/IoTestSupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

class CliPlotModule : public TScratchDir {
protected:
    void SetUp() override {
        TScratchDir::SetUp();
        tool = path("bin/body-analyzer-cli");
        fs::create_directories(dir / "bin");
        fs::copy_file(BODY_ANALYZER_CLI, tool);
    }

    // Runs the copied tool with `args`; its exit status, standard error in err.
    int run(const std::string& args) {
        const std::string command = tool + " " + args + " >/dev/null 2>" + path("stderr.txt");
        const int status = std::system(command.c_str());
        err = readFile(path("stderr.txt"));
        fs::remove(path("stderr.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string pair() {
        const std::string examples = std::getenv("EXAMPLES_DIR");
        return "--mic " + examples + "/mic.wav --pickup " + examples + "/pickup.wav";
    }
    std::string plots() const {
        return " --plot-analysis " + path("a.png") + " --plot-summary " + path("s.png");
    }
    void expectPlotsRefusedNaming(const std::string& module, const char* reason) {
        EXPECT_EQ(run(pair() + " --export " + path("e.smd") + plots()), 1);
        EXPECT_EQ(err, "body-analyzer-cli: \"" + module + "\": the plot module cannot be loaded: " + reason +
                           "\n");
        EXPECT_FALSE(fs::exists(path("a.png")));
        EXPECT_FALSE(fs::exists(path("s.png")));
    }

    std::string tool;
    std::string err;
};

TEST_F(CliPlotModule, ToolLinksNoQtAndExportsWithoutTheModule) {
    FILE* ldd = ::popen(("ldd " + tool).c_str(), "r");
    ASSERT_NE(ldd, nullptr);
    std::string libraries;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, ldd))
        libraries += buffer;
    ASSERT_EQ(::pclose(ldd), 0);
    EXPECT_THAT(libraries, testing::HasSubstr("libfftw3"));
    EXPECT_THAT(libraries, testing::Not(testing::HasSubstr("Qt")));

    ASSERT_EQ(run(pair() + " --export " + path("e.smd") + " --curves " + path("c.csv")), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(readFile(path("e.smd")).substr(0, 23), "Sonmira analyser data\r\n");
}

TEST_F(CliPlotModule, MissingOrForeignModuleFailsThePlotsNamingIt) {
    expectPlotsRefusedNaming(path("bin/body-analyzer-cli-plots.so"), "no such file");
    // The export before the plots is written all the same, as with any image that cannot be written.
    EXPECT_EQ(readFile(path("e.smd")).substr(0, 23), "Sonmira analyser data\r\n");

    fs::remove(path("e.smd"));
    writeFile(path("bin/body-analyzer-cli-plots.so"), "not a shared object\n");
    EXPECT_EQ(run(pair() + plots()), 1);
    EXPECT_THAT(err, testing::StartsWith("body-analyzer-cli: \"" + path("bin/body-analyzer-cli-plots.so") +
                                         "\": the plot module cannot be loaded: "));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    // A shared object that is not the module (the C library, say).
    fs::remove(path("bin/body-analyzer-cli-plots.so"));
    fs::create_symlink("/lib/x86_64-linux-gnu/libm.so.6", path("bin/body-analyzer-cli-plots.so"));
    expectPlotsRefusedNaming(path("bin/body-analyzer-cli-plots.so"),
                             "it is not the batch tool's plot module");
}

TEST_F(CliPlotModule, ModuleBesideTheToolOrInItsInstalledPlaceDrawsThePlots) {
    for (const char* folder : {"bin", "lib/body-analyzer"}) {
        fs::create_directories(dir / folder);
        const fs::path module = dir / folder / cliPlotModuleName;
        fs::copy_file(BODY_ANALYZER_CLI_PLOTS, module);
        EXPECT_EQ(run(pair() + plots()), 0) << folder << ": " << err;
        for (const char* name : {"a.png", "s.png"}) {
            EXPECT_EQ(readFile(path(name)).substr(0, 8), "\x89PNG\r\n\x1a\n") << folder << " " << name;
            fs::remove(path(name));
        }
        fs::remove(module);
    }
}

} // namespace
