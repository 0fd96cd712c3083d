// The short report of a learned take, shared by the batch tool and the window: every sentence
// about a take is written here, from the values the estimate found.
#include "io/TakeLearning.h"

#include "base/CFormat.h"

#include <cmath>
#include <string>

namespace {

constexpr double soundSpeed = 343; // m/s
constexpr double quietDbfs = -30;  // a take whose playing peaks below this is quiet

std::string hz(double f) {
    return f >= 1000 ? formatText("%g kHz", f / 1000) : formatText("%g Hz", f);
}

double dbfs(double v) {
    return 20 * std::log10(std::max(v, 1e-10));
}

// The warnings about one channel's levels: where it clips, samples that are not numbers.
void channelWarnings(const char* name, const TChannelLevels& c, std::string& out) {
    if (c.clipsAtPeak() || c.peak >= c.fullScale)
        out += formatText(
            "Warning: the %s clips (at %.1f dBFS%s): what it clipped is left out; lower its input gain "
            "and record again\n",
            name, dbfs(c.clipLevel()), c.clipsAtPeak() && c.peak < c.fullScale ? ", below full scale" : "");
    if (c.nonFinite > 0)
        out += formatText("Warning: the %s holds %lld samples that are not numbers; left out as clipped\n",
                          name, static_cast<long long>(c.nonFinite));
}

} // namespace

std::string learnVerdict(const TTransferResult& t) {
    // Distortion is no random error: the range says nothing about it.
    if (t.good() && t.distorts)
        return "Fair take: the filter curve is reliable from 100 Hz to " + hz(t.goodHighHz()) +
               " as far as the playing goes, but the loud playing distorts (see below)";
    if (t.good())
        return "Good take: the filter curve is reliable from 100 Hz to " + hz(t.goodHighHz());
    if (t.reliableLowHz <= 0)
        return "Poor take: the filter curve is reliable nowhere; play longer, louder and more varied, and "
               "record "
               "again";
    const bool lowOk = t.reliableLowHz <= 100, highOk = t.reliableHighHz >= t.goodHighHz();
    const bool fair = t.reliableLowHz <= 200 && t.reliableHighHz >= 4000;
    return std::string(fair ? "Fair take: " : "Poor take: ") + "reliable from " + hz(t.reliableLowHz) +
           " to " + hz(t.reliableHighHz) + "; " +
           (lowOk    ? "above"
            : highOk ? "below"
                     : "outside") +
           " that the playing was too quiet to learn from";
}

std::string swappedMessage(const TLearnedTake& take) {
    const TTakeSource& s = take.source;
    return formatText(
        "Cannot learn from \"%s\": the channels look swapped: the mic's sound comes %.1f ms before the "
        "pickup's; learn with --learn-channels %d,%d",
        s.take.c_str(), -take.transfer.lagSeconds * 1000, s.micChannel, s.pickupChannel);
}

std::string learnReport(const TLearnedTake& take) {
    const TTakeReport parts = learnReportParts(take);
    return parts.details + parts.verdict + parts.warnings;
}

TTakeReport learnReportParts(const TLearnedTake& take) {
    const TTakeSource& s = take.source;
    const TTransferResult& t = take.transfer;
    TTakeReport parts;
    std::string& out = parts.details;
    if (s.twoTracks())
        out +=
            "Learned from the tracks \"" + s.pickupTrack + "\" (pickup) and \"" + s.micTrack + "\" (mic), ";
    else
        out += "Learned from \"" + s.take + "\": pickup channel " + std::to_string(s.pickupChannel) +
               ", mic channel " + std::to_string(s.micChannel) + ", ";
    out += std::to_string(t.rate) + " Hz\n";
    out += formatText("Usable playing: %.1f s\n", t.usableSeconds);
    out += formatText("Left out: %.1f s silent, %.1f s clipped\n", t.silentSeconds, t.clippedSeconds);
    out += "Mean coherence per octave band:\n";
    for (int b = 0; b < octaveBandCount; ++b) {
        const std::string band = hz(octaveBandCentres[b]);
        out += std::isnan(t.bandCoherence[b]) ? formatText("  %7s  -\n", band.c_str())
                                              : formatText("  %7s  %.2f\n", band.c_str(), t.bandCoherence[b]);
    }
    parts.verdict = "Verdict: " + learnVerdict(t) + "\n";
    std::string& lag = parts.verdict; // a fact the user should see beside the verdict

    const double lagMs = t.lagSeconds * 1000;
    if (s.twoTracks())
        lag += formatText(
            "Lag: the mic track is %.1f ms %s the pickup track; aligned, the filter carries no flight time\n",
            std::fabs(lagMs), lagMs >= 0 ? "behind" : "ahead of");
    else
        lag += formatText(
            "Lag: the mic hears the guitar %.1f ms %s the pickup, about %.0f cm; the filter carries no "
            "flight time\n",
            std::fabs(lagMs), lagMs >= 0 ? "after" : "before", std::fabs(lagMs) * soundSpeed / 10);
    std::string& warnings = parts.warnings;

    if (take.tracksLookSwapped)
        warnings +=
            "Warning: the tracks may be swapped: the pickup track holds more noise in the pauses than the "
            "mic "
            "track; check which file is which\n";
    channelWarnings("pickup", t.levels.pickup, warnings);
    channelWarnings("mic", t.levels.mic, warnings);
    if (t.distorts)
        warnings += formatText(
            "Warning: the %s distorts when played loud: lower its input gain and record again (the "
            "loudest playing differs by %.1f dB; learned from the rest)\n",
            t.levelDifferenceDb > 0 ? "pickup" : "mic", std::fabs(t.levelDifferenceDb));
    const double peak = std::max(t.levels.pickup.peak, t.levels.mic.peak);
    const double quieter = std::min(t.levels.pickup.peak, t.levels.mic.peak);
    if (peak > 0 && dbfs(peak) < quietDbfs)
        warnings += formatText(
            "Warning: the take is quiet (peak %.0f dBFS): raise the input gain for a cleaner result\n",
            dbfs(peak));
    else if (quieter > 0 && dbfs(quieter) < quietDbfs)
        warnings += formatText(
            "Warning: the %s is quiet (peak %.0f dBFS): raise its input gain for a cleaner result\n",
            t.levels.pickup.peak < t.levels.mic.peak ? "pickup" : "mic", dbfs(quieter));
    if (!take.coarseEncoding.empty())
        warnings += "Warning: the take is stored as " + take.coarseEncoding +
                    ", whose own noise lies only some 40 dB under full scale: record in 16 or 24 bits for a "
                    "cleaner result\n";
    if (take.driftPpm != 0)
        warnings += formatText("Warning: the two recorders' clocks differ by %.0f ppm; corrected\n",
                               std::fabs(take.driftPpm));
    if (t.polarityInverted)
        warnings += take.polarityTurned
                        ? "Warning: the mic's polarity is inverted against the pickup's; turned "
                          "back to normal as asked\n"
                        : "Warning: the mic's polarity is inverted against the pickup's; the "
                          "filter inverts the signal\n";
    if (t.reflectionGain > 0)
        warnings += formatText(
            "Warning: the mic hears the room (a reflection %.1f ms after the direct sound): move it closer "
            "or away from walls\n",
            t.reflectionSeconds * 1000);
    else if (t.reverberant)
        warnings += formatText(
            "Warning: the mic hears the room (a reverberant tail %.0f dB under the direct sound): move it "
            "closer or away from walls\n",
            -t.tailDb);
    return parts;
}
