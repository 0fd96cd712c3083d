#include "io/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFilePtr openRegularFile(const std::string& path, std::string& reason) {
    // Devices are not even opened (opening some has effects of its own); the check after the open
    // catches a file swapped in between.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        reason = S_ISDIR(before.st_mode) ? "is a folder" : "not a regular file";
        return nullptr;
    }
    // O_NONBLOCK keeps the open itself from waiting for a FIFO's writer; the type check refuses
    // everything but regular files before a single byte is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        reason = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return TFilePtr(f);
}
