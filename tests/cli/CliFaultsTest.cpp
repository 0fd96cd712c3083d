// The batch tool in this process against inputs it cannot use and outputs it cannot write: one
// clear message, exit status 1, and every file it was to write left as it was.
#include "cli/CliOptions.h"
#include "cli/CliPlotModule.h"
#include "cli/CliRun.h"
#include "io/IoTestSupport.h"
#include "io/SafeWriter.h"
#include "support/FileFaults.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <link.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string example(const char* name) {
    return std::string(std::getenv("EXAMPLES_DIR")) + "/" + name;
}

// The output options, each with the name of the file it writes.
const std::pair<const char*, const char*> outputs[] = {
    {"--export", "e.smd"}, {"--save-project", "p.smp"},  {"--curves", "c.csv"},
    {"--ir", "ir.csv"},    {"--plot-analysis", "a.png"}, {"--plot-summary", "s.png"},
};

// Whether a Qt library is mapped into this process.
bool qtLoaded() {
    return ::dl_iterate_phdr(
               [](dl_phdr_info* info, std::size_t, void*) {
                   return info->dlpi_name && std::strstr(info->dlpi_name, "libQt6") ? 1 : 0;
               },
               nullptr) != 0;
}

class CliFaults : public TScratchDir {
protected:
    // This test program is not the batch tool: the plots come from the module the build made.
    CliFaults() { cliPlotModuleOverride = BODY_ANALYZER_CLI_PLOTS; }

    // Runs the tool with `args`; returns its exit status, what it wrote to standard error in err.
    int run(const std::vector<std::string>& args) {
        std::string usage;
        const auto options = parseCliOptions(args, usage);
        EXPECT_TRUE(options) << usage;
        if (!options)
            return 2;
        std::ostringstream stream;
        const int status = runCli(*options, stream);
        err = stream.str();
        return status;
    }

    // One message line naming `file`.
    void expectOneMessageNaming(const std::string& file, const std::string& reason) const {
        EXPECT_THAT(err, testing::StartsWith("body-analyzer-cli: "));
        EXPECT_THAT(err, testing::HasSubstr("\"" + file + "\""));
        EXPECT_THAT(err, testing::HasSubstr(reason));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.back(), '\n');
    }

    std::string err;
};

