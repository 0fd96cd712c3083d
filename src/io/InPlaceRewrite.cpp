#include "io/InPlaceRewrite.h"

#include "io/WriteSteps.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Truncates `fd` and fills it from `from`; 0 or an errno.
int refill(int fd, int from) {
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        return errno;
    if (const int err = copyContents(from, fd))
        return err;
    return ::fsync(fd) == 0 ? 0 : errno;
}

class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd(fd) {}
    ~TDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int fd;
};

} // namespace

TFileResult rewriteInPlace(const std::string& path, const std::string& target, int contentFd) {
    const auto failure = [&](int err, const std::string& more = {}) {
        return fileError("Cannot write \"" + path + "\": " + std::strerror(err) + more);
    };
    // Read access too: the old contents must be copied before they are overwritten.
    const TDescriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.fd < 0)
        return failure(errno);
    std::string backupPath;
    const TDescriptor backup(createFileNextTo(target, "backup", false, backupPath));
    if (backup.fd < 0)
        return failure(errno);
    int err = copyContents(file.fd, backup.fd);
    if (!err && ::fsync(backup.fd) != 0)
        err = errno;
    if (!err)
        err = syncFolder(folderOf(backupPath));
    if (err) { // nothing changed yet
        ::unlink(backupPath.c_str());
        return failure(err);
    }

    err = refill(file.fd, contentFd);
    if (err && refill(file.fd, backup.fd) != 0)
        return failure(err, "; the previous contents are kept in \"" + backupPath + "\"");
    ::unlink(backupPath.c_str());
    return err ? failure(err) : TFileResult{};
}
