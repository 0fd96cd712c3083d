#include "io/SafeWriter.h"
#include "io/IoTestSupport.h"
#include "support/FileFaults.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class SafeWriter : public TScratchDir {
protected:
    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    mode_t modeOf(const std::string& p) const {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        return st.st_mode;
    }
};

TEST_F(SafeWriter, ReplacesWholeFileKeepingPermissionsAndLeavesNoTemporary) {
    writeFile(path("a.txt"), std::string(5000, 'x'));
    ASSERT_EQ(::chmod(path("a.txt").c_str(), 0640), 0);
    ASSERT_TRUE(writeFileSafely(path("a.txt"), "new\r\n").ok);
    EXPECT_EQ(readFile(path("a.txt")), "new\r\n");
    EXPECT_EQ(modeOf(path("a.txt")) & 07777, 0640u);
    ASSERT_TRUE(writeFileSafely(path("b.txt"), "").ok);
    EXPECT_EQ(readFile(path("b.txt")), "");
    EXPECT_THAT(folderContents(), testing::ElementsAre("a.txt", "b.txt"));
}

TEST_F(SafeWriter, LongestFileNameIsWritten) {
    const std::string name(255, 'n'); // the temporary name must not exceed the limit
    ASSERT_TRUE(writeFileSafely(path(name), "x").ok);
    EXPECT_THAT(folderContents(), testing::ElementsAre(name));
}

TEST_F(SafeWriter, UnwritableTargetsAreReported) {
    const std::pair<std::string, std::string> cases[] = {
        {path("missing/a.txt"), "No such file or directory"},
        {dir.string(), "it is a folder"},
        {"", "no file name given"},
    };
    for (const auto& [target, reason] : cases)
        EXPECT_EQ(writeFileSafely(target, "x").message, "Cannot write \"" + target + "\": " + reason);
}

TEST_F(SafeWriter, ProtectedFileOrFolderIsLeftAlone) {
    const TNoPermissionOverride asUser;
    ASSERT_TRUE(asUser.enforced());
    writeFile(path("ro.txt"), "old");
    ASSERT_EQ(::chmod(path("ro.txt").c_str(), 0444), 0);
    EXPECT_FALSE(writeFileSafely(path("ro.txt"), "new").ok);
    EXPECT_EQ(readFile(path("ro.txt")), "old");
    ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);
    writeFile(path("ro.txt"), "old");
    const TFileResult r = writeFileSafely(path("ro.txt"), "new");
    EXPECT_FALSE(r.ok);
    EXPECT_THAT(r.message, testing::HasSubstr("Permission denied"));
    EXPECT_EQ(readFile(path("ro.txt")), "old");
}

TEST_F(SafeWriter, SymbolicLinkStaysALink) {
    writeFile(path("real.txt"), "old");
    ASSERT_EQ(::symlink("real.txt", path("link.txt").c_str()), 0);
    ASSERT_TRUE(writeFileSafely(path("link.txt"), "new").ok);
    EXPECT_TRUE(S_ISLNK(modeOf(path("link.txt"))));
    EXPECT_EQ(readFile(path("real.txt")), "new");
}

TEST_F(SafeWriter, LinkToAFileNotYetThereCreatesThatFile) {
    std::filesystem::create_directory(dir / "real");
    ASSERT_EQ(::symlink("real/new.txt", path("link.txt").c_str()), 0);
    ASSERT_EQ(::symlink("link.txt", path("chain.txt").c_str()), 0);
    ASSERT_TRUE(writeFileSafely(path("chain.txt"), "new").ok);
    EXPECT_TRUE(S_ISLNK(modeOf(path("chain.txt"))));
    EXPECT_TRUE(S_ISLNK(modeOf(path("link.txt"))));
    EXPECT_EQ(readFile(path("real/new.txt")), "new");

    // A link into a missing folder and a loop of links are refused; the links stay.
    ASSERT_EQ(::symlink("missing/new.txt", path("nowhere.txt").c_str()), 0);
    EXPECT_EQ(writeFileSafely(path("nowhere.txt"), "x").message,
              "Cannot write \"" + path("nowhere.txt") + "\": No such file or directory");
    ASSERT_EQ(::symlink("loop2", path("loop1").c_str()), 0);
    ASSERT_EQ(::symlink("loop1", path("loop2").c_str()), 0);
    EXPECT_EQ(writeFileSafely(path("loop1"), "x").message,
              "Cannot write \"" + path("loop1") + "\": Too many levels of symbolic links");
    EXPECT_THAT(folderContents(),
                testing::ElementsAre("chain.txt", "link.txt", "loop1", "loop2", "nowhere.txt", "real"));
    for (const char* link : {"nowhere.txt", "loop1", "loop2"})
        EXPECT_TRUE(S_ISLNK(modeOf(path(link)))) << link;
}

TEST_F(SafeWriter, FifoAndDeviceAreWrittenInPlace) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const std::string content(100000, 'z'); // more than a pipe holds at once
    // Nobody reads: refused at once instead of waiting for a reader that never comes.
    const TFileResult unread = writeFileSafely(path("fifo"), content);
    EXPECT_FALSE(unread.ok);
    EXPECT_EQ(unread.message, "Cannot write \"" + path("fifo") + "\": no program is reading from it");

    // A reader takes all of it. Opened read-write, the read end exists before the writer comes.
    const int readEnd = ::open(path("fifo").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(readEnd, 0);
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        while (received.size() < content.size()) {
            const ssize_t n = ::read(readEnd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    const TFileResult r = writeFileSafely(path("fifo"), content);
    reader.join();
    ::close(readEnd);
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(received, content);
    EXPECT_TRUE(S_ISFIFO(modeOf(path("fifo"))));

    EXPECT_TRUE(writeFileSafely("/dev/null", "discarded").ok);
    EXPECT_TRUE(S_ISCHR(modeOf("/dev/null")));
}

} // namespace
