#include "io/TakeStream.h"

#include <algorithm>
#include <cmath>

namespace {

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

} // namespace

TFileResult TTakeStream::open(const TTakeSource& source) {
    twoTracks = source.twoTracks();
    names[0] = twoTracks ? source.pickupTrack : source.take;
    names[1] = source.micTrack;
    if (!twoTracks) {
        if (TFileResult r = readers[0].open(source.take); !r.ok)
            return r;
        const int channels = readers[0].info().channels;
        const std::string name = quoted(source.take);
        if (channels < 2)
            return fileError("Cannot learn from " + name +
                             ": it has one channel; a take needs the pickup and the mic on two channels");
        for (const int c : {source.pickupChannel, source.micChannel})
            if (c < 1 || c > channels)
                return fileError("Cannot learn from " + name + ": it has " + std::to_string(channels) +
                                 " channels, there is no channel " + std::to_string(c));
        if (source.pickupChannel == source.micChannel)
            return fileError("Cannot learn from " + name + ": the pickup and the mic are both channel " +
                             std::to_string(source.pickupChannel));
        pickupChannel = source.pickupChannel - 1;
        micChannel = source.micChannel - 1;
    } else {
        if (TFileResult r = readers[0].open(source.pickupTrack); !r.ok)
            return r;
        if (TFileResult r = readers[1].open(source.micTrack); !r.ok)
            return r;
        if (readers[0].info().rate != readers[1].info().rate)
            return fileError("Cannot learn from " + quoted(source.micTrack) + ": its rate of " +
                             std::to_string(readers[1].info().rate) + " Hz differs from the " +
                             std::to_string(readers[0].info().rate) + " Hz of the pickup track " +
                             quoted(source.pickupTrack));
        pickupChannel = micChannel = 0;
    }
    return {};
}

std::int64_t TTakeStream::frames() const {
    return twoTracks ? std::min(readers[0].info().frames, readers[1].info().frames)
                     : readers[0].info().frames;
}

std::string TTakeStream::coarseEncoding() const {
    const std::string& first = readers[0].info().coarseEncoding;
    return !first.empty() || !twoTracks ? first : readers[1].info().coarseEncoding;
}

bool TTakeStream::skip(TRecordingReader& reader, std::int64_t frames) {
    raw.resize(static_cast<std::size_t>(blockFrames * reader.info().channels));
    while (frames > 0) {
        const std::int64_t n = reader.read(raw.data(), std::min(frames, blockFrames));
        if (n < 0) {
            message = reader.lastError();
            return false;
        }
        if (n == 0)
            break;
        frames -= n;
    }
    return true;
}

TFileResult TTakeStream::start(std::int64_t micLag, double step, double micClip) {
    clip = micClip;
    micEnded = false;
    resampler = twoTracks && step != 1 ? std::make_unique<TResampler>(step) : nullptr;
    pickupBlock.assign(blockFrames, 0.0f);
    micBlock.assign(blockFrames, 0.0f);
    for (int i = 0; i < (twoTracks ? 2 : 1); ++i) {
        TRecordingReader& r = readers[i];
        if (r.position() != 0 && !r.rewind())
            return fileError("Cannot learn from " + quoted(names[i]) + ": it cannot be read twice");
    }
    if (twoTracks && !(micLag > 0 ? skip(readers[1], micLag) : skip(readers[0], -micLag)))
        return fileError(message);
    return {};
}

std::int64_t TTakeStream::readChannel(TRecordingReader& reader, int channel, float* out,
                                      std::int64_t frames) {
    const int channels = reader.info().channels;
    raw.resize(static_cast<std::size_t>(blockFrames * channels));
    std::int64_t got = 0;
    while (got < frames) {
        const std::int64_t n = reader.read(raw.data(), frames - got);
        if (n < 0) {
            message = reader.lastError();
            return -1;
        }
        if (n == 0)
            break;
        for (std::int64_t i = 0; i < n; ++i)
            out[got + i] = raw[static_cast<std::size_t>(i * channels + channel)];
        got += n;
    }
    return got;
}

std::int64_t TTakeStream::nextMic(std::int64_t frames) {
    if (!resampler)
        return readChannel(readers[1], 0, micBlock.data(), frames);
    std::int64_t got = 0;
    micRaw.resize(blockFrames);
    while (got < frames) {
        got += resampler->pull(micBlock.data() + got, frames - got);
        if (got == frames || micEnded)
            break;
        const std::int64_t n = readChannel(readers[1], 0, micRaw.data(), blockFrames);
        if (n < 0)
            return -1;
        for (std::int64_t i = 0; i < n; ++i)
            if (!(std::fabs(micRaw[i]) < clip))
                micRaw[i] = NAN;
        resampler->push(micRaw.data(), n);
        if (n < blockFrames) {
            micEnded = true;
            resampler->finish();
        }
    }
    return got;
}

std::int64_t TTakeStream::next() {
    if (!twoTracks) {
        // Both channels from one read.
        const int channels = readers[0].info().channels;
        raw.resize(static_cast<std::size_t>(blockFrames * channels));
        std::int64_t got = 0;
        while (got < blockFrames) {
            const std::int64_t n = readers[0].read(raw.data(), blockFrames - got);
            if (n < 0) {
                message = readers[0].lastError();
                return -1;
            }
            if (n == 0)
                break;
            for (std::int64_t i = 0; i < n; ++i) {
                pickupBlock[got + i] = raw[static_cast<std::size_t>(i * channels + pickupChannel)];
                micBlock[got + i] = raw[static_cast<std::size_t>(i * channels + micChannel)];
            }
            got += n;
        }
        return got;
    }
    const std::int64_t p = readChannel(readers[0], 0, pickupBlock.data(), blockFrames);
    if (p < 0)
        return -1;
    const std::int64_t m = nextMic(p);
    if (m < 0)
        return -1;
    return std::min(p, m);
}
