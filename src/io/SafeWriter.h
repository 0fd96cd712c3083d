// Writing a whole file so that a failure never leaves a partial file in place of a good one.
#pragma once

#include "io/FileResult.h"

#include <cstdint>
#include <string>
#include <string_view>

// Writes `content` as the complete contents of `path`.
// A regular file (or a new one) is written to a temporary file in the same folder (mode 0600
// while it is written), flushed to disk and renamed over the target, so the target holds either
// its old or its new contents, never a mix; the folder is then flushed too. The new file gets the
// owner, group, permission bits and extended attributes of the file it replaces (a new file what
// creating it with mode 0666 would give: 0666 less the umask, or the folder's default access list). Where a
// replacement cannot keep what the file had (more than one hard link, an owner or group this process may not
// give away, a file that is a mount point), the file is rewritten in place instead, with a backup copy of the
// old contents next to it until the new ones are on disk (see rewriteInPlace). A symbolic link (or a chain of
// them) is followed and the file it points to is written, or created when it does not exist yet; the link
// stays. A file the caller may not write is refused, not replaced. The names "-" and "/dev/stdout" (standard
// output), "/dev/stderr", "/proc/self/fd/N" and
// "/dev/fd/N" write to that open descriptor as it is: no temporary file, no rename, so a pipe or an
// appending redirection gets the content as if written by the program directly.
// An existing target that is not a regular file (a FIFO, a device) is written in place, never
// replaced. A FIFO that no program has open for reading is refused at once ("no program is
// reading from it"); one that is being read takes the content at the reader's pace. A socket is
// refused ("it is a socket").
// The temporary file is also removed when SIGINT or SIGTERM ends the program (see
// InterruptCleanup.h). On failure the temporary file is removed, the target is left as it was, and the
// message names the file and the reason ("Cannot write \"/x/y.smd\": Permission denied"). When only the flush
// of the folder after the rename fails, the new file is in place but may not survive a crash: the result is
// not ok, notDurable is set and the message says so. Writes to a pipe whose reader has gone, or past the file
// size limit, fail with "Broken pipe" or "File too large" once the program ignores those signals
// (ignoreWriteSignals).
TFileResult writeFileSafely(const std::string& path, std::string_view content);

// The same, for content written piece by piece (a rendered recording of any length): open, any
// number of writes, then commit. Nothing is visible at the target before commit succeeds; a writer
// destroyed or abandoned before that removes its temporary file and leaves the target as it was.
// A target written in place (FIFO, device, open descriptor) takes each piece as it comes.
// Each writer is used by one thread at a time; writers in different threads are independent.
class TSafeFileWriter {
public:
    TSafeFileWriter() = default;
    ~TSafeFileWriter();
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

    // Checks the target and creates the temporary file (or opens the target written in place).
    TFileResult open(const std::string& path);
    // The size the file will have, so the file system can give it its room at once (only a hint:
    // ignored where it cannot be given; the file's size is what is written).
    void reserve(std::int64_t bytes);
    // Appends `content`; after the first failure every later write and the commit report it.
    TFileResult write(std::string_view content);
    // Flushes, gives the temporary file the target's owner, mode and attributes, renames it over
    // the target and syncs the folder (or rewrites the target in place, see above).
    TFileResult commit();
    // Removes the temporary file; the target stays as it was. Harmless when nothing is open.
    void abandon();
    bool isOpen() const { return fd >= 0; }

private:
    TFileResult fail(int err);

    std::string path;     // as given, for messages
    std::string target;   // the file finally written (links followed)
    std::string tempPath; // empty when writing in place
    int temporaryTicket = -1; // its registration for removal on SIGINT and SIGTERM
    static constexpr std::int64_t writebackStep = 4 << 20; // bytes
    std::int64_t written = 0;                              // bytes written so far
    std::int64_t startedToDisk = 0;                        // bytes whose writing to disk was started
    int fd = -1;
    int writeError = 0;
};

// For tests only: the call that flushes a folder after the rename (fsync by default), returning 0
// or an errno. No real fault makes fsync of a folder fail on its own; a test points this at a
// failing function to see a failed flush reported, and puts it back afterwards.
extern int (*safeWriterSyncFolder)(int folderFd);
