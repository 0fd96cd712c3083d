#include "io/TakeLearning.h"

#include "dsp/Analyzer.h"
#include "base/CFormat.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::int64_t blockFrames = 8192; // frames read per block

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string number(const char* format, double v) {
    char text[64];
    formatC(text, sizeof text, format, v);
    return text;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads `frames` frames unless the file ends first; -1 after a read error.
std::int64_t readBlock(TRecordingReader& reader, float* out, std::int64_t frames) {
    std::int64_t got = 0;
    while (got < frames) {
        const std::int64_t n = reader.read(out + got * reader.info().channels, frames - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// The message for an estimate that failed, naming the file (or files) it came from.
std::string estimateError(const TTakeSource& s, const TTransferResult& t) {
    const std::string what =
        s.twoTracks() ? quoted(s.pickupTrack) + " and " + quoted(s.micTrack) : quoted(s.take);
    switch (t.error) {
    case TTransferError::silentPickup:
        return "Cannot learn from " + (s.twoTracks() ? quoted(s.pickupTrack) : quoted(s.take)) +
               ": the pickup" + (s.twoTracks() ? "" : " (channel " + std::to_string(s.pickupChannel) + ")") +
               " is silent (below -60 dBFS throughout)";
    case TTransferError::silentMic:
        return "Cannot learn from " + (s.twoTracks() ? quoted(s.micTrack) : quoted(s.take)) + ": the mic" +
               (s.twoTracks() ? "" : " (channel " + std::to_string(s.micChannel) + ")") +
               " is silent (below -60 dBFS throughout)";
    case TTransferError::tooLittle:
        return "Cannot learn from " + what + ": too little playing, " + number("%.1f", t.usableSeconds) +
               " s usable (" + number("%.1f", t.silentSeconds) + " s silent, " +
               number("%.1f", t.clippedSeconds) + " s clipped), at least " +
               number("%g", TTransferEstimate::minUsableSeconds) + " s needed";
    case TTransferError::none:
        break;
    }
    return {};
}

// Feeds the estimator from the open readers until the common end, the cancel flag or a read error.
// `readers` holds one reader (a take; channels p and m, 0-based) or two (pickup, mic; channel 0).
TFileResult stream(const std::vector<TRecordingReader*>& readers, int p, int m, TTransferEstimate& estimate,
                   const TLearnProgress& progress, const TLearnCancel& cancelled, bool& stopped) {
    std::int64_t total = readers[0]->info().frames;
    for (const TRecordingReader* r : readers)
        total = std::min(total, r->info().frames);
    std::vector<std::vector<float>> blocks;
    for (const TRecordingReader* r : readers)
        blocks.emplace_back(static_cast<std::size_t>(blockFrames * r->info().channels));
    std::vector<float> pickup(blockFrames), mic(blockFrames);
    std::int64_t done = 0;
    for (;;) {
        if (cancelled && cancelled()) {
            stopped = true;
            return TFileResult{false, false, {}};
        }
        std::int64_t n = blockFrames;
        for (std::size_t i = 0; i < readers.size(); ++i) {
            const std::int64_t got = readBlock(*readers[i], blocks[i].data(), blockFrames);
            if (got < 0)
                return fileError(readers[i]->lastError());
            n = std::min(n, got);
        }
        if (n > 0) {
            if (readers.size() == 1) {
                const int c = readers[0]->info().channels;
                estimate.add(blocks[0].data() + p, blocks[0].data() + m, n, c);
            } else {
                // The first channel of each track, side by side.
                const int pc = readers[0]->info().channels, mc = readers[1]->info().channels;
                for (std::int64_t i = 0; i < n; ++i) {
                    pickup[i] = blocks[0][i * pc];
                    mic[i] = blocks[1][i * mc];
                }
                estimate.add(pickup.data(), mic.data(), n);
            }
            done += n;
        }
        if (n < blockFrames)
            break;
        if (progress && total > 0)
            progress(std::min(1.0, static_cast<double>(done) / static_cast<double>(total)));
    }
    if (progress)
        progress(1.0);
    return {};
}

} // namespace

TFileResult probeTake(const std::string& path, TRecordingInfo& info) {
    TRecordingReader reader;
    TFileResult r = reader.open(path);
    if (r.ok)
        info = reader.info();
    return r;
}

TFileResult learnTake(const TTakeSource& source, TLearnedTake& result, const TLearnProgress& progress,
                      const TLearnCancel& cancelled) {
    result = {};
    result.source = source;
    TRecordingReader first, second;
    std::vector<TRecordingReader*> readers;
    int p = 0, m = 0;
    if (!source.twoTracks()) {
        if (TFileResult r = first.open(source.take); !r.ok)
            return r;
        const int channels = first.info().channels;
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
        p = source.pickupChannel - 1;
        m = source.micChannel - 1;
        readers = {&first};
    } else {
        if (TFileResult r = first.open(source.pickupTrack); !r.ok)
            return r;
        if (TFileResult r = second.open(source.micTrack); !r.ok)
            return r;
        if (first.info().rate != second.info().rate)
            return fileError("Cannot learn from " + quoted(source.micTrack) + ": its rate of " +
                             std::to_string(second.info().rate) + " Hz differs from the " +
                             std::to_string(first.info().rate) + " Hz of the pickup track " +
                             quoted(source.pickupTrack));
        readers = {&first, &second};
    }

    const bool integer = first.info().integer || (source.twoTracks() && second.info().integer);
    TTransferEstimate estimate(first.info().rate, integer);
    bool stopped = false;
    TFileResult r = stream(readers, p, m, estimate, progress, cancelled, stopped);
    if (stopped) {
        result.cancelled = true;
        return r;
    }
    if (!r.ok)
        return r;
    result.transfer = estimate.finish();
    if (!result.transfer.ok())
        return fileError(estimateError(source, result.transfer));
    result.displayName = baseName(source.twoTracks() ? source.micTrack : source.take) + " (learned)";
    return {};
}

void applyLearnedTake(const TLearnedTake& take, TAnalyzer& a) {
    for (int i = 0; i < blockLength; ++i)
        a.irData[i] = {take.transfer.response[i], i == 0 ? 1.0 : 0.0};
    a.setFs(take.transfer.rate);
    a.delayMic = 0;
    a.delayPickup = 0;
    a.enablePickup = true;
}
