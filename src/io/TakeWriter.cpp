#include "io/TakeWriter.h"

#include "io/WriteSteps.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

SNDFILE* handle(void* f) {
    return static_cast<SNDFILE*>(f);
}

// Renames without replacing an existing file (where the file system can tell), or replacing it.
int renameTake(const std::string& from, const std::string& to, bool replace) {
    if (!replace) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS)
            return errno;
        struct stat st {};
        if (::lstat(to.c_str(), &st) == 0)
            return EEXIST;
    }
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

} // namespace

TTakeWriter::~TTakeWriter() {
    stop();
}

TFileResult TTakeWriter::failure(const std::string& reason) const {
    return fileError("Cannot record \"" + target + "\": " + reason);
}

TFileResult TTakeWriter::start(const std::string& path, int sampleRate, int channels, bool replaceTarget) {
    stop();
    target = path;
    replace = replaceTarget;
    struct stat st {};
    if (::lstat(partPath().c_str(), &st) == 0)
        return failure("\"" + partPath() + "\" holds an interrupted take; move or rename it first");
    if (!replace && ::lstat(path.c_str(), &st) == 0)
        return failure("the file exists");
    fd = ::open(partPath().c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return failure(std::strerror(errno));
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        const std::string reason = sf_strerror(nullptr);
        ::close(fd);
        ::unlink(partPath().c_str());
        fd = -1;
        return failure(reason);
    }
    sf_command(handle(file), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    rate = sampleRate;
    frameBytes = 3 * channels;
    frames = framesAtSync = 0;
    if (const int err = sync()) {
        finish(std::strerror(err));
        ::unlink(partPath().c_str());
        return failure(std::strerror(err));
    }
    dataOffset = ::lseek(fd, 0, SEEK_END);
    // The RIFF size field counts 32 bits; keep clear of its end (and of a pad byte).
    maxFrames = (0xFFFFFFFFLL - dataOffset - 8) / frameBytes;
    return {};
}

int TTakeWriter::sync() {
    sf_command(handle(file), SFC_UPDATE_HEADER_NOW, nullptr, 0);
    sf_write_sync(handle(file));
    framesAtSync = frames;
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

TFileResult TTakeWriter::write(const float* interleaved, std::int64_t count) {
    if (!file || count <= 0)
        return {};
    const bool full = frames + count > maxFrames;
    if (full)
        count = maxFrames - frames;
    const sf_count_t done = sf_writef_float(handle(file), interleaved, count);
    frames += std::max<sf_count_t>(done, 0);
    if (done != count) {
        const int err = errno;
        return finish(err ? std::strerror(err) : sf_strerror(handle(file)));
    }
    if (full)
        return finish("the take reached the largest size a WAVE file holds");
    if (frames - framesAtSync >= rate)
        if (const int err = sync())
            return finish(std::strerror(err));
    return {};
}

TFileResult TTakeWriter::stop() {
    return file ? finish({}) : TFileResult{};
}

// Ends the take after a write error (writeError not empty) or a stop: the data cut back to the
// whole frames counted, the header made to match, the file flushed and renamed.
TFileResult TTakeWriter::finish(const std::string& writeError) {
    if (!writeError.empty())
        ::ftruncate(fd, dataOffset + frames * frameBytes);
    sf_close(handle(file));
    file = nullptr;
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    fd = -1;
    if (err && writeError.empty())
        return failure(std::string(std::strerror(err)) + "; the take is kept in \"" + partPath() + "\"");
    if (const int renameErr = renameTake(partPath(), target, replace)) {
        const std::string kept = "the take is kept in \"" + partPath() + "\"";
        return failure((renameErr == EEXIST ? std::string("the file exists") : std::strerror(renameErr)) +
                       "; " + kept);
    }
    syncFolder(folderOf(target));
    if (!writeError.empty())
        return failure(writeError + "; the take stopped and what was recorded is kept");
    return {};
}
