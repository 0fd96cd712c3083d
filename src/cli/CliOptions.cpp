#include "cli/CliOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string_view>
#include <utility>

namespace {

// Whole-text number in the C locale; nullopt for anything else (empty, trailing text, nan, inf).
std::optional<double> parseNumber(const std::string& text) {
    double value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars takes a '-' but no '+'; a '+' is allowed only before a digit or point ("+-5" is no number).
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return std::nullopt;
    }
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string describe(const std::string& option, double low, double high, bool whole) {
    char text[160];
    std::snprintf(text, sizeof text, "%s needs %s from %g to %g", option.c_str(),
                  whole ? "a whole number" : "a number", low, high);
    return text;
}

bool parseSize(const std::string& text, int& width, int& height) {
    const auto x = text.find('x');
    if (x == std::string::npos)
        return false;
    const auto w = parseNumber(text.substr(0, x));
    const auto h = parseNumber(text.substr(x + 1));
    if (!w || !h || *w != std::floor(*w) || *h != std::floor(*h) || *w < 50 || *h < 50 || *w > 10000 ||
        *h > 10000)
        return false;
    width = static_cast<int>(*w);
    height = static_cast<int>(*h);
    return true;
}

// The usage lines of one section's parameters, each followed by the lines given for its option.
std::string parameterLines(TParameter::ESection section,
                           std::initializer_list<std::pair<std::string_view, const char*>> after) {
    std::string text;
    for (const TParameter& p : parameterTable) {
        if (p.section != section)
            continue;
        const std::string option = std::string(p.option) + " " + p.optionValue;
        char line[200];
        std::snprintf(line, sizeof line, "  %-21s %s %g..%g (default %g%s)\n", option.c_str(), p.help,
                      p.minimum, p.maximum, p.defaultValue, p.helpNote);
        text += line;
        for (const auto& [anchor, lines] : after)
            if (anchor == p.option)
                text += lines;
    }
    return text;
}

} // namespace

bool TCliOptions::wantsAnalysis() const {
    return !exportSmd.empty() || !curvesCsv.empty() || !irCsv.empty() || wantsPlots() ||
           !renderOutput.empty() || !ir.file.empty();
}

std::optional<TCliOptions> parseCliOptions(const std::vector<std::string>& args, std::string& error) {
    TCliOptions o;

    // Options that take a number within limits.
    struct NumberOption {
        double* target;
        double low, high;
        bool whole;
    };
    std::string learnChannels, learnPolarity;
    std::map<std::string, NumberOption> numbers;
    for (const TParameter& p : parameterTable)
        numbers[p.option] = {&(o.*parameterFields[std::size_t(p.id)]), p.minimum, p.maximum, p.whole};
    // Options that take a text.
    const std::map<std::string, std::string*> texts = {
        {"--mic", &o.mic},
        {"--pickup", &o.pickup},
        {"--open-project", &o.openProject},
        {"--save-project", &o.saveProject},
        {"--name", &o.name},
        {"--export", &o.exportSmd},
        {"--curves", &o.curvesCsv},
        {"--ir", &o.irCsv},
        {"--plot-analysis", &o.plotAnalysis},
        {"--plot-summary", &o.plotSummary},
        {"--learn", &o.learn},
        {"--learn-pickup", &o.learnPickup},
        {"--learn-mic", &o.learnMic},
        {"--learn-channels", &learnChannels},
        {"--export-ir", &o.ir.file},
        {"--plot-ir", &o.ir.plot},
        {"--learn-polarity", &learnPolarity},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (arg == "--no-pickup") {
            o.noPickup = true;
            continue;
        }
        if (arg == "--clean") {
            o.clean = true;
            continue;
        }
        // Rendering: an input and an output file, and the input's channel.
        if (arg == "--render") {
            if (i + 2 >= args.size() || args[i + 1].empty() || args[i + 2].empty()) {
                error = "--render needs an input and an output file";
                return std::nullopt;
            }
            o.renderInput = args[i + 1];
            o.renderOutput = args[i + 2];
            i += 2;
            continue;
        }
        if (arg == "--render-channel") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            const std::string& value = args[++i];
            const auto v = parseNumber(value);
            if (!v || *v < 1 || *v > 1024 || *v != std::floor(*v)) {
                error = describe(arg, 1, 1024, true) + ", not '" + value + "'";
                return std::nullopt;
            }
            o.renderChannel = static_cast<int>(*v);
            continue;
        }
        const bool takesValue = numbers.count(arg) || texts.count(arg) || arg == "--channel" ||
                                arg == "--plot-size" || isIrSetting(arg);
        if (!takesValue) {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (auto t = texts.find(arg); t != texts.end()) {
            if (value.empty() && arg != "--name") {
                error = arg + " needs a file name";
                return std::nullopt;
            }
            *t->second = value;
        } else if (auto n = numbers.find(arg); n != numbers.end()) {
            const NumberOption& bounds = n->second;
            const auto v = parseNumber(value);
            if (!v || *v < bounds.low || *v > bounds.high || (bounds.whole && *v != std::floor(*v))) {
                error = describe(arg, bounds.low, bounds.high, bounds.whole) + ", not '" + value + "'";
                return std::nullopt;
            }
            *bounds.target = *v;
            // The window's range rule: the bound just edited gives way, the other stays.
            if (bounds.target == &o.fMin)
                o.fMin = fMinAfterEdit(o.fMin, o.fMax);
            if (bounds.target == &o.fMax)
                o.fMax = fMaxAfterEdit(o.fMin, o.fMax);
            o.blendGiven = o.blendGiven || bounds.target == &o.blend;
        } else if (isIrSetting(arg)) {
            if (!parseIrSetting(arg, value, o.ir, error))
                return std::nullopt;
        } else if (arg == "--channel") {
            if (value != "left" && value != "right" && value != "both") {
                error = "--channel needs left, right or both, not '" + value + "'";
                return std::nullopt;
            }
            o.setLeft = value != "right";
            o.setRight = value != "left";
        } else if (!parseSize(value, o.plotWidth, o.plotHeight)) {
            error = "--plot-size needs WIDTHxHEIGHT in pixels (50 to 10000 each), not '" + value + "'";
            return std::nullopt;
        }
    }
    if (!learnPolarity.empty() && learnPolarity != "normal" && learnPolarity != "measured") {
        error = "--learn-polarity needs normal or measured, not '" + learnPolarity + "'";
        return std::nullopt;
    }
    o.learnNormalPolarity = learnPolarity == "normal";
    o.learnPolarityGiven = !learnPolarity.empty();
    if ((!learnChannels.empty() && !parseLearnChannels(learnChannels, o, error)) ||
        !checkLearnOptions(o, error))
        return std::nullopt;
    return o;
}

