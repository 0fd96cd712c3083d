// Shared pieces of the fuzz targets: an in-memory file the readers can open by path, a fresh
// analyzer, and the checks that turn a broken promise into a crash the fuzzer reports.
#pragma once

#include "dsp/Analyzer.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

// Stops the run with a message when a promised property does not hold.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// A regular file in memory, reachable by a path, whose contents each input replaces. Spares the
// disk the fuzzer's hundreds of thousands of writes.
class TMemoryFile {
public:
    TMemoryFile() : fd(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
        FUZZ_CHECK(fd >= 0);
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    ~TMemoryFile() { ::close(fd); }

    // Replaces the contents with `size` bytes from `data`; returns the path to open.
    const std::string& hold(const std::uint8_t* data, std::size_t size) {
        FUZZ_CHECK(::ftruncate(fd, 0) == 0);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            FUZZ_CHECK(n > 0);
            done += static_cast<std::size_t>(n);
        }
        return path;
    }

private:
    int fd;
    std::string path;
};

// One analyzer for the whole fuzzing run (its FFT plans take a while to make), put back to the
// start values by the caller's input.
inline TAnalyzer& sharedAnalyzer() {
    static const std::unique_ptr<TAnalyzer> analyzer = std::make_unique<TAnalyzer>();
    return *analyzer;
}

template <typename Range> bool allFinite(const Range& values) {
    for (const auto& v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

template <typename Range> bool allFiniteComplex(const Range& values) {
    for (const Complex& c : values)
        if (!std::isfinite(c.re) || !std::isfinite(c.im))
            return false;
    return true;
}
