#include "io/TakeLearning.h"

#include "base/CFormat.h"
#include "dsp/Analyzer.h"
#include "dsp/TrackAlignment.h"
#include "io/TakeStream.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double maxOffsetSeconds = 2;    // two tracks may be this far apart either way
constexpr double offsetChunkSeconds = 20; // of both tracks, for their offset
constexpr double nearSeconds = 0.040;     // tracks closer than this are not shifted before learning
constexpr double stretchSeconds = 5;      // for the drift: the lag of each stretch this long

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

std::string sourceNames(const TTakeSource& s) {
    return s.twoTracks() ? quoted(s.pickupTrack) + " and " + quoted(s.micTrack) : quoted(s.take);
}

// The message for an estimate that failed, naming the file (or files) it came from.
std::string estimateError(const TTakeSource& s, const TTransferResult& t) {
    const std::string silent =
        " is silent (below " + number("%g", TTakeScan::absoluteSilenceDbfs) + " dBFS throughout)";
    switch (t.error) {
    case TTransferError::silentPickup:
        return "Cannot learn from " + (s.twoTracks() ? quoted(s.pickupTrack) : quoted(s.take)) +
               ": the pickup" + (s.twoTracks() ? "" : " (channel " + std::to_string(s.pickupChannel) + ")") +
               silent;
    case TTransferError::silentMic:
        return "Cannot learn from " + (s.twoTracks() ? quoted(s.micTrack) : quoted(s.take)) + ": the mic" +
               (s.twoTracks() ? "" : " (channel " + std::to_string(s.micChannel) + ")") + silent;
    case TTransferError::tooLittle:
        return "Cannot learn from " + sourceNames(s) + ": too little playing, " +
               number("%.1f", t.usableSeconds) + " s usable (" + number("%.1f", t.silentSeconds) +
               " s silent, " + number("%.1f", t.clippedSeconds) + " s clipped), at least " +
               number("%g", TTransferEstimate::minUsableSeconds) + " s needed";
    case TTransferError::none:
        break;
    }
    return {};
}

// One pass over the stream, each block handed to `use(pickup, mic, frames)`. Progress runs from
// `from` to `to` of the whole; false when cancelled or on a read error (`r` says which).
template <typename Use>
bool pass(TTakeStream& stream, double from, double to, const TLearnProgress& progress,
          const TLearnCancel& cancelled, bool& stopped, TFileResult& r, Use use) {
    const double total = static_cast<double>(std::max<std::int64_t>(1, stream.frames()));
    std::int64_t done = 0;
    for (;;) {
        if (cancelled && cancelled()) {
            stopped = true;
            r = TFileResult{false, false, {}};
            return false;
        }
        const std::int64_t n = stream.next();
        if (n < 0) {
            r = fileError(stream.error());
            return false;
        }
        if (n == 0)
            return true;
        use(stream.pickup(), stream.mic(), n);
        done += n;
        if (progress)
            progress(from + (to - from) * std::min(1.0, static_cast<double>(done) / total));
    }
}

// Two tracks: the mic's offset in whole frames from the first seconds of both.
bool trackOffset(TTakeStream& stream, std::int64_t& offset, TFileResult& r) {
    const int rate = stream.rate();
    const std::int64_t chunk =
        std::min<std::int64_t>(stream.frames(), static_cast<std::int64_t>(offsetChunkSeconds * rate));
    std::vector<float> pickup, mic;
    if (TFileResult s = stream.start(); !s.ok) {
        r = s;
        return false;
    }
    while (static_cast<std::int64_t>(pickup.size()) < chunk) {
        const std::int64_t n = stream.next();
        if (n < 0) {
            r = fileError(stream.error());
            return false;
        }
        if (n == 0)
            break;
        pickup.insert(pickup.end(), stream.pickup(), stream.pickup() + n);
        mic.insert(mic.end(), stream.mic(), stream.mic() + n);
    }
    // What is not finite counts as nothing here.
    for (std::vector<float>* v : {&pickup, &mic})
        for (float& x : *v)
            x = std::isfinite(x) && std::fabs(x) < 1000 ? x : 0.0f;
    const int maxLag =
        static_cast<int>(std::min<double>(maxOffsetSeconds * rate, static_cast<double>(pickup.size()) / 2));
    offset = pickup.size() < 2
                 ? 0
                 : coarseLag(pickup.data(), mic.data(), static_cast<std::int64_t>(pickup.size()), maxLag);
    return true;
}

// Levels of the take, and for two tracks the lag of each stretch.
struct TFirstPass {
    TTakeScan scan;
    std::vector<TLagPoint> lags;
    std::unique_ptr<TTransferEstimate> stretch;
    std::int64_t stretchStart = 0, fed = 0;
    int rate;
    bool twoTracks;

