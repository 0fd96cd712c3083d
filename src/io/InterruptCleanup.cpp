#include "io/InterruptCleanup.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// A slot is free, being filled or emptied (the handler leaves it alone), or holds a path.
enum TSlotState : int { freeSlot, busySlot, heldSlot };

static_assert(std::atomic<int>::is_always_lock_free); // so the handler may use it

struct TSlot {
    std::atomic<int> state{freeSlot};
    char path[PATH_MAX]{};
};

constexpr std::array<int, 2> cleanedSignals{SIGINT, SIGTERM};

std::array<TSlot, 16> slots;
std::array<struct sigaction, cleanedSignals.size()> previous{};

void removeTemporaries(int signal) {
    const int savedErrno = errno;
    for (TSlot& slot : slots)
        if (slot.state.load() == heldSlot)
            ::unlink(slot.path);
    for (std::size_t i = 0; i < cleanedSignals.size(); ++i)
        if (cleanedSignals[i] == signal)
            ::sigaction(signal, &previous[i], nullptr);
    // Blocked while this handler runs: delivered, with the earlier action, once it returns.
    ::raise(signal);
    errno = savedErrno;
}

bool installHandler() {
    for (std::size_t i = 0; i < cleanedSignals.size(); ++i) {
        struct sigaction current {};
        if (::sigaction(cleanedSignals[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        previous[i] = current;
        struct sigaction cleanup {};
        cleanup.sa_handler = removeTemporaries;
        sigemptyset(&cleanup.sa_mask);
        ::sigaction(cleanedSignals[i], &cleanup, nullptr);
    }
    return true;
}

} // namespace

int registerTemporary(const std::string& path) {
    static const bool installed = installHandler();
    (void)installed;
    if (path.size() >= PATH_MAX)
        return -1;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        int expected = freeSlot;
        if (!slots[i].state.compare_exchange_strong(expected, busySlot))
            continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(heldSlot);
        return static_cast<int>(i);
    }
    return -1;
}

void forgetTemporary(int ticket) {
    if (ticket >= 0 && ticket < static_cast<int>(slots.size()))
        slots[static_cast<std::size_t>(ticket)].state.store(freeSlot);
}
