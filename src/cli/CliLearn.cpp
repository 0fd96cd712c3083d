#include "cli/CliLearn.h"

#include "io/TakeLearning.h"

#include <charconv>
#include <ostream>

bool parseLearnChannels(const std::string& value, TCliOptions& o, std::string& error) {
    const auto comma = value.find(',');
    auto whole = [](const std::string& text, int& out) {
        const char* last = text.data() + text.size();
        auto [end, ec] = std::from_chars(text.data(), last, out);
        return ec == std::errc() && end == last && out >= 1 && out <= 65535;
    };
    int p = 0, m = 0;
    if (comma == std::string::npos || !whole(value.substr(0, comma), p) ||
        !whole(value.substr(comma + 1), m) || p == m) {
        error =
            "--learn-channels needs two different channel numbers P,M from 1 to 65535, not '" + value + "'";
        return false;
    }
    o.learnPickupChannel = p;
    o.learnMicChannel = m;
    o.learnChannelsGiven = true;
    return true;
}

bool checkLearnOptions(const TCliOptions& o, std::string& error) {
    if (!o.learns()) {
        if (o.learnChannelsGiven)
            error = "--learn-channels needs --learn";
        else if (o.learnPolarityGiven)
            error = "--learn-polarity needs --learn or --learn-pickup and --learn-mic";
        return error.empty();
    }
    if (!o.mic.empty() || !o.pickup.empty() || o.noPickup || !o.openProject.empty())
        error = "learning from a take cannot be combined with --mic, --pickup, --no-pickup or --open-project";
    else if (!o.learn.empty() && (!o.learnPickup.empty() || !o.learnMic.empty()))
        error = "--learn takes one file; two tracks are given with --learn-pickup and --learn-mic instead";
    else if (o.learn.empty() && (o.learnPickup.empty() || o.learnMic.empty()))
        error = "--learn-pickup and --learn-mic are needed together";
    else if (o.learn.empty() && o.learnChannelsGiven)
        error = "--learn-channels needs --learn (two tracks use the first channel of each)";
    return error.empty();
}

bool learnForCli(const TCliOptions& o, TAnalyzer& a, std::ostream& out, std::ostream& err) {
    TTakeSource source;
    source.take = o.learn;
    source.pickupChannel = o.learnPickupChannel;
    source.micChannel = o.learnMicChannel;
    source.pickupTrack = o.learnPickup;
    source.micTrack = o.learnMic;
    source.normalPolarity = o.learnNormalPolarity;
    TLearnedTake learned;
    const TFileResult r = learnTake(source, learned);
    if (!r.ok) {
        err << "body-analyzer-cli: " << r.message << "\n";
        return false;
    }
    applyLearnedTake(learned, a);
    out << learnReport(learned);
    return true;
}