const char* cliUsage() {
    static const std::string text =
        std::string(
            "Usage: body-analyzer-cli [options]\n"
            "\n"
            "Computes the correction filter that makes an acoustic guitar's under-saddle pickup sound\n"
            "like a microphone in front of its body, from two impulse responses (16-bit mono WAVE).\n"
            "\n"
            "Inputs (applied in this order):\n"
            "  --open-project FILE   read both responses from a .smp project file\n"
            "  --mic FILE            microphone impulse response (WAVE)\n"
            "  --pickup FILE         pickup impulse response (WAVE)\n"
            "  --no-pickup           leave the pickup out (unit impulse, delay 0)\n"
            "\n"
            "Learning from a recording of playing (instead of the inputs above):\n"
            "  --learn FILE          learn from a take with the pickup and the mic on two channels\n"
            "  --learn-channels P,M  the take's pickup and mic channels, from 1 (default 1,2)\n"
            "  --learn-pickup FILE   learn from two mono tracks of one session: the pickup track\n"
            "  --learn-mic FILE      ... and the mic track (both needed)\n"
            "  --learn-polarity normal|measured\n"
            "                        turn an inverted mic back (default: keep what was measured)\n"
            "  This tool has no audio devices: record the take in the window (\"Record take...\")\n"
            "  and learn from the file it wrote.\n"
            "\n"
            "Analysis (defaults are the window's start values):\n") +
        parameterLines(
            TParameter::analysis,
            {{"--beta", "  --clean               use the clean pickup model\n"},
             {"--blend",
              "  --channel C           store the filter as left, right or both (default both)\n"
              "  --name TEXT           instrument name in the exported file (default Guitar)\n"}}) +
        "\n"
        "Display range of the plots:\n" +
        parameterLines(TParameter::display, {}) +
        "  --plot-size WxH       image size in pixels (default 540x356)\n"
        "\n"
        "Outputs:\n"
        "  --save-project FILE   write both responses as a .smp project file\n"
        "  --export FILE.smd     write the left and right filters as a body data file\n"
        "  --curves FILE.csv     write the mic, pickup and filter curves (dB on 500 points)\n"
        "  --ir FILE.csv         write the filter impulse response (8192 samples)\n"
        "  --plot-analysis FILE.png   draw the analysis plot\n"
        "  --plot-summary FILE.png    draw the summary plot (left and right channels)\n"
        "  --render IN OUT.wav   render the recording IN (WAVE, FLAC, AIFF, ...) through the left\n"
        "                        and right filters into a 32-bit float stereo WAVE\n"
        "  --render-channel N    the channel of IN to render, 1-based (default 1)\n"
        "  --export-ir FILE.wav  write the filter as a WAVE impulse response for loaders\n"
        "  --ir-channel C        left, right or both as a stereo file (default left)\n"
        "  --ir-length N         samples, 16..96000 (default 2048)\n"
        "  --ir-rate HZ          8000..192000 (default: the filter's own; resampled band-limited)\n"
        "  --ir-format F         16, 24 (rounded, no dither) or float (default 24)\n"
        "  --ir-phase P          minimum (shortest; default) or designed (the filter's own, cut)\n"
        "  --ir-normalise DBFS   peak level, -60..0, or none for the filter's own level (default -1)\n"
        "  --plot-ir FILE.png    draw the impulse response's magnitude against the full filter's\n"
        "  --help                print this text\n"
        "An output named - or /dev/stdout goes to standard output as it is (a pipe, or a file\n"
        "opened with >>, gets it directly).\n"
        "\n"
        "Exit status: 0 success, 1 a file could not be read or written (nothing is written when an\n"
        "input fails), 2 a usage error.\n";
    return text.c_str();
}
