// The project file (.smp): both impulse responses, the release numbers and the sample rate as text.
#pragma once

#include "io/FileResult.h"
#include "io/LineReader.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class TAnalyzer;

inline constexpr const char* projectFirstLine = "Sonmira analyser impulse response";
inline constexpr const char* endOfDataMarker = "<##++--ENDOFDATA--++##>";
// The key of the blend line, which holds none of the other keys ("release", "fs", "data").
inline constexpr const char* blendKey = "blend";

// Writes a.release, a.fs and all 8192 pairs of a.irData (mic, pickup; "%1.3e", four significant
// digits) as 8200 lines ending in CR LF, numbers in the C locale, through writeFileSafely: on
// failure the file at `path` is left as it was and the message says why. A blend below 100 adds the
// line " blend=N" (whole percent, rounded) after the " N=" line.
TFileResult writeProject(const TAnalyzer& a, const std::string& path);

// Most bytes of a project file that are read: a saved project is about 250 KB, so anything near
// this size is something else, and reading it to its end would keep the window waiting.
inline constexpr std::uint64_t projectMaxFileSize = 64u << 20;

// Reads a project file into a. Lines may end in CR LF or LF. The first line must begin with
// projectFirstLine and a "data" key line must follow; otherwise the file is rejected with a message
// and a is unchanged, as it is when the file cannot be opened (cannotOpen; a folder, FIFO or device
// is never read). Reading stops at a line beginning with "}" or at the end of the file. A line
// longer than TLineReader::maxLineLength, or a file that goes on past projectMaxFileSize bytes
// before its end or its "}", is rejected too.
// On success: a.release takes the numbers of the "release" line (at most four; missing ones keep
// their values); a.fs (with setFs) the " fs=" value when that is a whole number from 1000 to 768000;
// a.blend the " blend=" value when that is a whole number from 0 to 100, otherwise (no such line) 100;
// a.irData the values of the data block(s): mic and pickup alternating across lines, each block
// from pair 0 on, at most 8192 pairs; pairs no block reaches are 0.0, and a value that is not a
// finite number of magnitude up to 1e6 reads as 0.0. Nothing is normalised.
TFileResult readProject(TAnalyzer& a, const std::string& path);

// If `key` occurs in `line` (case-sensitive substring): splits the line at runs of "=", blank, tab
// and line feed, skips the first piece and converts the following pieces like atoi into target[0],
// target[1], ... (at most target.size(); further pieces are ignored, missing ones leave the target
// as it was). whole[i], when given, tells whether piece i was an integer and nothing else. The line
// is then cut after its first piece, so later key tests on the same line see only that piece.
// Returns whether the key occurred.
bool readKeyInts(std::string& line, std::string_view key, std::span<std::int32_t> target,
                 std::span<bool> whole = {});

// If `key` occurs in `line`: reads the following lines from `source` up to the one holding
// endOfDataMarker (or the end of the file), splits each like readKeyInts and stores every piece,
// converted like strtod, into target[0], target[1], ... across line ends; values beyond
// target.size() are ignored. A value that is not finite or whose magnitude exceeds 1e6 is stored as
// 0.0. Returns whether the key occurred.
bool readDataBlock(const std::string& line, TLineReader& source, std::string_view key,
                   std::span<double> target);
