// What the user must know about a stored output channel before it goes to the device: whether it
// was ever stored, and whether it was made at the sample rate now in force (the export writes that
// rate over both channels). The Summary plot, the window's export and the batch tool all say it
// with these texts.
#pragma once

#include <string>

class TAnalyzer;

enum class TChannelState {
    current,     // stored at the rate now in force
    neverStored, // its filter is all zero: the device would play silence
    otherRate,   // made at another rate than fs
};

// channel: 0 = "Left", 1 = "Right".
TChannelState channelState(const TAnalyzer& a, int channel);
const char* channelName(int channel);
// The note beside the channel on the Summary: "" when current, "not stored", or "made at 44100 Hz:
// store it again".
std::string channelNote(const TAnalyzer& a, int channel);
// One line for an export of the channel, naming it: "" when current; otherwise "Left was never
// stored: the device would play silence on it" or one naming the rate it was made at and fs.
std::string channelExportWarning(const TAnalyzer& a, int channel);
