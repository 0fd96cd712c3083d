// The scratch folder of the renderings kept for listening: gone after the destructor and after an
// ending signal; leftovers of earlier runs removed only once their program is gone.
#include "audio/ScratchFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path freshFolder(const std::string& name) {
    const fs::path parent = fs::path(::testing::TempDir()) / name;
    fs::remove_all(parent);
    fs::create_directories(parent);
    return parent;
}

class ScratchFolderSignal : public ::testing::TestWithParam<int> {};

TEST_P(ScratchFolderSignal, RemovesTheFolderAndEndsTheProgram) {
    // A folder per signal: the cases may run at the same time.
    const fs::path parent = freshFolder("scratch-signal-" + std::to_string(GetParam()));
    const pid_t child = ::fork();
    if (child == 0) {
        TScratchFolder folder(parent.string());
        std::ofstream(folder.filePath("take-1.raw")) << "x";
        if (fs::exists(folder.filePath("take-1.raw")))
            ::raise(GetParam());
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam()) << "status " << status;
    EXPECT_TRUE(fs::is_empty(parent));
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, ScratchFolderSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(ScratchFolder, RemovesLeftoversWhoseProgramIsGoneAndItselfAtTheEnd) {
    const fs::path parent = freshFolder("scratch-leftovers");
    for (const char* name : {"body-analyzer-Gone01", "body-analyzer-Alive1", "other-program-Gone02"}) {
        fs::create_directory(parent / name);
        std::ofstream(parent / name / "lock") << "1";
    }
    // Made by runs that kept no lock: one empty, one with a file open, one whose program is gone.
    for (const char* name : {"body-analyzer-Empty1", "body-analyzer-InUse1", "body-analyzer-Gone03"})
        fs::create_directory(parent / name);
    std::ofstream(parent / "body-analyzer-InUse1" / "take-1.raw") << "x";
    std::ofstream(parent / "body-analyzer-Gone03" / "take-1.raw") << "x";
    const int open = ::open((parent / "body-analyzer-InUse1" / "take-1.raw").c_str(), O_RDONLY);
    const int held = ::open((parent / "body-analyzer-Alive1" / "lock").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0); // as the program that runs with it does
    fs::path made;
    {
        TScratchFolder folder(parent.string());
        made = folder.path();
        EXPECT_TRUE(fs::is_directory(made)) << folder.why();
        EXPECT_EQ(std::distance(fs::directory_iterator(parent), fs::directory_iterator()), 5);
        EXPECT_FALSE(fs::exists(parent / "body-analyzer-Gone01") ||
                     fs::exists(parent / "body-analyzer-Gone03"));
        EXPECT_EQ(TScratchFolder::removeLeftovers(parent.string()), 0) << "a live folder was taken for gone";
        std::ofstream(folder.filePath("take-1.raw")) << "x";
    }
    EXPECT_FALSE(fs::exists(made));
    ::close(held);
    ::close(open);
}

} // namespace
