// Command line of body-analyzer-cli: what to load, the analysis settings, and what to write.
#pragma once

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

    // Analysis settings; defaults are the window's start values.
    double delayMic = 0;    // samples, 0..1000
    double delayPickup = 0; // samples, 0..1000
    int alpha = 40;         // 0..50
    int beta = 30;          // 0..50
    bool clean = false;
    double gainDb = 0;   // dB, -20..20
    bool setLeft = true; // channels that receive the filter
    bool setRight = true;
    std::string name = "Guitar"; // instrument name, UTF-8
    double helmholtz = 100;      // Hz, 50..300
    double firstBody = 200;      // Hz, 100..500

    // Display range of the plots.
    double fMin = 50;    // Hz, 20..2000
    double fMax = 20000; // Hz, 100..20000; kept at least 100 Hz above fMin
    double dbRange = 50; // dB, 1..100
    int plotWidth = 540; // pixels
    int plotHeight = 356;

    // Outputs.
    std::string saveProject;
    std::string exportSmd;
    std::string curvesCsv;
    std::string irCsv;
    std::string plotAnalysis;
    std::string plotSummary;

    // Rendering a recording through the stored channels, after every other output.
    std::string renderInput;
    std::string renderOutput;
    int renderChannel = 1; // input channel, 1-based

    bool wantsAnalysis() const;
    bool wantsPlots() const { return !plotAnalysis.empty() || !plotSummary.empty(); }
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
