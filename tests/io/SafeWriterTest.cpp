#include "io/SafeWriter.h"
#include "io/IoTestSupport.h"
#include "support/FileFaults.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace {

class SafeWriter : public TScratchDir {
protected:
    mode_t modeOf(const std::string& p) const {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        return st.st_mode;
    }
    static struct stat statusOf(const std::string& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st;
    }
    // The one temporary file in the folder.
    std::string temporary() const {
        for (const std::string& name : folderContents())
            if (name.find(".tmp-") != std::string::npos)
                return path(name);
        return {};
    }
};

// Puts a failing folder flush in place while alive.
class TFailingFolderSync {
public:
    TFailingFolderSync() : saved(safeWriterSyncFolder) {
        safeWriterSyncFolder = [](int) { return EIO; };
    }
    ~TFailingFolderSync() { safeWriterSyncFolder = saved; }

private:
    int (*saved)(int);
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

TEST_F(SafeWriter, TemporaryIsPrivateUntilItTakesTheFinalModeAtCommit) {
    const mode_t savedMask = ::umask(022);
    writeFile(path("shared.txt"), "old");
    ASSERT_EQ(::chmod(path("shared.txt").c_str(), 0664), 0);
    for (const char* name : {"shared.txt", "new.txt"}) {
        TSafeFileWriter writer;
        ASSERT_TRUE(writer.open(path(name)).ok);
        ASSERT_TRUE(writer.write("private contents").ok);
        ASSERT_NE(temporary(), "") << name;
        EXPECT_EQ(modeOf(temporary()) & 07777, 0600u) << name;
        ASSERT_TRUE(writer.commit().ok);
    }
    EXPECT_EQ(modeOf(path("shared.txt")) & 07777, 0664u);
    EXPECT_EQ(modeOf(path("new.txt")) & 07777, 0644u);
    ::umask(077);
    ASSERT_TRUE(writeFileSafely(path("strict.txt"), "x").ok);
    EXPECT_EQ(modeOf(path("strict.txt")) & 07777, 0600u);
    ::umask(savedMask);

    // A folder with a default access list (group 2000 may write, others nothing): a new file gets
    // the mode and access list a direct creation would give it.
    std::filesystem::create_directory(dir / "acl");
    const unsigned char list[] = {2,    0, 0, 0,                          // version
                                  1,    0, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF,  // owner rwx
                                  4,    0, 5, 0, 0xFF, 0xFF, 0xFF, 0xFF,  // group r-x
                                  8,    0, 7, 0, 0xD0, 0x07, 0,    0,     // group 2000 rwx
                                  0x10, 0, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF,  // mask rwx
                                  0x20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}; // other ---
    if (::setxattr(path("acl").c_str(), "system.posix_acl_default", list, sizeof list, 0) != 0)
        return; // no access lists on this file system
    ::close(::open(path("acl/direct.txt").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
    ASSERT_TRUE(writeFileSafely(path("acl/written.txt"), "x").ok);
    EXPECT_EQ(modeOf(path("acl/written.txt")) & 07777, modeOf(path("acl/direct.txt")) & 07777);
    EXPECT_EQ(modeOf(path("acl/written.txt")) & 07777, 0660u);
    const auto accessList = [](const std::string& file) {
        std::string value(256, '\0');
        const ssize_t n = ::getxattr(file.c_str(), "system.posix_acl_access", value.data(), value.size());
        value.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return value;
    };
    EXPECT_NE(accessList(path("acl/direct.txt")), "");
    EXPECT_EQ(accessList(path("acl/written.txt")), accessList(path("acl/direct.txt")));
}

TEST_F(SafeWriter, ReplacementKeepsOwnerGroupAndExtendedAttributes) {
    writeFile(path("a.smp"), "old");
    if (::chown(path("a.smp").c_str(), 1000, 1234) != 0)
        GTEST_SKIP() << "needs the right to give files away (root)";
    ASSERT_EQ(::chmod(path("a.smp").c_str(), 02640), 0);
    const bool attributes = ::setxattr(path("a.smp").c_str(), "user.origin", "mic", 3, 0) == 0;
    ASSERT_TRUE(writeFileSafely(path("a.smp"), "new").ok);
    const struct stat st = statusOf(path("a.smp"));
    EXPECT_EQ(st.st_uid, 1000u);
    EXPECT_EQ(st.st_gid, 1234u);
    EXPECT_EQ(st.st_mode & 07777, 02640u);
    EXPECT_EQ(readFile(path("a.smp")), "new");
    if (attributes) {
        char value[8] = {};
        EXPECT_EQ(::getxattr(path("a.smp").c_str(), "user.origin", value, sizeof value), 3);
        EXPECT_STREQ(value, "mic");
    }
    EXPECT_THAT(folderContents(), testing::ElementsAre("a.smp"));
}

TEST_F(SafeWriter, FileThatMustStayTheSameFileIsRewrittenInPlace) {
    // Hard links: every name sees the new contents.
    writeFile(path("a.smp"), "old");
    ASSERT_EQ(::link(path("a.smp").c_str(), path("b.smp").c_str()), 0);
    const ino_t inode = statusOf(path("a.smp")).st_ino;
    ASSERT_TRUE(writeFileSafely(path("a.smp"), "new contents").ok);
    EXPECT_EQ(readFile(path("b.smp")), "new contents");
    EXPECT_EQ(statusOf(path("a.smp")).st_ino, inode);
    EXPECT_EQ(statusOf(path("a.smp")).st_nlink, 2u);

    // An owner this process may not give the replacement: the file stays the owner's.
    writeFile(path("theirs.smp"), "old");
    if (::chown(path("theirs.smp").c_str(), 1000, 1000) == 0) {
        const TNoChownRight asUser;
        ASSERT_TRUE(asUser.enforced());
        const TFileResult r = writeFileSafely(path("theirs.smp"), "new");
        EXPECT_TRUE(r.ok) << r.message;
        EXPECT_EQ(statusOf(path("theirs.smp")).st_uid, 1000u);
        EXPECT_EQ(readFile(path("theirs.smp")), "new");
    }
    EXPECT_THAT(folderContents(), testing::ElementsAre("a.smp", "b.smp", "theirs.smp"));
}

TEST_F(SafeWriter, BindMountedFileIsRewrittenInPlace) {
    std::filesystem::create_directory(dir / "elsewhere");
    writeFile(path("elsewhere/real.smd"), "old");
    writeFile(path("mounted.smd"), "underneath");
    const TBindMount mount(path("elsewhere/real.smd"), path("mounted.smd"));
    if (!mount.mounted())
        GTEST_SKIP() << "cannot mount here";
    const TFileResult r = writeFileSafely(path("mounted.smd"), "new");
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(readFile(path("elsewhere/real.smd")), "new");
    EXPECT_THAT(folderContents(), testing::ElementsAre("elsewhere", "mounted.smd"));
}

TEST_F(SafeWriter, OpenDescriptorsAreWrittenAsTheyAre) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_TRUE(writeFileSafely("/proc/self/fd/" + std::to_string(ends[1]), "through ").ok);
    ASSERT_TRUE(writeFileSafely("/dev/fd/" + std::to_string(ends[1]), "the pipe").ok);
    ::close(ends[1]);
    char buffer[64] = {};
    EXPECT_EQ(::read(ends[0], buffer, sizeof buffer), 16);
    EXPECT_STREQ(buffer, "through the pipe");
    ::close(ends[0]);

    // A log opened for appending keeps what it held; a link to the descriptor stays a link.
    writeFile(path("log.txt"), "earlier\n");
    const int log = ::open(path("log.txt").c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(log, 0);
    ASSERT_EQ(::symlink(("/proc/self/fd/" + std::to_string(log)).c_str(), path("to-log").c_str()), 0);
    EXPECT_TRUE(writeFileSafely(path("to-log"), "later\n").ok);
    ::close(log);
    EXPECT_EQ(readFile(path("log.txt")), "earlier\nlater\n");
    EXPECT_TRUE(S_ISLNK(modeOf(path("to-log"))));
    EXPECT_THAT(folderContents(), testing::ElementsAre("log.txt", "to-log"));

    EXPECT_EQ(writeFileSafely("/proc/self/fd/999", "x").message,
              "Cannot write \"/proc/self/fd/999\": Bad file descriptor");
}

TEST_F(SafeWriter, ListeningSocketIsNamedForWhatItIs) {
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    EXPECT_EQ(writeFileSafely(socketPath, "x").message,
              "Cannot write \"" + socketPath + "\": it is a socket");
    ::close(listener);
    EXPECT_TRUE(S_ISSOCK(modeOf(socketPath)));
}

TEST_F(SafeWriter, FailedFolderFlushIsReportedWithTheFileInPlace) {
    writeFile(path("a.smd"), "old");
    const TFailingFolderSync failingSync;
    const TFileResult r = writeFileSafely(path("a.smd"), "new");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.notDurable);
    EXPECT_EQ(r.message,
              "\"" + path("a.smd") +
                  "\" was written, but it may not survive a crash: its folder could not be flushed "
                  "to disk (Input/output error)");
    EXPECT_EQ(readFile(path("a.smd")), "new");
    EXPECT_THAT(folderContents(), testing::ElementsAre("a.smd"));
}

TEST_F(SafeWriter, AnInterruptOrTerminateSignalRemovesTheTemporaryAndEndsTheProgram) {
    writeFile(path("out.wav"), "previous");
    const std::vector<std::string> before = folderContents();
    for (const int signal : {SIGINT, SIGTERM}) {
        EXPECT_EXIT(
            {
                TSafeFileWriter writer;
                if (writer.open(path("out.wav")).ok && writer.write("partial").ok && !temporary().empty())
                    ::raise(signal);
                std::_Exit(0);
            },
            ::testing::KilledBySignal(signal), "");
        EXPECT_EQ(folderContents(), before) << signal;
        EXPECT_EQ(readFile(path("out.wav")), "previous");
    }
}

} // namespace
