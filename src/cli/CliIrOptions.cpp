#include "cli/CliIrOptions.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace {

// A whole number from `low` to `high` written in full, nothing else.
std::optional<int> wholeNumber(const std::string& text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

bool isIrSetting(const std::string& arg) {
    return arg == "--ir-channel" || arg == "--ir-length" || arg == "--ir-rate" || arg == "--ir-format" ||
           arg == "--ir-phase" || arg == "--ir-normalise";
}

bool parseIrSetting(const std::string& arg, const std::string& value, TCliIrOptions& o, std::string& error) {
    TIrExportSettings& s = o.settings;
    const auto bad = [&](const char* wanted) {
        error = arg + " needs " + wanted + ", not '" + value + "'";
        return false;
    };
    if (arg == "--ir-channel") {
        if (value != "left" && value != "right" && value != "both")
            return bad("left, right or both");
        s.channels = value == "left"    ? TIrChannels::left
                     : value == "right" ? TIrChannels::right
                                        : TIrChannels::both;
    } else if (arg == "--ir-length") {
        const auto n = wholeNumber(value, 16, maxIrLength);
        if (!n)
            return bad("a whole number of samples from 16 to 96000");
        s.shape.length = *n;
    } else if (arg == "--ir-rate") {
        const auto n = wholeNumber(value, 8000, 192000);
        if (!n)
            return bad("a whole number of Hz from 8000 to 192000");
        s.shape.rate = *n;
    } else if (arg == "--ir-format") {
        if (value != "16" && value != "24" && value != "float")
            return bad("16, 24 or float");
        s.format = value == "16" ? TIrFormat::pcm16 : value == "24" ? TIrFormat::pcm24 : TIrFormat::float32;
    } else if (arg == "--ir-phase") {
        if (value != "minimum" && value != "designed")
            return bad("minimum or designed");
        s.shape.phase = value == "minimum" ? TIrPhase::minimum : TIrPhase::designed;
    } else {
        double level = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), level);
        s.normalise = value != "none";
        if (s.normalise &&
            (ec != std::errc() || end != value.data() + value.size() || !(level >= -60 && level <= 0)))
            return bad("a peak level from -60 to 0 dBFS or none");
        s.peakDbfs = s.normalise ? level : s.peakDbfs;
    }
    return true;
}
