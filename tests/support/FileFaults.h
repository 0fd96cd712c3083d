// Real file-system failures for tests, without any hook in the code under test:
// - TNoPermissionOverride: the calling thread obeys file permissions even when it runs as root.
// - TFileSizeLimit: files cannot grow past a size, so a write fails part-way as on a full disk.
// - TTinyDisk: a small tmpfs mounted over a folder, where the machine allows it.
// - TBindMount: a file mounted over another file, where the machine allows it.
// - TNoChownRight: the calling thread may not give files away, even as root.
#pragma once

#include "io/WriteSignals.h"

#include <cstdint>
#include <string>

#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// While alive, the calling thread loses the capabilities in `mask` from its effective set; they stay
// permitted and come back on destruction. A no-op for an ordinary user, who never had them.
class TDroppedCapabilities {
public:
    explicit TDroppedCapabilities(std::uint32_t mask) {
        header.version = _LINUX_CAPABILITY_VERSION_3;
        header.pid = 0;
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~mask;
        active = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~TDroppedCapabilities() {
        if (active)
            ::syscall(SYS_capset, &header, saved);
    }
    TDroppedCapabilities(const TDroppedCapabilities&) = delete;
    TDroppedCapabilities& operator=(const TDroppedCapabilities&) = delete;

    // False when the capabilities could not be changed (the rights may then still be there).
    bool enforced() const { return active || ::geteuid() != 0; }

private:
    __user_cap_header_struct header{};
    __user_cap_data_struct saved[2]{};
    bool active = false;
};

// While alive, the calling thread loses root's right to read, write and search files regardless of
// their permissions (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH).
class TNoPermissionOverride : public TDroppedCapabilities {
public:
    TNoPermissionOverride() : TDroppedCapabilities((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH)) {}
};

// While alive, the calling thread may give a file to another owner or group only as an ordinary
// user may (CAP_CHOWN, CAP_FOWNER dropped).
class TNoChownRight : public TDroppedCapabilities {
public:
    TNoChownRight() : TDroppedCapabilities((1u << CAP_CHOWN) | (1u << CAP_FOWNER)) {}
};

// While alive, no file of this process can grow past `bytes`: a write that would cross the limit
// writes up to it and the next fails with EFBIG, as on a disk that fills up. The failure arrives as
// an error code through the programs' own signal setup (ignoreWriteSignals), which stays in force.
// Pipes and terminals are not affected.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(std::uint64_t bytes) {
        ignoreWriteSignals();
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        active = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~TFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved); }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

    bool enforced() const { return active; }

private:
    rlimit saved{};
    bool active = false;
};

// Enters a mount namespace of the process's own once per process, with propagation cut off from
// the host, so mounts made for a test are seen by nothing outside it. Needs a single-threaded
// process and the right to mount (root on most machines, not in every container).
inline bool privateMountNamespace() {
    static const bool ok =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ok;
}

// Mounts a tmpfs of `bytes` over the folder `dir` in a mount namespace of the process's own, so
// nothing outside the test sees it; unmounted on destruction. Needs a single-threaded process and
// the right to mount (root on most machines, not in every container): check mounted().
class TTinyDisk {
public:
    TTinyDisk(const std::string& dir, std::uint64_t bytes) : dir(dir) {
        if (!privateMountNamespace())
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
    std::string dir;
    bool active = false;
};

// Mounts the file `source` over the file `target` (a bind mount) in the process's own mount
// namespace; unmounted on destruction. The same needs as TTinyDisk: check mounted().
class TBindMount {
public:
    TBindMount(const std::string& source, const std::string& target) : target(target) {
        active = privateMountNamespace() &&
                 ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~TBindMount() {
        if (active)
            ::umount2(target.c_str(), MNT_DETACH);
    }
    TBindMount(const TBindMount&) = delete;
    TBindMount& operator=(const TBindMount&) = delete;

    bool mounted() const { return active; }

private:
    std::string target;
    bool active = false;
};
