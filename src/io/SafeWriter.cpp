#include "io/SafeWriter.h"

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

// Writes all of `content` to `fd`; returns 0 or the errno of the failing write.
int writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// Opens a FIFO or device for writing in place; returns the descriptor or -1 with `reason` set.
int openInPlace(const std::string& path, std::string& reason) {
    // O_NONBLOCK: opening a FIFO that no program reads from would wait forever (and the window
    // with it); it fails at once instead. The writes then wait for the reader as usual.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = errno == ENXIO ? "no program is reading from it" : std::strerror(errno);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Creates a new file next to `target` with a name no one else uses; returns its descriptor or -1.
int createTemp(const std::string& target, std::string& tempPath) {
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // The name is shortened so that the temporary name stays within the file system's limit.
    const std::string base = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = dir + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The file `path` leads to: `path` itself unless it is a symbolic link, else the end of the chain
// of links, which need not exist yet (a link to a file still to be written). Returns 0 or an errno
// (ELOOP for a chain that does not end).
int followLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
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

void syncFolderOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // best effort: makes the rename durable
        ::close(fd);
    }
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
    if (!tempPath.empty())
        ::unlink(tempPath.c_str());
    tempPath.clear();
}

TFileResult TSafeFileWriter::open(const std::string& givenPath) {
    abandon();
    path = givenPath;
    writeError = 0;
    replacing = false;
    if (path.empty())
        return failure(path, "no file name given");

    // Replace the file a symbolic link points to, keeping the link.
    if (const int err = followLinks(path, target))
        return failure(path, std::strerror(err));
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return failure(path, "it is a folder");
    if (exists && !S_ISREG(st.st_mode)) {
        std::string reason;
        fd = openInPlace(target, reason);
        return fd < 0 ? failure(path, reason) : TFileResult{};
    }
    // A write-protected file stays protected: replacing it by rename would bypass that. The check
    // uses the effective credentials, those of the write (access() would use root's full rights).
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return failure(path, std::strerror(errno));

    fd = createTemp(target, tempPath);
    if (fd < 0) {
        const int err = errno;
        tempPath.clear();
        return failure(path, std::strerror(err));
    }
    replacing = exists;
    mode = st.st_mode & 07777;
    if (replacing && ::fchmod(fd, mode) != 0)
        return fail(errno);
    return {};
}

TFileResult TSafeFileWriter::write(std::string_view content) {
    if (fd < 0)
        return failure(path, writeError ? std::strerror(writeError) : "not open");
    if (const int err = writeAll(fd, content)) {
        writeError = err;
        return fail(err);
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
    int err = ::fsync(fd) != 0 ? errno : 0;
    if (::close(fd) != 0 && !err)
        err = errno;
    fd = -1;
    if (!err && ::rename(tempPath.c_str(), target.c_str()) != 0)
        err = errno;
    if (err)
        return fail(err);
    tempPath.clear();
    syncFolderOf(target);
    return {};
}
