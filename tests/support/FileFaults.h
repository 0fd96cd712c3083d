// Real file-system failures for tests, without any hook in the code under test:
// - TNoPermissionOverride: the calling thread obeys file permissions even when it runs as root.
// - TFileSizeLimit: files cannot grow past a size, so a write fails part-way as on a full disk.
// - TTinyDisk: a small tmpfs mounted over a folder, where the machine allows it.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// While alive, the calling thread loses root's right to read, write and search files regardless of
// their permissions (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH leave the effective set; they stay
// permitted and come back on destruction). A no-op for an ordinary user, who never had them.
class TNoPermissionOverride {
public:
    TNoPermissionOverride() {
        header.version = _LINUX_CAPABILITY_VERSION_3;
        header.pid = 0;
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~TNoPermissionOverride() {
        if (active)
            ::syscall(SYS_capset, &header, saved);
    }
    TNoPermissionOverride(const TNoPermissionOverride&) = delete;
    TNoPermissionOverride& operator=(const TNoPermissionOverride&) = delete;

    // False when the capabilities could not be changed (permissions may then not be enforced).
    bool enforced() const { return active || ::geteuid() != 0; }

private:
    __user_cap_header_struct header{};
    __user_cap_data_struct saved[2]{};
    bool active = false;
};

// While alive, no file of this process can grow past `bytes`: a write that would cross the limit
// writes up to it and the next fails with EFBIG, as on a disk that fills up. SIGXFSZ is ignored so
// the failure arrives as an error code. Pipes and terminals are not affected.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(std::uint64_t bytes) {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        active = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

    bool enforced() const { return active; }

private:
    rlimit saved{};
    void (*previousHandler)(int) = SIG_DFL;
    bool active = false;
};

// Mounts a tmpfs of `bytes` over the folder `dir` in a mount namespace of the process's own, so
// nothing outside the test sees it; unmounted on destruction. Needs a single-threaded process and
// the right to mount (root on most machines, not in every container): check mounted().
class TTinyDisk {
public:
    TTinyDisk(const std::string& dir, std::uint64_t bytes) : dir(dir) {
        if (!privateNamespace())
            return;
        const std::string options = "size=" + std::to_string(bytes);
        active = ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    }
    ~TTinyDisk() {
        if (active)
            ::umount2(dir.c_str(), MNT_DETACH);
    }
    TTinyDisk(const TTinyDisk&) = delete;
    TTinyDisk& operator=(const TTinyDisk&) = delete;

    bool mounted() const { return active; }

private:
    // Enters a namespace of its own once per process, with propagation cut off from the host.
    static bool privateNamespace() {
        static const bool ok =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        return ok;
    }

    std::string dir;
    bool active = false;
};
