#include "audio/ScratchFolder.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr char prefix[] = "body-analyzer-";
constexpr int nameLength = sizeof prefix - 1 + 6; // "XXXXXX" filled in by mkdtemp

// Removes every entry of the open folder `dir` (plain files) with calls a signal handler may make.
void emptyFolder(int dir) {
    alignas(8) char buffer[4096];
    ::lseek(dir, 0, SEEK_SET);
    for (;;) {
        const long n = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (long at = 0; at < n;) {
            // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name
            unsigned short length = 0;
            std::memcpy(&length, buffer + at + 16, sizeof length);
            const char* name = buffer + at + 19;
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                ::unlinkat(dir, name, 0);
            at += length;
        }
    }
}

// The folders the signal handlers remove: their paths and open descriptors, set before use.
struct TSlot {
    std::atomic<bool> used{false};
    int dir = -1;
    int lock = -1;
    char path[4096] = {};
};
std::array<TSlot, 8> slots;
constexpr std::array<int, 3> endingSignals{SIGTERM, SIGINT, SIGHUP};
std::array<struct sigaction, 3> previous{};
std::once_flag installed;

void onEndingSignal(int signal) {
    const int saved = errno;
    for (TSlot& s : slots)
        if (s.used.load()) {
            emptyFolder(s.dir);
            ::rmdir(s.path);
        }
    errno = saved;
    for (size_t i = 0; i < endingSignals.size(); ++i) {
        if (endingSignals[i] != signal)
            continue;
        const struct sigaction& before = previous[i];
        if (before.sa_flags & SA_SIGINFO) {
            before.sa_sigaction(signal, nullptr, nullptr);
        } else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
            before.sa_handler(signal);
        } else {
            ::sigaction(signal, &before, nullptr);
            ::raise(signal); // delivered once this handler returns
        }
    }
}

void installHandlers() {
    for (size_t i = 0; i < endingSignals.size(); ++i) {
        ::sigaction(endingSignals[i], nullptr, &previous[i]);
        if (previous[i].sa_handler == SIG_IGN && !(previous[i].sa_flags & SA_SIGINFO))
            continue;
        struct sigaction action {};
        action.sa_handler = onEndingSignal;
        sigemptyset(&action.sa_mask);
        for (int s : endingSignals)
            sigaddset(&action.sa_mask, s);
        ::sigaction(endingSignals[i], &action, nullptr);
    }
}

bool isScratchName(const char* name) {
    if (std::strlen(name) != nameLength || std::strncmp(name, prefix, sizeof prefix - 1) != 0)
        return false;
    for (const char* c = name + sizeof prefix - 1; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)))
            return false;
    return true;
}

// Whether the open folder `dir` holds anything.
bool holdsFiles(int dir) {
    DIR* listing = ::fdopendir(::dup(dir));
    bool any = false;
    while (const dirent* entry = listing ? ::readdir(listing) : nullptr)
        any = any || (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0);
    if (listing)
        ::closedir(listing);
    return any;
}

// The names of the folders in `parent` in which some process (of those this user may look at) has
// a file open.
std::set<std::string> foldersInUse(const std::string& parent) {
    std::set<std::string> inUse;
    char real[PATH_MAX];
    if (!::realpath(parent.c_str(), real))
        return inUse;
    const std::string below = std::string(real) + "/";
    DIR* processes = ::opendir("/proc");
    while (const dirent* process = processes ? ::readdir(processes) : nullptr) {
        if (!std::isdigit(static_cast<unsigned char>(process->d_name[0])))
            continue;
        DIR* files = ::opendir(("/proc/" + std::string(process->d_name) + "/fd").c_str());
        while (const dirent* file = files ? ::readdir(files) : nullptr) {
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(::dirfd(files), file->d_name, target, sizeof target);
            const std::string path(target, static_cast<size_t>(std::max<ssize_t>(n, 0)));
            // A file in a folder: the folder itself is open here, while it is looked at.
            const size_t slash = path.find('/', below.size());
            if (path.compare(0, below.size(), below) == 0 && slash != std::string::npos)
                inUse.insert(path.substr(below.size(), slash - below.size()));
        }
        if (files)
            ::closedir(files);
    }
    if (processes)
        ::closedir(processes);
    return inUse;
}

} // namespace

std::string TScratchFolder::temporaryParent() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

int TScratchFolder::removeLeftovers(const std::string& parent) {
    const int top = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = top >= 0 ? ::fdopendir(top) : nullptr;
    if (!listing) {
        if (top >= 0)
            ::close(top);
        return 0;
    }
    int removed = 0;
    std::optional<std::set<std::string>> inUse; // looked up for the first folder without a lock
    while (const dirent* entry = ::readdir(listing)) {
        struct stat st {};
        if (!isScratchName(entry->d_name) || ::fstatat(top, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        const int dir = ::openat(top, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0)
            continue;
        const int lock = ::openat(dir, "lock", O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        bool gone = lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0;
        if (lock < 0 && holdsFiles(dir)) {
            // Made by an earlier version, which keeps no lock but holds its renderings open.
            if (!inUse)
                inUse = foldersInUse(parent);
            gone = inUse->count(entry->d_name) == 0;
        }
        if (gone) {
            emptyFolder(dir);
            removed += ::unlinkat(top, entry->d_name, AT_REMOVEDIR) == 0;
        }
        if (lock >= 0)
            ::close(lock);
        ::close(dir);
    }
    ::closedir(listing);
    return removed;
}

TScratchFolder::TScratchFolder(const std::string& parent) {
    removeLeftovers(parent);
    std::string name = parent + "/" + prefix + "XXXXXX";
    TSlot* free = nullptr;
    for (TSlot& s : slots)
        if (!s.used.load() && !free)
            free = &s;
    if (name.size() >= sizeof free->path || !free) {
        reason =
            "Cannot make a folder in \"" + parent + "\": " + (free ? "its path is too long" : "too many");
        return;
    }
    if (!::mkdtemp(name.data())) {
        reason = "Cannot make a folder in \"" + parent + "\": " + std::strerror(errno);
        return;
    }
    const int dir = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Locked before it is named "lock", so that no other run takes the folder for a leftover.
    const int lock = dir < 0 ? -1 : ::openat(dir, ".lock-new", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0 || ::renameat(dir, ".lock-new", dir, "lock") != 0) {
        reason = "Cannot lock \"" + name + "\": " + std::strerror(errno);
        if (lock >= 0)
            ::close(lock);
        if (dir >= 0) {
            emptyFolder(dir);
            ::close(dir);
        }
        ::rmdir(name.c_str());
        return;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    [[maybe_unused]] const ssize_t written = ::write(lock, pid.data(), pid.size());
    std::memcpy(free->path, name.c_str(), name.size() + 1);
    free->dir = dir;
    free->lock = lock;
    free->used.store(true); // the handlers see the slot once it is complete
    slot = static_cast<int>(free - slots.data());
    std::call_once(installed, installHandlers);
    folder = std::move(name);
}

TScratchFolder::~TScratchFolder() {
    if (slot < 0)
        return;
    TSlot& s = slots[static_cast<size_t>(slot)];
    s.used.store(false);
    emptyFolder(s.dir);
    ::rmdir(s.path);
    ::close(s.dir);
    ::close(s.lock);
}

std::string TScratchFolder::filePath(const std::string& name) const {
    return valid() ? folder + "/" + name : std::string();
}
