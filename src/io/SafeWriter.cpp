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

TFileResult writeInPlace(const std::string& path, std::string_view content) {
    // O_NONBLOCK: opening a FIFO that no program reads from would wait forever (and the window
    // with it); it fails at once instead. The writes then wait for the reader as usual.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failure(path, errno == ENXIO ? "no program is reading from it" : std::strerror(errno));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int err = writeAll(fd, content);
    const int closeErr = ::close(fd) == 0 ? 0 : errno;
    if (err || closeErr)
        return failure(path, std::strerror(err ? err : closeErr));
    return {};
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
    if (path.empty())
        return failure(path, "no file name given");

    // Replace the file a symbolic link points to, keeping the link.
    std::string target;
    if (const int err = followLinks(path, target))
        return failure(path, std::strerror(err));
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return failure(path, "it is a folder");
    if (exists && !S_ISREG(st.st_mode))
        return writeInPlace(target, content);
    // A write-protected file stays protected: replacing it by rename would bypass that. The check
    // uses the effective credentials, those of the write (access() would use root's full rights).
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return failure(path, std::strerror(errno));

    std::string tempPath;
    const int fd = createTemp(target, tempPath);
    if (fd < 0)
        return failure(path, std::strerror(errno));

    int err = 0;
    if (exists && ::fchmod(fd, st.st_mode & 07777) != 0)
        err = errno;
    if (!err)
        err = writeAll(fd, content);
    if (!err && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(tempPath.c_str(), target.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(tempPath.c_str());
        return failure(path, std::strerror(err));
    }
    syncFolderOf(target);
    return {};
}
