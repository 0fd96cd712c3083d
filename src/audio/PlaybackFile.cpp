#include "audio/PlaybackFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int valuesPerFrame = 3; // left, right, input

std::string reason() {
    return std::strerror(errno);
}

} // namespace

TPlaybackFile::TPlaybackFile(std::string path) : path(std::move(path)) {}

TPlaybackFile::~TPlaybackFile() {
    abandon();
}

TFileResult TPlaybackFile::begin(int rate, std::int64_t frames) {
    abandon();
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return fileError("Cannot write \"" + path + "\": " + reason());
    sampleRate = rate;
    frameCount = frames;
    written = 0;
    return {};
}

TFileResult TPlaybackFile::write(const float* input, const float* stereo, int frames) {
    std::vector<float> block(static_cast<size_t>(frames) * valuesPerFrame);
    for (int i = 0; i < frames; ++i) {
        block[3 * i] = stereo[2 * i];
        block[3 * i + 1] = stereo[2 * i + 1];
        block[3 * i + 2] = input[i];
    }
    const char* bytes = reinterpret_cast<const char*>(block.data());
    size_t left = block.size() * sizeof(float);
    off_t at = static_cast<off_t>(written) * valuesPerFrame * static_cast<off_t>(sizeof(float));
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, bytes, left, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fileError("Cannot write \"" + path + "\": " + (n < 0 ? reason() : "nothing written"));
        bytes += n;
        at += n;
        left -= static_cast<size_t>(n);
    }
    written += frames;
    return {};
}

TFileResult TPlaybackFile::commit() {
    if (written != frameCount)
        return fileError("Cannot write \"" + path + "\": " + std::to_string(written) + " of " +
                         std::to_string(frameCount) + " frames arrived");
    return {};
}

void TPlaybackFile::abandon() {
    if (fd >= 0) {
        ::close(fd);
        ::unlink(path.c_str());
    }
    fd = -1;
    frameCount = 0;
    written = 0;
}

void TPlaybackFile::read(std::int64_t first, int count, float* frames) const {
    const size_t values = static_cast<size_t>(std::max(count, 0)) * valuesPerFrame;
    size_t got = 0;
    if (fd >= 0 && first >= 0 && first < written && count > 0) {
        const size_t want = static_cast<size_t>(std::min<std::int64_t>(count, written - first)) *
                            valuesPerFrame * sizeof(float);
        char* bytes = reinterpret_cast<char*>(frames);
        const off_t at = static_cast<off_t>(first) * valuesPerFrame * static_cast<off_t>(sizeof(float));
        while (got < want) {
            const ssize_t r = ::pread(fd, bytes + got, want - got, at + static_cast<off_t>(got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += static_cast<size_t>(r);
        }
    }
    // Whole frames only: a frame cut short by a failing read is silence too.
    std::fill(frames + got / (valuesPerFrame * sizeof(float)) * valuesPerFrame, frames + values, 0.0f);
}