    TFirstPass(int r, double pickupFullScale, double micFullScale, bool tracks)
        : scan(TTransferEstimate::segmentLength(r), pickupFullScale, micFullScale), rate(r),
          twoTracks(tracks) {}

    // The previous stretch's cross-spectrum and lag: each stretch is measured against the one
    // before it, whose drift smears it alike, and the lags add up.
    std::vector<Complex> previous;
    double previousLag = 0;

    void endStretch() {
        if (!stretch)
            return;
        if (stretch->usableSegments() >= 2) {
            const double lag =
                previous.empty() ? 0 : previousLag + relativeLag(previous, stretch->crossSpectrum(), rate);
            lags.push_back({0.5 * static_cast<double>(stretchStart + fed) / rate, lag,
                            static_cast<double>(stretch->usableSegments())});
            previous = stretch->crossSpectrum();
            previousLag = lag;
        }
        stretch.reset();
    }

    void add(const float* pickup, const float* mic, std::int64_t n) {
        scan.add(pickup, mic, n);
        if (!twoTracks)
            return;
        if (!stretch) {
            TTakeLevels quietest; // any playing counts, nothing clips
            quietest.pickup.silenceRms = quietest.mic.silenceRms =
                std::pow(10.0, TTakeScan::absoluteSilenceDbfs / 20);
            stretch = std::make_unique<TTransferEstimate>(rate, quietest);
            stretchStart = fed;
        }
        stretch->add(pickup, mic, n);
        fed += n;
        if (static_cast<double>(fed - stretchStart) >= stretchSeconds * rate)
            endStretch();
    }
};

// The pickup track holds more noise in its pauses than the mic track, as a mic would.
bool looksSwapped(const TTakeLevels& l) {
    const auto noise = [](const TChannelLevels& c) {
        return c.loudestRms > 0 ? c.floorRms / c.loudestRms : 1.0;
    };
    return noise(l.pickup) > 3.16 * noise(l.mic) && noise(l.pickup) < 0.1;
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
    TTakeStream stream;
    if (TFileResult r = stream.open(source); !r.ok)
        return r;
    const int rate = stream.rate();
    const bool tracks = source.twoTracks();
    TFileResult r;
    bool stopped = false;

    std::int64_t offset = 0;
    if (tracks && !trackOffset(stream, offset, r))
        return r;
    // The estimate finds a mic's usual lag by itself, as it does for one take.
    if (std::abs(offset) < static_cast<std::int64_t>(nearSeconds * rate))
        offset = 0;
    result.trackOffsetSeconds = static_cast<double>(offset) / rate;
    result.coarseEncoding = stream.coarseEncoding();

    TFirstPass first(rate, stream.pickupFullScale(), stream.micFullScale(), tracks);
    if (TFileResult s = stream.start(offset); !s.ok)
        return s;
    const auto scan = [&](const float* p, const float* m, std::int64_t n) { first.add(p, m, n); };
    if (!pass(stream, 0, 0.5, progress, cancelled, stopped, r, scan)) {
        result.cancelled = stopped;
        return r;
    }
    first.endStretch();
    const TTakeLevels levels = first.scan.levels();

    double step = 1;
    if (tracks) {
        const double ppm = fitDriftPpm(first.lags, rate);
        if (std::fabs(ppm) > maxDriftPpm)
            return fileError("Cannot learn from " + sourceNames(source) +
                             ": the two recorders' clocks differ by more than " + number("%g", maxDriftPpm) +
                             " ppm");
        // Corrected when it moves the tracks apart by a quarter of a sample or more over the take.
        if (std::fabs(ppm) * 1e-6 * static_cast<double>(stream.frames()) >= 0.25) {
            result.driftPpm = ppm;
            step = 1 + ppm * 1e-6;
        }
        result.tracksLookSwapped = looksSwapped(levels);
    }

    TTransferEstimate estimate(rate, levels);
    if (TFileResult s = stream.start(offset, step, levels.mic.clipLevel()); !s.ok)
        return s;
    const auto learn = [&](const float* p, const float* m, std::int64_t n) { estimate.add(p, m, n); };
    if (!pass(stream, 0.5, 1, progress, cancelled, stopped, r, learn)) {
        result.cancelled = stopped;
        return r;
    }
    if (progress)
        progress(1.0);
    result.transfer = estimate.finish();
    // The lag and the shift as between the tracks as recorded.
    result.transfer.lagSeconds += result.trackOffsetSeconds;
    result.transfer.shiftSamples += static_cast<double>(offset);
    if (!result.transfer.ok())
        return fileError(estimateError(source, result.transfer));
    if (result.transfer.swapped && !tracks)
        return fileError(swappedMessage(result));
    if (source.normalPolarity && result.transfer.polarityInverted) {
        for (double& v : result.transfer.response)
            v = -v;
        result.polarityTurned = true;
    }
    result.displayName = baseName(tracks ? source.micTrack : source.take) + " (learned)";
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
