// The built batch tool as a process of its own, with the signals at their defaults as a shell
// leaves them: a reader that goes away, a file size limit, standard output as a file name, an
// inherited Qt platform without a display, and a project shared by two users.
#include "io/IoTestSupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class CliProcessFaults : public TScratchDir {
protected:
    void SetUp() override {
        TScratchDir::SetUp();
        // Ignored signals are inherited: the tool must cope on its own with their defaults.
        savedPipe = std::signal(SIGPIPE, SIG_DFL);
        savedSize = std::signal(SIGXFSZ, SIG_DFL);
        ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    }
    void TearDown() override {
        std::signal(SIGPIPE, savedPipe);
        std::signal(SIGXFSZ, savedSize);
        TScratchDir::TearDown();
    }

    // Runs `before` + the tool with `args` + `after` in a shell, standard error into err; returns
    // the tool's exit status, or 128 + the signal that ended it.
    int run(const std::string& args, const std::string& before = {},
            const std::string& after = " >/dev/null") {
        const std::string command = before + " " + tool + " " + args + after + " 2>" + path("stderr.txt");
        const int status = std::system(command.c_str());
        err = readFile(path("stderr.txt"));
        std::filesystem::remove(path("stderr.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    static std::string example(const char* name) {
        return std::string(std::getenv("EXAMPLES_DIR")) + "/" + name;
    }
    std::string pair() const { return "--mic " + example("mic.wav") + " --pickup " + example("pickup.wav"); }
    void expectOneMessageNaming(const std::string& file, const std::string& reason) const {
        EXPECT_THAT(err, testing::StartsWith("body-analyzer-cli: "));
        EXPECT_THAT(err, testing::HasSubstr("\"" + file + "\""));
        EXPECT_THAT(err, testing::HasSubstr(reason));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }

    std::string tool = BODY_ANALYZER_CLI;
    std::string err;
    void (*savedPipe)(int) = SIG_DFL;
    void (*savedSize)(int) = SIG_DFL;
};

TEST_F(CliProcessFaults, ReaderThatStopsEarlyIsAFailedWriteNamingTheFifo) {
    const std::string fifo = path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(readEnd, 0);
    int status = -1;
    std::thread tool([&] { status = run(pair() + " --export " + fifo); }); // far more than a pipe holds
    // Take the first 100 bytes, then go away.
    std::string received;
    for (int wait = 0; received.size() < 100 && wait < 2000; ++wait) {
        char buffer[100];
        const ssize_t n = ::read(readEnd, buffer, sizeof buffer - received.size());
        if (n > 0)
            received.append(buffer, static_cast<std::size_t>(n));
        else
            ::usleep(5000);
    }
    ::close(readEnd);
    tool.join();
    EXPECT_EQ(received.substr(0, 23), "Sonmira analyser data\r\n");
    EXPECT_EQ(status, 1);
    expectOneMessageNaming(fifo, "Broken pipe");
}

TEST_F(CliProcessFaults, FileSizeLimitWhileSavingKeepsTheOldProject) {
    writeFile(path("guitar.smp"), "previous project\r\n");
    EXPECT_EQ(run(pair() + " --save-project " + path("guitar.smp"), "ulimit -f 100 && exec"), 1);
    expectOneMessageNaming(path("guitar.smp"), "File too large");
    EXPECT_EQ(readFile(path("guitar.smp")), "previous project\r\n");
    EXPECT_THAT(folderContents(dir), testing::ElementsAre("guitar.smp"));
    // A rendering (72 KB) that passes the limit while it is written leaves no output at all.
    EXPECT_EQ(run(pair() + " --save-project " + path("guitar.smp") + " --render " + example("mic.wav") + " " +
                      path("out.wav"),
                  "ulimit -f 60 && exec"),
              1);
    expectOneMessageNaming(path("out.wav"), "File too large");
    EXPECT_EQ(readFile(path("guitar.smp")), "previous project\r\n");
    EXPECT_THAT(folderContents(dir), testing::ElementsAre("guitar.smp"));
}

TEST_F(CliProcessFaults, StandardOutputByNameIsWrittenAsItIs) {
    ASSERT_EQ(run(pair() + " --curves " + path("curves.csv")), 0);
    const std::string curves = readFile(path("curves.csv"));
    ASSERT_GT(curves.size(), 1000u);

    // Into a pipe.
    EXPECT_EQ(run(pair() + " --curves /dev/stdout", "{",
                  "; echo $? >" + path("status") + "; } | head -n 2 >" + path("head.txt")),
              0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(readFile(path("status")), "0\n");
    EXPECT_EQ(readFile(path("head.txt")), curves.substr(0, curves.find('\n', curves.find('\n') + 1) + 1));
    // Appended to a log, which keeps what it held.
    writeFile(path("log.txt"), "earlier line\n");
    EXPECT_EQ(run(pair() + " --curves /dev/stdout", {}, " >>" + path("log.txt")), 0);
    EXPECT_TRUE(readFile(path("log.txt")) == "earlier line\n" + curves);
    // "-" is standard output too, and /dev/stderr the error stream.
    EXPECT_EQ(run(pair() + " --curves -", {}, " >" + path("dash.csv")), 0);
    EXPECT_TRUE(readFile(path("dash.csv")) == curves);
    EXPECT_EQ(run(pair() + " --curves /dev/stderr"), 0);
    EXPECT_TRUE(err == curves);
    EXPECT_THAT(folderContents(dir),
                testing::ElementsAre("curves.csv", "dash.csv", "head.txt", "log.txt", "status"));
}

TEST_F(CliProcessFaults, InheritedQtPlatformWithoutDisplayIsNotUsed) {
    const std::string environment = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb";
    EXPECT_EQ(run(pair() + " --export " + path("e.smd"), environment), 0) << err;
    EXPECT_EQ(readFile(path("e.smd")).substr(0, 23), "Sonmira analyser data\r\n");
    EXPECT_EQ(
        run(pair() + " --plot-analysis " + path("a.png") + " --plot-summary " + path("s.png"), environment),
        0)
        << err;
    for (const char* name : {"a.png", "s.png"})
        EXPECT_EQ(readFile(path(name)).substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
}

TEST_F(CliProcessFaults, ProjectInASharedFolderStaysItsOwnersAfterAnotherUserSavesIt) {
    if (::geteuid() != 0 || std::system("setpriv --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs root and setpriv to act as two users";
    // Users 1000 and 1001, both in group 2000, which may write the folder and the project.
    const std::string shared = path("shared");
    std::filesystem::create_directory(shared);
    ASSERT_EQ(::chown(shared.c_str(), 0, 2000), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0775), 0);
    const std::string project = shared + "/guitar.smp";
    writeFile(project, "first user's project\r\n");
    ASSERT_EQ(::chown(project.c_str(), 1000, 2000), 0);
    ASSERT_EQ(::chmod(project.c_str(), 0664), 0);
    // The other users run copies of the tool and the response: the checkout may sit in a folder
    // only its owner may enter (a home folder, one made by mktemp -d).
    const std::string mic = path("mic.wav");
    std::filesystem::copy_file(example("mic.wav"), mic);
    std::filesystem::copy_file(tool, path("body-analyzer-cli"));
    tool = path("body-analyzer-cli");
    const auto as = [](int uid) {
        return "setpriv --reuid " + std::to_string(uid) + " --regid " + std::to_string(uid) +
               " --groups 2000";
    };

    ASSERT_EQ(run("--mic " + mic + " --save-project " + path("mic.smp")), 0);
    ASSERT_EQ(run("--save-project " + path("start.smp")), 0);

    EXPECT_EQ(run("--mic " + mic + " --save-project " + project, as(1001)), 0) << err;
    struct stat st {};
    ASSERT_EQ(::stat(project.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1000u);
    EXPECT_EQ(st.st_gid, 2000u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_TRUE(readFile(project) == readFile(path("mic.smp")));
    // The first user can still save it.
    EXPECT_EQ(run("--save-project " + project, as(1000)), 0) << err;
    EXPECT_TRUE(readFile(project) == readFile(path("start.smp")));
    EXPECT_THAT(folderContents(shared), testing::ElementsAre("guitar.smp"));
}

} // namespace
