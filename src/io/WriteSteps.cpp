#include "io/WriteSteps.h"

#include "io/SafeWriter.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

int fsyncFolder(int folderFd) {
    return ::fsync(folderFd) == 0 ? 0 : errno;
}

} // namespace

int (*safeWriterSyncFolder)(int folderFd) = fsyncFolder;

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

int copyContents(int from, int to) {
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        if (const int err = writeAll(to, std::string_view(buffer, static_cast<std::size_t>(n))))
            return err;
        offset += n;
    }
}

int createFileNextTo(const std::string& target, const char* kind, bool hidden, std::string& created) {
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // The name is shortened so that the new name stays within the file system's limit.
    const std::string base = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 200);
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = dir + (hidden ? "." : "") + base + "." + kind + "-" + std::to_string(::getpid()) + "-" +
                  std::to_string(++counter);
        const int fd = ::open(created.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int err = safeWriterSyncFolder(fd);
    ::close(fd);
    return err == EINVAL ? 0 : err;
}

namespace {

// The mode bits a default access list gives a new file, or -1 when the folder has none. The list is
// the kernel's attribute format: a 4-byte version, then entries of a 2-byte tag, a 2-byte permission
// and a 4-byte id, little-endian.
int modeFromDefaultAcl(const std::string& folder) {
    unsigned char list[4 + 8 * 64];
    const ssize_t n = ::getxattr(folder.c_str(), "system.posix_acl_default", list, sizeof list);
    if (n < 4)
        return -1;
    int owner = -1, group = -1, mask = -1, other = -1;
    for (ssize_t pos = 4; pos + 8 <= n; pos += 8) {
        const unsigned tag = list[pos] | list[pos + 1] << 8;
        const int permission = list[pos + 2] & 7;
        if (tag == 0x01)
            owner = permission;
        else if (tag == 0x04)
            group = permission;
        else if (tag == 0x10)
            mask = permission;
        else if (tag == 0x20)
            other = permission;
    }
    const int groupClass = mask >= 0 ? mask : group;
    if (owner < 0 || groupClass < 0 || other < 0)
        return -1;
    return (owner << 6 | groupClass << 3 | other) & 0666;
}

} // namespace

mode_t newFileMode(const std::string& folder) {
    if (const int mode = modeFromDefaultAcl(folder); mode >= 0)
        return static_cast<mode_t>(mode);
    // The umask cannot be read without setting it, and setting it would race with files other
    // threads create; the kernel shows it in the process's status instead.
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "Umask:") {
            std::string octal;
            status >> octal;
            try {
                return 0666 & ~static_cast<mode_t>(std::stoul(octal, nullptr, 8));
            } catch (const std::exception&) {
                break;
            }
        }
        status.ignore(4096, '\n');
    }
    // No such line: read it by setting the strictest mask for a moment.
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return 0666 & ~mask;
}
