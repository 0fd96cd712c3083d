#include "io/SafeWriter.h"

#include "io/FileAttributes.h"
#include "io/InPlaceRewrite.h"
#include "io/InterruptCleanup.h"
#include "io/WriteSteps.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TFileResult failure(const std::string& path, const std::string& reason) {
    return fileError("Cannot write \"" + path + "\": " + reason);
}

// The open descriptor an output name stands for, or -1 for an ordinary name.
int namedDescriptor(const std::string& path) {
    if (path == "-" || path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    for (const std::string_view prefix : {"/proc/self/fd/", "/dev/fd/"}) {
        if (path.size() <= prefix.size() || path.size() > prefix.size() + 9 ||
            path.compare(0, prefix.size(), prefix))
            continue;
        int n = 0;
        for (std::size_t i = prefix.size(); i < path.size(); ++i) {
            if (path[i] < '0' || path[i] > '9')
                return -1;
            n = n * 10 + (path[i] - '0');
        }
        return n;
    }
    return -1;
}

// Opens a FIFO or device for writing in place; returns the descriptor or -1 with `reason` set.
int openInPlace(const std::string& path, bool fifo, std::string& reason) {
    // O_NONBLOCK: opening a FIFO that no program reads from would wait forever (and the window
    // with it); it fails at once instead. The writes then wait for the reader as usual.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = fifo && errno == ENXIO ? "no program is reading from it" : std::strerror(errno);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The file `path` leads to: `path` itself unless it is a symbolic link, else the end of the chain
// of links, which need not exist yet (a link to a file still to be written); a chain ending in a
// descriptor's name stops there. Returns 0 or an errno (ELOOP for a chain that does not end).
int followLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (namedDescriptor(target) >= 0 || ::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return 0;
        std::string next(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), next.data(), next.size());
        if (n < 0)
            return errno;
        next.resize(static_cast<std::size_t>(n));
        // A relative link is relative to the folder holding it.
        const std::size_t slash = target.rfind('/');
        if (next.empty() || next.front() != '/')
            next.insert(0, slash == std::string::npos ? std::string() : target.substr(0, slash + 1));
        target = std::move(next);
    }
    return ELOOP;
}

} // namespace

TFileResult writeFileSafely(const std::string& path, std::string_view content) {
    TSafeFileWriter writer;
    if (TFileResult r = writer.open(path); !r.ok)
        return r;
    if (TFileResult r = writer.write(content); !r.ok)
        return r;
    return writer.commit();
}

TSafeFileWriter::~TSafeFileWriter() {
    abandon();
}

TFileResult TSafeFileWriter::fail(int err) {
    abandon();
    return failure(path, std::strerror(err));
}

void TSafeFileWriter::abandon() {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    forgetTemporary(temporaryTicket);
    temporaryTicket = -1;
    if (!tempPath.empty())
        ::unlink(tempPath.c_str());
    tempPath.clear();
}

TFileResult TSafeFileWriter::open(const std::string& givenPath) {
    abandon();
    path = givenPath;
    writeError = 0;
    written = startedToDisk = 0;
    if (path.empty())
        return failure(path, "no file name given");

    // Replace the file a symbolic link points to, keeping the link.
    if (const int err = followLinks(path, target))
        return failure(path, std::strerror(err));
    if (const int descriptor = namedDescriptor(target); descriptor >= 0) {
        // A copy of the descriptor, so closing it leaves the program's own open.
        fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
        return fd < 0 ? failure(path, std::strerror(errno)) : TFileResult{};
    }
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return failure(path, "it is a folder");
    if (exists && S_ISSOCK(st.st_mode))
        return failure(path, "it is a socket");
    if (exists && !S_ISREG(st.st_mode)) {
        std::string reason;
        fd = openInPlace(target, S_ISFIFO(st.st_mode), reason);
        return fd < 0 ? failure(path, reason) : TFileResult{};
    }
    // A write-protected file stays protected: replacing it by rename would bypass that. The check
    // uses the effective credentials, those of the write (access() would use root's full rights).
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return failure(path, std::strerror(errno));

    // Mode 0600 until commit: no one else may read the new contents before they are in place.
    fd = createFileNextTo(target, "tmp", true, tempPath);
    if (fd < 0) {
        const int err = errno;
        tempPath.clear();
        return failure(path, std::strerror(err));
    }
    temporaryTicket = registerTemporary(tempPath);
    return {};
}

void TSafeFileWriter::reserve(std::int64_t bytes) {
    if (fd >= 0 && !tempPath.empty() && bytes > 0)
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, bytes);
}

TFileResult TSafeFileWriter::write(std::string_view content) {
    if (fd < 0)
        return failure(path, writeError ? std::strerror(writeError) : "not open");
    if (const int err = writeAll(fd, content)) {
        writeError = err;
        return fail(err);
    }
    written += static_cast<std::int64_t>(content.size());
    // A long file goes to disk while the rest is still being made, so the flush at commit has
    // little left to wait for. Only a start: nothing waits here, and errors show at that flush.
    if (!tempPath.empty() && written - startedToDisk >= writebackStep) {
        ::sync_file_range(fd, startedToDisk, written - startedToDisk, SYNC_FILE_RANGE_WRITE);
        startedToDisk = written;
    }
    return {};
}

TFileResult TSafeFileWriter::commit() {
    if (fd < 0)
        return failure(path, writeError ? std::strerror(writeError) : "not open");
    if (tempPath.empty()) { // written in place
        const int err = ::close(fd) == 0 ? 0 : errno;
        fd = -1;
        return err ? failure(path, std::strerror(err)) : TFileResult{};
    }
    if (::fsync(fd) != 0)
        return fail(errno);

    // What the file has now, not when the writer was opened.
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    bool inPlace = replacing && !keepFileAttributes(fd, target, st);
    if (!replacing && ::fchmod(fd, newFileMode(folderOf(target))) != 0)
        return fail(errno);
    if (!inPlace) {
        // Forgotten first: once renamed, its name is the target's.
        forgetTemporary(temporaryTicket);
        temporaryTicket = -1;
        if (::rename(tempPath.c_str(), target.c_str()) == 0) {
            tempPath.clear();
            const int err = ::close(fd) == 0 ? 0 : errno;
            fd = -1;
            if (err)
                return failure(path, std::strerror(err));
            if (const int syncErr = syncFolder(folderOf(target))) {
                TFileResult r =
                    fileError("\"" + path + "\" was written, but it may not survive a crash: its folder " +
                              "could not be flushed to disk (" + std::strerror(syncErr) + ")");
                r.notDurable = true;
                return r;
            }
            return {};
        }
        // A file that is a mount point (EBUSY), or one on another file system than its folder
        // (EXDEV), cannot be replaced; it can be rewritten.
        if (!replacing || (errno != EBUSY && errno != EXDEV))
            return fail(errno);
    }
    TFileResult r = rewriteInPlace(path, target, fd);
    abandon();
    return r;
}
