#include "dsp/ChannelNotes.h"

#include "dsp/Analyzer.h"

TChannelState channelState(const TAnalyzer& a, int channel) {
    const std::int32_t made = a.channelFs[static_cast<std::size_t>(channel)];
    if (made == 0)
        return TChannelState::neverStored;
    return made == a.fs ? TChannelState::current : TChannelState::otherRate;
}

const char* channelName(int channel) {
    return channel == 0 ? "Left" : "Right";
}

std::string channelNote(const TAnalyzer& a, int channel) {
    switch (channelState(a, channel)) {
    case TChannelState::neverStored:
        return "not stored";
    case TChannelState::otherRate:
        return "made at " + std::to_string(a.channelFs[static_cast<std::size_t>(channel)]) +
               " Hz: store it again";
    case TChannelState::current:
        break;
    }
    return {};
}

std::string channelExportWarning(const TAnalyzer& a, int channel) {
    const std::string name = channelName(channel);
    switch (channelState(a, channel)) {
    case TChannelState::neverStored:
        return name + " was never stored: the device would play silence on it";
    case TChannelState::otherRate:
        return name + " was made at " + std::to_string(a.channelFs[static_cast<std::size_t>(channel)]) +
               " Hz, but the file says " + std::to_string(a.fs) + " Hz: store it again with \"" + name +
               "\" at the new rate";
    case TChannelState::current:
        break;
    }
    return {};
}
