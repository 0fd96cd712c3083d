#include "io/WriteSteps.h"

#include "io/SafeWriter.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
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

mode_t newFileMode() {
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
