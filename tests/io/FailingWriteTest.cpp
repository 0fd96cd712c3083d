// Writes that fail for real: a folder or file without write permission, a file size limit that
// stops the write part-way, a disk that fills up. Every writer reports the file and the reason,
// leaves the previous file byte for byte and leaves no temporary file behind.
#include "dsp/Analyzer.h"
#include "io/BodyDataFile.h"
#include "io/IoTestSupport.h"
#include "io/ProjectFile.h"
#include "io/SafeWriter.h"
#include "support/FileFaults.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TWriter {
    const char* name; // the file each writer writes
    std::function<TFileResult(const TAnalyzer&, const std::string&)> write;
};

const TWriter writers[] = {
    {"out.txt",
     [](const TAnalyzer&, const std::string& p) { return writeFileSafely(p, std::string(300000, 't')); }},
    {"out.smd", [](const TAnalyzer& a, const std::string& p) { return writeBodyData(a, "Guitar", p); }},
    {"out.smp", [](const TAnalyzer& a, const std::string& p) { return writeProject(a, p); }},
};

class FailingWrite : public TScratchDir {
protected:
    // Puts a previous file at each writer's path.
    void writePreviousFiles() {
        for (const TWriter& w : writers)
            writeFile(path(w.name), previous(w.name));
    }
    static std::string previous(const std::string& name) { return "previous contents of " + name + "\r\n"; }

    // Every writer fails with `reason`, its previous file is intact and the folder holds what it
    // held before.
    void expectEveryWriterFails(const std::string& reason) {
        const std::vector<std::string> contents = folderContents();
        for (const TWriter& w : writers) {
            const TFileResult r = w.write(*a, path(w.name));
            EXPECT_FALSE(r.ok) << w.name;
            EXPECT_EQ(r.message, "Cannot write \"" + path(w.name) + "\": " + reason);
            EXPECT_EQ(readFile(path(w.name)), previous(w.name));
            EXPECT_EQ(folderContents(), contents) << w.name;
        }
    }

    std::unique_ptr<TAnalyzer> a = std::make_unique<TAnalyzer>();
};

TEST_F(FailingWrite, FolderWithoutWritePermission) {
    writePreviousFiles();
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    const TNoPermissionOverride asUser;
    ASSERT_TRUE(asUser.enforced());
    expectEveryWriterFails("Permission denied");
    // New files cannot be made there either.
    const TFileResult r = writeProject(*a, path("new.smp"));
    EXPECT_EQ(r.message, "Cannot write \"" + path("new.smp") + "\": Permission denied");
    EXPECT_FALSE(std::filesystem::exists(path("new.smp")));
}

TEST_F(FailingWrite, WriteProtectedFile) {
    writePreviousFiles();
    for (const TWriter& w : writers)
        ASSERT_EQ(::chmod(path(w.name).c_str(), 0444), 0);
    const TNoPermissionOverride asUser;
    ASSERT_TRUE(asUser.enforced());
    expectEveryWriterFails("Permission denied");
}

TEST_F(FailingWrite, FileSizeLimitStopsTheWritePartWay) {
    writePreviousFiles();
    const TFileSizeLimit limit(65536); // each writer writes more than this
    ASSERT_TRUE(limit.enforced());
    expectEveryWriterFails("File too large");
}

TEST_F(FailingWrite, DiskFillsUpDuringTheWrite) {
    const TTinyDisk disk(dir.string(), 2 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    writePreviousFiles();
    // Fill what is left of the disk.
    const int fd = ::open(path("filler").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    EXPECT_EQ(errno, ENOSPC);
    ::close(fd);
    expectEveryWriterFails("No space left on device");
    // Once there is room again the same writes succeed.
    ASSERT_EQ(::unlink(path("filler").c_str()), 0);
    for (const TWriter& w : writers)
        EXPECT_TRUE(w.write(*a, path(w.name)).ok) << w.name;
}

TEST_F(FailingWrite, DiskFillsUpDuringAnInPlaceRewrite) {
    const TTinyDisk disk(dir.string(), 2 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    // A hard-linked file is rewritten in place. Room for the temporary file and the backup, but
    // not for the new contents a second time: the rewrite fails after the truncation.
    writeFile(path("a.smp"), "previous\r\n");
    ASSERT_EQ(::link(path("a.smp").c_str(), path("b.smp").c_str()), 0);
    const std::string content(400 << 10, 'n');
    const int fd = ::open(path("filler").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ASSERT_EQ(::ftruncate(fd, ::lseek(fd, 0, SEEK_END) - (600 << 10)), 0);
    ::close(fd);
    const TFileResult r = writeFileSafely(path("a.smp"), content);
    EXPECT_EQ(r.message, "Cannot write \"" + path("a.smp") + "\": No space left on device");
    EXPECT_EQ(readFile(path("b.smp")), "previous\r\n"); // put back from the backup
    EXPECT_THAT(folderContents(), testing::ElementsAre("a.smp", "b.smp", "filler"));
    // With room again it is written, still one file under two names.
    ASSERT_EQ(::unlink(path("filler").c_str()), 0);
    EXPECT_TRUE(writeFileSafely(path("a.smp"), content).ok);
    EXPECT_EQ(readFile(path("b.smp")), content);
}

} // namespace
