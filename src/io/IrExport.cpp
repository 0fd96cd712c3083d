#include "io/IrExport.h"

#include "base/CFormat.h"
#include "dsp/Analyzer.h"
#include "io/SafeWriter.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const channelNames[channelCount] = {"Left", "Right"};

// "48" for 48000, "44.1" for 44100: kHz with as few decimals as the rate needs.
std::string kilohertz(int rate) {
    char text[32];
    formatC(text, sizeof text, "%g", rate / 1000.0);
    return text;
}

// The stored filter of `channel` at `rate`, shaped; a message when there is none to use.
std::string shapeChannel(const TAnalyzer& a, int channel, const TIrShape& shape, std::vector<double>& out) {
    const int filterRate = a.channelFs[channel];
    const std::string name = channelNames[channel];
    if (filterRate <= 0)
        return "the " + name + " channel holds no filter: it was never stored";
    const std::array<double, blockLength>& ir = a.channels[channel].filterIr;
    if (!std::all_of(ir.begin(), ir.end(), [](double v) { return std::isfinite(v); }))
        return "the " + name + " filter holds values that are not numbers";
    if (std::all_of(ir.begin(), ir.end(), [](double v) { return v == 0; }))
        return "the " + name + " filter is silent";
    out = shapeImpulseResponse(ir, filterRate, shape);
    return {};
}

} // namespace

TFileResult makeIrChannels(const TAnalyzer& a, const TIrExportSettings& s, const std::string& path,
                           std::vector<std::vector<double>>& channels, int& rate) {
    const auto fail = [&](const std::string& reason) {
        return fileError("Cannot write \"" + path + "\": " + reason);
    };
    std::vector<int> wanted;
    if (s.channels != TIrChannels::right)
        wanted.push_back(0);
    if (s.channels != TIrChannels::left)
        wanted.push_back(1);
    rate = s.shape.rate > 0 ? s.shape.rate : a.channelFs[wanted[0]];
    TIrShape shape = s.shape;
    shape.rate = rate;
    channels.assign(wanted.size(), {});
    for (std::size_t i = 0; i < wanted.size(); ++i)
        if (const std::string why = shapeChannel(a, wanted[i], shape, channels[i]); !why.empty())
            return fail(why);

    double peak = 0;
    for (const std::vector<double>& c : channels)
        for (const double v : c)
            peak = std::max(peak, std::abs(v));
    if (s.normalise && peak > 0) {
        const double gain = std::pow(10.0, s.peakDbfs / 20) / peak;
        for (std::vector<double>& c : channels)
            for (double& v : c)
                v *= gain;
    } else if (!s.normalise && s.format != TIrFormat::float32 && peak > 1) {
        char level[32];
        formatC(level, sizeof level, "%+.1f", 20 * std::log10(peak));
        return fail(std::string("at its own level the filter peaks at ") + level + " dBFS, above what a " +
                    std::to_string(irFormatBits(s.format)) +
                    "-bit file holds; normalise it or write 32-bit float");
    }
    return {};
}

TIrExportResult exportImpulseResponse(const TAnalyzer& a, const TIrExportSettings& s,
                                      const std::string& path) {
    TIrExportResult r;
    std::vector<std::vector<double>> channels;
    r.file = makeIrChannels(a, s, path, channels, r.rate);
    if (!r.file.ok)
        return r;
    r.file = writeFileSafely(path, irWaveBytes(channels, r.rate, s.format));
    if (r.file.ok) {
        const std::size_t slash = path.rfind('/');
        r.summary = "Wrote " + (slash == std::string::npos ? path : path.substr(slash + 1)) + ": " +
                    irDescription(s, r.rate);
    }
    return r;
}

std::string irDescription(const TIrExportSettings& s, int rate) {
    std::string text = std::to_string(s.shape.length) + " samples, " + kilohertz(rate) + " kHz, ";
    text += s.format == TIrFormat::float32 ? "32-bit float" : std::to_string(irFormatBits(s.format)) + "-bit";
    text += s.shape.phase == TIrPhase::minimum ? ", minimum phase" : ", as designed";
    return text;
}

std::string irFileName(const std::string& stem, const TIrExportSettings& s, int rate) {
    const char* channel = s.channels == TIrChannels::left    ? "left"
                          : s.channels == TIrChannels::right ? "right"
                                                             : "both";
    return stem + "-" + channel + "-" + kilohertz(rate) + "k-" + std::to_string(s.shape.length) + ".wav";
}
