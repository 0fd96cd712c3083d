// The body data file (.smd) that the Sonmira reads: both output channels' filters with the
// instrument's name, the sample rate and the two resonance frequencies.
#pragma once

#include "io/FileResult.h"

#include <string>

class TAnalyzer;

inline constexpr const char* endOfStringMarker = "<##++--ENDOFSTRING--++##>";

// Writes the body data file at `path` through writeFileSafely: 8205 lines ending in CR LF, numbers
// in the C locale. Line 5 is `name` (UTF-8) as 8-bit Latin-1, with '?' for each character outside
// Latin-1 or byte that is not UTF-8, and CR and LF written as blanks so the name stays one line.
// Line 7 holds a.fs * 10; lines 8 and 9 a.fHelm and a.fFirstBody ("%1.2f") each followed by 5.00;
// lines 12 to 8203 channels[0].filterIr[i] and channels[1].filterIr[i] ("%1.3e").
// On failure the file at `path` is left as it was and the message says why.
TFileResult writeBodyData(const TAnalyzer& a, const std::string& name, const std::string& path);

// `utf8` as one line of Latin-1 text, as written on line 5.
std::string nameToLatin1Line(const std::string& utf8);
