// The sample rates of the two responses: one fs serves both, so a pair of different rates is
// worth a word to the user.
#pragma once

#include <cstdint>
#include <string>

// The note for a mic response at `micRate` and a pickup response at `pickupRate` (Hz) analysed at
// `usedRate`: empty when the two agree or either is 0 (not known, as for the start-up unit
// impulse); otherwise one line naming both rates and the one used.
std::string sampleRateNote(std::int32_t micRate, std::int32_t pickupRate, std::int32_t usedRate);
