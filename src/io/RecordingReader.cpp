#include "io/RecordingReader.h"

#include "io/RegularFile.h"

#include <sndfile.h>

#include <cmath>
#include <limits>

namespace {

std::string formatName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension)
        return info.name;
    return "audio";
}

// The magnitude of a full-scale sample as a float read gives it.
double fullScaleOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
        return std::numeric_limits<double>::infinity();
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 127.0 / 128;
    case SF_FORMAT_PCM_24:
        return static_cast<float>(8388607.0 / 8388608);
    case SF_FORMAT_PCM_32:
        return static_cast<float>(2147483647.0 / 2147483648.0);
    case SF_FORMAT_ULAW:
        return 32124.0 / 32768;
    case SF_FORMAT_ALAW:
        return 32256.0 / 32768;
    case SF_FORMAT_GSM610:
        return 32760.0 / 32768;
    default:
        return 32767.0 / 32768;
    }
}

std::string coarseEncodingOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return "8-bit";
    case SF_FORMAT_ALAW:
        return "A-law";
    case SF_FORMAT_ULAW:
        return "mu-law";
    default:
        return {};
    }
}

bool isIntegerFormat(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
        return false;
    default:
        return true;
    }
}

} // namespace

void TRecordingReader::TSndfileClose::operator()(void* file) const {
    sf_close(static_cast<SNDFILE*>(file));
}

TRecordingReader::~TRecordingReader() = default;

void TRecordingReader::close() {
    file.reset();
}

TFileResult TRecordingReader::open(const std::string& givenPath) {
    close();
    path = givenPath;
    recordingInfo = {};
    framesRead = 0;
    error.clear();
    // Only a regular file: libsndfile would block on a FIFO and read a device forever.
    std::string reason;
    TFilePtr probe = openRegularFile(path, reason);
    if (!probe)
        return TFileResult{false, true, "Cannot read \"" + path + "\": " + reason};
    probe.reset();

    SF_INFO sf{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &sf);
    if (!f) {
        // libsndfile's "Internal error : SF_INFO struct incomplete." for a header that gives no
        // rate or no channels, in words a user can act on.
        const std::string reason = sf_strerror(nullptr);
        return fileError("Cannot read \"" + path + "\": " +
                         (reason.find("SF_INFO struct incomplete") != std::string::npos
                              ? std::string("its header gives no sample rate or no channel count")
                              : reason));
    }
    file.reset(f);
    if (sf.channels < 1 || sf.samplerate < 1) {
        close();
        return fileError("Cannot read \"" + path + "\": it holds no audio");
    }
    // Integer files read as float: full scale -1.0 exactly, no clipping of float files.
    sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    recordingInfo.frames = sf.frames;
    recordingInfo.channels = sf.channels;
    recordingInfo.rate = sf.samplerate;
    recordingInfo.integer = isIntegerFormat(sf.format);
    recordingInfo.fullScale = fullScaleOf(sf.format);
    recordingInfo.formatName = formatName(sf.format);
    recordingInfo.coarseEncoding = coarseEncodingOf(sf.format);
    return {};
}

std::int64_t TRecordingReader::read(float* interleaved, std::int64_t frames) {
    if (!file) {
        error = "Cannot read \"" + path + "\": not open";
        return -1;
    }
    SNDFILE* f = static_cast<SNDFILE*>(file.get());
    const sf_count_t n = sf_readf_float(f, interleaved, frames);
    if (n == 0 && sf_error(f) != SF_ERR_NO_ERROR) {
        error = "Cannot read \"" + path + "\": " + sf_strerror(f);
        return -1;
    }
    framesRead += n;
    return n;
}

bool TRecordingReader::rewind() {
    if (!file || sf_seek(static_cast<SNDFILE*>(file.get()), 0, SEEK_SET) != 0)
        return false;
    framesRead = 0;
    return true;
}

std::string TRecordingReader::nonFiniteMessage(std::int64_t frame) const {
    return "Cannot read \"" + path + "\": frame " + std::to_string(frame) +
           " holds a value that is not a finite number";
}
