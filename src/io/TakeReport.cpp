// The short report of a learned take, shared by the batch tool and the window.
#include "io/TakeLearning.h"

#include "base/CFormat.h"

#include <cmath>
#include <string>

std::string learnReport(const TLearnedTake& take) {
    const TTakeReport parts = learnReportParts(take);
    return parts.details + parts.verdict + parts.warnings;
}

TTakeReport learnReportParts(const TLearnedTake& take) {
    const TTakeSource& s = take.source;
    const TTransferResult& t = take.transfer;
    char line[300];
    TTakeReport parts;
    std::string& out = parts.details;
    if (s.twoTracks())
        out +=
            "Learned from the tracks \"" + s.pickupTrack + "\" (pickup) and \"" + s.micTrack + "\" (mic), ";
    else
        out += "Learned from \"" + s.take + "\": pickup channel " + std::to_string(s.pickupChannel) +
               ", mic channel " + std::to_string(s.micChannel) + ", ";
    out += std::to_string(t.rate) + " Hz\n";
    formatC(line, sizeof line, "Usable playing: %.1f s\n", t.usableSeconds);
    out += line;
    formatC(line, sizeof line, "Left out: %.1f s silent, %.1f s clipped\n", t.silentSeconds,
            t.clippedSeconds);
    out += line;
    out += "Mean coherence per octave band:\n";
    for (int b = 0; b < octaveBandCount; ++b) {
        const double c = octaveBandCentres[b];
        char band[32];
        if (c >= 1000)
            formatC(band, sizeof band, "%g kHz", c / 1000);
        else
            formatC(band, sizeof band, "%g Hz", c);
        if (std::isnan(t.bandCoherence[b]))
            formatC(line, sizeof line, "  %7s  -\n", band);
        else
            formatC(line, sizeof line, "  %7s  %.2f\n", band, t.bandCoherence[b]);
        out += line;
    }
    parts.verdict = "Verdict: " + t.verdict + "\n";
    if (s.twoTracks() && t.looksShifted) {
        formatC(line, sizeof line,
                "The tracks look shifted: the mic is %.1f ms %s the pickup, so they were probably not "
                "exported from the same start (nothing was realigned).\n",
                std::fabs(t.lagSeconds) * 1000, t.lagSeconds > 0 ? "after" : "before");
        parts.warnings += line;
    }
    return parts;
}
