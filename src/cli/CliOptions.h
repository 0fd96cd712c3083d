// Command line of body-analyzer-cli: what to load, the analysis settings, and what to write.
#pragma once

#include "cli/CliIrOptions.h"
#include "dsp/Parameters.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

struct TCliOptions {
    bool help = false;

    // Inputs, applied in this order: project, mic, pickup, no-pickup.
    std::string openProject;
    std::string mic;
    std::string pickup;
    bool noPickup = false;

    // Learning from a take instead of loading responses: one file with a pickup and a mic channel
    // (1-based), or two mono tracks.
    std::string learn;
    int learnPickupChannel = 1;
    int learnMicChannel = 2;
    bool learnChannelsGiven = false;
    bool learnNormalPolarity = false; // --learn-polarity normal
    bool learnPolarityGiven = false;
    std::string learnPickup;
    std::string learnMic;
    bool learns() const { return !learn.empty() || !learnPickup.empty() || !learnMic.empty(); }

    // Analysis settings; defaults and limits are the parameter table's (the window's start values).
    double delayMic = startValue(EParameter::delayMic);       // samples
    double delayPickup = startValue(EParameter::delayPickup); // samples
    double alpha = startValue(EParameter::alpha);             // a whole number
    double beta = startValue(EParameter::beta);               // a whole number
    bool clean = false;
    double gainDb = startValue(EParameter::gain); // dB
    double blend = startValue(EParameter::blend); // percent corrected
    bool blendGiven = false;                      // --blend given: it overrides a project's
    bool setLeft = true;                          // channels that receive the filter
    bool setRight = true;
    std::string name = "Guitar";                          // instrument name, UTF-8
    double helmholtz = startValue(EParameter::helmholtz); // Hz
    double firstBody = startValue(EParameter::firstBody); // Hz

    // Display range of the plots.
    double fMin = startValue(EParameter::fMin);       // Hz
    double fMax = startValue(EParameter::fMax);       // Hz; kept at least minDisplayWidth above fMin
    double dbRange = startValue(EParameter::dbRange); // dB
    int plotWidth = 540;                              // pixels
    int plotHeight = 356;

    // Outputs.
    std::string saveProject;
    std::string exportSmd;
    std::string curvesCsv;
    std::string irCsv;
    std::string plotAnalysis;
    std::string plotSummary;
    TCliIrOptions ir; // the impulse-response export and its plot

    // Rendering a recording through the stored channels, after every other output.
    std::string renderInput;
    std::string renderOutput;
    int renderChannel = 1; // input channel, 1-based

    bool wantsAnalysis() const;
    bool wantsPlots() const { return !plotAnalysis.empty() || !plotSummary.empty() || !ir.plot.empty(); }
};

// The field each row of the parameter table's option sets, in the table's order.
inline constexpr std::array<double TCliOptions::*, parameterTable.size()> parameterFields = {
    &TCliOptions::delayMic, &TCliOptions::delayPickup, &TCliOptions::alpha,     &TCliOptions::beta,
    &TCliOptions::gainDb,   &TCliOptions::blend,       &TCliOptions::helmholtz, &TCliOptions::firstBody,
    &TCliOptions::fMin,     &TCliOptions::fMax,        &TCliOptions::dbRange,
};

// Parses the arguments (without the program name). On a usage error returns nullopt and sets `error`.
std::optional<TCliOptions> parseCliOptions(const std::vector<std::string>& args, std::string& error);

// Reads "--learn-channels P,M" into `o`; false with `error` set when it is not two different whole
// numbers from 1 to 65535.
bool parseLearnChannels(const std::string& value, TCliOptions& o, std::string& error);
// The usage errors of the learning options: a take together with responses or a project, one
// track alone, a take together with tracks, channels without a take.
bool checkLearnOptions(const TCliOptions& o, std::string& error);

// The usage text printed by --help and after a usage error.
const char* cliUsage();
