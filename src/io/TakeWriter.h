// Streams a take (every channel of the input device) to a 24-bit WAVE file as it comes in, with
// nothing of it held in memory. The take is written under the name "TARGET.part"; its header is
// brought up to date and the file flushed to disk about once a second, so a crash loses at most
// the last second. stop() completes the header and renames the file to TARGET. A file that already
// exists (a finished take, or a ".part" left by an interrupted one) is never replaced unless the
// caller says so for TARGET (a name the user confirmed), and a ".part" never is.
// One thread uses a writer at a time (the recording worker); write() may wait on the disk.
#pragma once

#include "io/FileResult.h"

#include <cstdint>
#include <string>

class TTakeWriter {
public:
    TTakeWriter() = default;
    ~TTakeWriter(); // stops a take still running (as stop())
    TTakeWriter(const TTakeWriter&) = delete;
    TTakeWriter& operator=(const TTakeWriter&) = delete;

    // Starts a take of `channels` channels at `rate` Hz. Refused (nothing created) when TARGET.part
    // exists, when TARGET exists and replaceTarget is false, or when the file cannot be created.
    TFileResult start(const std::string& target, int rate, int channels, bool replaceTarget);
    // Appends `frames` frames (frames * channels values, full scale 1.0; beyond it is clipped).
    // A write the disk refuses (full, over the file size limit, or the largest size a WAVE file
    // holds reached) ends the take as stop() does, keeping every whole frame written, and returns
    // the reason, naming the file; further writes are ignored.
    TFileResult write(const float* interleaved, std::int64_t frames);
    // Ends the take: header completed, file flushed and renamed to TARGET. Does nothing without a
    // take running. The returned failure names what went wrong; the take is then still in
    // TARGET.part.
    TFileResult stop();

    bool recording() const { return file != nullptr; }
    std::int64_t framesWritten() const { return frames; }
    const std::string& targetPath() const { return target; }
    std::string partPath() const { return target + ".part"; }

private:
    TFileResult failure(const std::string& reason) const;
    // Header up to date and data on disk; 0 or an errno.
    int sync();
    TFileResult finish(const std::string& writeError);

    void* file = nullptr; // SNDFILE*
    int fd = -1;
    std::string target;
    bool replace = false;
    int rate = 0;
    int frameBytes = 0;
    std::int64_t dataOffset = 0;
    std::int64_t maxFrames = 0;
    std::int64_t frames = 0;
    std::int64_t framesAtSync = 0;
};
