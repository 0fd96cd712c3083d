#include "io/WaveReader.h"

#include "dsp/Analyzer.h"
#include "io/RegularFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sys/types.h>

namespace {

constexpr std::uint32_t formatFieldsSize = 16;
constexpr std::int32_t minRate = 1000;
constexpr std::int32_t maxRate = 768000;

std::uint16_t u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

double& member(IrPair& p, int channel) {
    return channel == 0 ? p.mic : p.pickup;
}

// Moves the read position forward by `bytes`; a position past the end simply reads nothing more.
bool skip(std::FILE* f, std::uint64_t bytes) {
    return ::fseeko(f, static_cast<off_t>(bytes), SEEK_CUR) == 0;
}

// Stores up to `dataSize` bytes of samples (at most blockLength) into `samples` and normalises them.
void readSamples(TWaveSamples& samples, std::FILE* f, std::uint32_t dataSize) {
    samples.fill(0.0);
    unsigned char bytes[2 * blockLength];
    const std::size_t wanted = std::min<std::uint64_t>(dataSize / 2, blockLength) * 2;
    const std::size_t got = std::fread(bytes, 1, wanted, f);
    double peak = 1e-32;
    for (std::size_t i = 0; i < got / 2; ++i) {
        const auto s = static_cast<std::int16_t>(u16(bytes + 2 * i));
        const double x = s * 0.000030517578125;
        samples[i] = x;
        if (std::fabs(x) > peak)
            peak = std::fabs(x);
    }
    for (double& x : samples)
        x /= peak;
}

} // namespace

TFileResult readWaveSamples(const std::string& path, TWaveSamples& samples, std::int32_t& rate) {
    rate = 0;
    std::string reason;
    const TFilePtr file = openRegularFile(path, reason);
    if (!file)
        return TFileResult{false, true, "Cannot open \"" + path + "\": " + reason};
    std::FILE* f = file.get();

    const auto reject = [&](const char* message) {
        samples.fill(0.0);
        return fileError(message);
    };

    unsigned char header[12];
    const std::size_t headerSize = std::fread(header, 1, sizeof header, f);
    if (headerSize < 4 || std::memcmp(header, "RIFF", 4) != 0)
        return reject(waveUnknownFormat);
    if (headerSize < sizeof header)
        return reject(waveNoFormat);

    bool formatSeen = false;
    for (int walked = 0;; ++walked) {
        // A file of zeros after its header (or any long run of tiny chunks) would otherwise be
        // walked 8 bytes at a time to its end: most of a minute for 2 GB.
        if (walked == waveMaxChunks)
            return reject(waveNoFormat);
        unsigned char chunk[8];
        if (std::fread(chunk, 1, sizeof chunk, f) != sizeof chunk)
            return reject(waveNoFormat);
        const std::uint32_t size = u32(chunk + 4);
        const std::uint64_t padded = size + static_cast<std::uint64_t>(size & 1u);

        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < formatFieldsSize)
                return reject(waveUnsupportedFormat);
            unsigned char fmt[formatFieldsSize];
            if (std::fread(fmt, 1, sizeof fmt, f) != sizeof fmt)
                return reject(waveNoFormat);
            const std::uint16_t tag = u16(fmt);
            const std::uint16_t channels = u16(fmt + 2);
            const std::uint32_t fileRate = u32(fmt + 4);
            const std::uint16_t bits = u16(fmt + 14);
            if (fileRate < static_cast<std::uint32_t>(minRate) ||
                fileRate > static_cast<std::uint32_t>(maxRate))
                return reject(waveUnsupportedFormat);
            rate = static_cast<std::int32_t>(fileRate);
            if (bits != 16 || channels != 1 || tag != 1)
                return reject(waveUnsupportedFormat);
            formatSeen = true;
            if (!skip(f, padded - formatFieldsSize))
                return reject(waveNoFormat);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!formatSeen)
                return reject(waveNoFormat);
            readSamples(samples, f, size);
            return {};
        } else if (!skip(f, padded)) {
            return reject(waveNoFormat);
        }
    }
}

TFileResult readWave(TAnalyzer& a, int channel, const std::string& path) {
    // Large enough to keep off the stack of a fuzzing thread; one per thread.
    thread_local TWaveSamples samples;
    std::int32_t rate = 0;
    const TFileResult r = readWaveSamples(path, samples, rate);
    if (r.cannotOpen)
        return r;
    if (rate != 0)
        a.setFs(rate);
    for (int i = 0; i < blockLength; ++i)
        member(a.irData[i], channel) = samples[i];
    return r;
}

std::string stripPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
