// Reading recordings of any length and encoding (WAVE of every common encoding, RF64, W64, FLAC,
// AIFF, whatever libsndfile reads) frame by frame, so memory stays bounded.
#pragma once

#include "io/FileResult.h"

#include <cstdint>
#include <memory>
#include <string>

struct TRecordingInfo {
    std::int64_t frames = 0; // frames the file declares (a frame holds one sample per channel)
    int channels = 0;
    int rate = 0;         // Hz
    bool integer = false; // integer samples: a sample at full scale may be clipped
    // The largest magnitude the encoding can hold (32767/32768 for 16 bits, 0.98 for mu-law, 0.984
    // for A-law, ...): a sample this large is at full scale. Infinity for floating-point files.
    double fullScale = 0;
    std::string formatName; // for reports ("WAV", "FLAC", ...)
    // An encoding of about 8 bits ("8-bit", "A-law", "mu-law"), whose own noise lies only some 40
    // to 50 dB under full scale; empty for the others.
    std::string coarseEncoding;
};

class TRecordingReader {
public:
    TRecordingReader() = default;
    ~TRecordingReader();
    TRecordingReader(const TRecordingReader&) = delete;
    TRecordingReader& operator=(const TRecordingReader&) = delete;

    // Opens `path` (only a regular file: a FIFO or device is refused without reading from it).
    // A file that is not audio, or holds no channel or rate, is refused with a message naming the
    // file and the reason.
    TFileResult open(const std::string& path);
    const TRecordingInfo& info() const { return recordingInfo; }

    // Reads up to `frames` frames into `interleaved` (frames * channels values, full scale = 1.0,
    // integer files scaled by 2^-(bits-1) so full scale reads as exactly -1.0). Returns the frames
    // read, 0 at the end, or -1 after a read error (then lastError() says what went wrong, naming
    // the file). A float file's samples come as stored, infinities and NaNs included: each user
    // judges the channels it uses (see nonFiniteMessage).
    std::int64_t read(float* interleaved, std::int64_t frames);
    // Frames read since the start (or the last rewind).
    std::int64_t position() const { return framesRead; }
    // Starts reading again from the first frame; false if the file cannot seek.
    bool rewind();
    const std::string& lastError() const { return error; }
    void close();
    // "Cannot read "path": frame N holds a value that is not a finite number", N counted from 1.
    std::string nonFiniteMessage(std::int64_t frame) const;

private:
    struct TSndfileClose {
        void operator()(void* file) const;
    };
    std::unique_ptr<void, TSndfileClose> file; // SNDFILE*
    TRecordingInfo recordingInfo;
    std::string path;
    std::string error;
    std::int64_t framesRead = 0;
};
