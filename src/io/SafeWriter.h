// Writing a whole text file so that a failure never leaves a partial file in place of a good one.
#pragma once

#include "io/FileResult.h"

#include <string>
#include <string_view>

// Writes `content` as the complete contents of `path`.
// A regular file (or a new one) is written to a temporary file in the same folder, flushed to disk
// and renamed over the target, so the target holds either its old or its new contents, never a
// mix. The new file keeps the permissions of the file it replaces (new files: 0666 less the umask);
// a symbolic link (or a chain of them) is followed and the file it points to is replaced, or
// created when it does not exist yet; the link stays. A file the caller may not write is refused,
// not replaced.
// An existing target that is not a regular file (a FIFO, a device) is written in place, never
// replaced. A FIFO that no program has open for reading is refused at once ("no program is
// reading from it"); one that is being read takes the content at the reader's pace.
// On failure the temporary file is removed, the target is left as it was, and the message names
// the file and the reason ("Cannot write \"/x/y.smd\": Permission denied").
TFileResult writeFileSafely(const std::string& path, std::string_view content);

// The same, for content written piece by piece (a rendered recording of any length): open, any
// number of writes, then commit. Nothing is visible at the target before commit succeeds; a writer
// destroyed or abandoned before that removes its temporary file and leaves the target as it was.
// A target written in place (FIFO, device) takes each piece as it comes.
class TSafeFileWriter {
public:
    TSafeFileWriter() = default;
    ~TSafeFileWriter();
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

    // Checks the target and creates the temporary file (or opens the target written in place).
    TFileResult open(const std::string& path);
    // Appends `content`; after the first failure every later write and the commit report it.
    TFileResult write(std::string_view content);
    // Flushes, renames the temporary file over the target and syncs the folder.
    TFileResult commit();
    // Removes the temporary file; the target stays as it was. Harmless when nothing is open.
    void abandon();
    bool isOpen() const { return fd >= 0; }

private:
    TFileResult fail(int err);

    std::string path;     // as given, for messages
    std::string target;   // the file finally written (links followed)
    std::string tempPath; // empty when writing in place
    int fd = -1;
    int writeError = 0;
    bool replacing = false; // an existing file's permissions are copied
    unsigned mode = 0;
};
