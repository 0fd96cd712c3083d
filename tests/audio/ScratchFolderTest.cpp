// The scratch folder of the renderings kept for listening: gone after the destructor and after an
// ending signal, and leftovers of earlier runs removed only when their program is gone.
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

// A fresh folder of the test's own for the scratch folders.
fs::path freshParent(const std::string& name) {
    const fs::path parent = fs::path(::testing::TempDir()) / name;
    fs::remove_all(parent);
    fs::create_directories(parent);
    return parent;
}

void touch(const fs::path& file) {
    std::ofstream(file) << "x";
}

class ScratchFolderSignal : public ::testing::TestWithParam<int> {};

TEST_P(ScratchFolderSignal, RemovesTheFolderAndEndsTheProgram) {
    const fs::path parent = freshParent("scratch-signal");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TScratchFolder folder(parent.string());
        touch(folder.filePath("take-1.raw"));
        const char ok = folder.valid() ? 'y' : 'n';
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &ok, 1);
        for (;;)
            ::pause();
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    ASSERT_EQ(std::distance(fs::directory_iterator(parent), fs::directory_iterator()), 1);
    ::kill(child, GetParam());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam()) << "status " << status;
    EXPECT_TRUE(fs::is_empty(parent)) << fs::directory_iterator(parent)->path();
    ::close(ready[0]);
    ::close(ready[1]);
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, ScratchFolderSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(ScratchFolder, RemovesLeftoversWhoseProgramIsGoneAndItselfAtTheEnd) {
    const fs::path parent = freshParent("scratch-leftovers");
    const auto leftover = [&](const char* name, bool lock) {
        fs::create_directory(parent / name);
        touch(parent / name / "take-3.raw");
        if (lock)
            touch(parent / name / "lock");
    };
    leftover("body-analyzer-Gone01", true);
    leftover("body-analyzer-Alive1", true);
    leftover("body-analyzer-NoLock", false);
    leftover("other-program-Gone02", true);
    const int held = ::open((parent / "body-analyzer-Alive1" / "lock").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0); // as the program that runs with it would

    fs::path made;
    {
        TScratchFolder folder(parent.string());
        ASSERT_TRUE(folder.valid()) << folder.why();
        made = folder.path();
        EXPECT_TRUE(fs::is_directory(made));
        EXPECT_FALSE(fs::exists(parent / "body-analyzer-Gone01"));
        EXPECT_TRUE(fs::exists(parent / "body-analyzer-Alive1" / "take-3.raw"));
        EXPECT_TRUE(fs::exists(parent / "body-analyzer-NoLock" / "take-3.raw"));
        EXPECT_TRUE(fs::exists(parent / "other-program-Gone02"));
        // A second run beside this one leaves it alone.
        EXPECT_EQ(TScratchFolder::removeLeftovers(parent.string()), 0);
        touch(folder.filePath("take-1.raw"));
    }
    EXPECT_FALSE(fs::exists(made));
    ::close(held);
    EXPECT_EQ(TScratchFolder::removeLeftovers(parent.string()), 1);
    EXPECT_FALSE(fs::exists(parent / "body-analyzer-Alive1"));
}

} // namespace