TEST_F(CliFaults, UnusableInputsExitOneAndWriteNothing) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0); // no writer: must not wait for one
    writeFile(path("empty"), "");
    writeFile(path("garbage"),
              std::string("\x89\0\xFF\xFE\x80 garbage \0\0", 16) + std::string(4000, '\xC3'));
    writeFile(path("keep.smd"), "previous export\r\n");
    writeFile(path("keep.smp"), "previous project\r\n");
    const std::vector<std::string> before = folderContents(dir);

    struct Case {
        std::string file;
        const char* waveReason;
        const char* projectReason;
    };
    const Case cases[] = {
        {dir.string(), "is a folder", "is a folder"},
        {path("fifo"), "not a regular file", "not a regular file"},
        {path("empty"), "Unknown format, is this a WAVE file?", "is not a project file"},
        {path("garbage"), "Unknown format, is this a WAVE file?", "is not a project file"},
        {path("missing"), "No such file or directory", "No such file or directory"},
    };
    const std::vector<std::string> writeAll = {"--export",       path("keep.smd"),  "--save-project",
                                               path("keep.smp"), "--plot-analysis", path("new.png")};
    for (const Case& c : cases) {
        for (const char* input : {"--mic", "--pickup", "--open-project"}) {
            std::vector<std::string> args = {
                "--mic", example("mic.wav"), "--pickup", example("pickup.wav"), input, c.file};
            args.insert(args.end(), writeAll.begin(), writeAll.end());
            EXPECT_EQ(run(args), 1) << input << " " << c.file;
            const bool project = std::string(input) == "--open-project";
            expectOneMessageNaming(c.file, project ? c.projectReason : c.waveReason);
        }
    }
    // A format the reader does not take: its message is one line here too.
    EXPECT_EQ(run({"--mic", std::string(std::getenv("TEST_DATA_DIR")) + "/sox-22k-stereo.wav", "--export",
                   path("keep.smd")}),
              1);
    EXPECT_THAT(err, testing::EndsWith(": WAVE file format error: Only mono 16 bit linear PCM WAVE files are "
                                       "supported\n"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(readFile(path("keep.smd")), "previous export\r\n");
    EXPECT_EQ(readFile(path("keep.smp")), "previous project\r\n");
    EXPECT_EQ(folderContents(dir), before);
}

TEST_F(CliFaults, OutputsThatCannotBeWrittenKeepThePreviousFiles) {
    const std::string inputs[] = {"--mic", example("mic.wav"), "--pickup", example("pickup.wav")};
    std::filesystem::create_directory(dir / "locked");
    std::filesystem::create_directory(dir / "open");
    for (const auto& [option, name] : outputs) {
        writeFile(path("locked/") + name, std::string("previous ") + name);
        writeFile(path("open/") + name, std::string("previous ") + name);
        ASSERT_EQ(::chmod((path("open/") + name).c_str(), 0444), 0);
    }
    ASSERT_EQ(::chmod(path("locked").c_str(), 0555), 0);
    const std::vector<std::string> lockedBefore = folderContents(dir / "locked");
    const std::vector<std::string> openBefore = folderContents(dir / "open");

    const TNoPermissionOverride asUser;
    ASSERT_TRUE(asUser.enforced());
    for (const char* folder : {"locked/", "open/"}) {
        for (const auto& [option, name] : outputs) {
            const std::string target = path(folder) + name;
            EXPECT_EQ(run({inputs[0], inputs[1], inputs[2], inputs[3], option, target}), 1) << target;
            expectOneMessageNaming(target, "Permission denied");
            EXPECT_EQ(readFile(target), std::string("previous ") + name);
        }
    }
    EXPECT_EQ(folderContents(dir / "locked"), lockedBefore);
    EXPECT_EQ(folderContents(dir / "open"), openBefore);
}

TEST_F(CliFaults, DiskFillingUpDuringAnOutputKeepsThePreviousFile) {
    for (const auto& [option, name] : outputs)
        writeFile(path(name), std::string("previous ") + name);
    const std::vector<std::string> before = folderContents(dir);
    const TFileSizeLimit limit(2000); // less than any output
    ASSERT_TRUE(limit.enforced());
    for (const auto& [option, name] : outputs) {
        EXPECT_EQ(run({"--mic", example("mic.wav"), "--pickup", example("pickup.wav"), option, path(name)}),
                  1)
            << option;
        expectOneMessageNaming(path(name), "File too large");
        EXPECT_EQ(readFile(path(name)), std::string("previous ") + name);
    }
    EXPECT_EQ(folderContents(dir), before);
}

TEST_F(CliFaults, OutputWhoseFolderCannotBeFlushedIsAFailure) {
    int (*const savedSync)(int) = safeWriterSyncFolder;
    safeWriterSyncFolder = [](int) { return EIO; };
    for (const auto& [option, name] : outputs) {
        EXPECT_EQ(run({"--mic", example("mic.wav"), option, path(name)}), 1) << option;
        expectOneMessageNaming(path(name), "may not survive a crash");
        EXPECT_TRUE(std::filesystem::exists(path(name))); // in place, but not known to be on disk
    }
    safeWriterSyncFolder = savedSync;
}

TEST_F(CliFaults, OutputsWithoutPlotsNeedNoGuiApplication) {
    if (qtLoaded())
        GTEST_SKIP() << "an earlier test in this process drew plots";
    EXPECT_EQ(run({"--mic", example("mic.wav"), "--export", path("e.smd"), "--save-project", path("p.smp"),
                   "--curves", path("c.csv"), "--ir", path("ir.csv")}),
              0);
    EXPECT_FALSE(qtLoaded());
}

} // namespace
