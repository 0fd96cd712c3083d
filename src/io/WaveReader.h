// Reading a measured impulse response from a 16-bit mono PCM WAVE file into the analyzer state.
#pragma once

#include "dsp/AnalyzerTypes.h"
#include "io/FileResult.h"

#include <array>
#include <cstdint>
#include <string>

class TAnalyzer;

// Caption of the warning that shows a rejected file's message.
inline constexpr const char* waveErrorCaption = "WAVE file format error";

// The three messages of a rejected file, verbatim.
inline constexpr const char* waveUnknownFormat = "Unknown format, is this a WAVE file?";
inline constexpr const char* waveUnsupportedFormat = "Only mono 16 bit linear PCM WAVE \nfiles are supported";
inline constexpr const char* waveNoFormat = "No WAVE fileformat specified";

// Most chunks the walk looks at before it gives up with waveNoFormat. Writers put a handful of
// chunks (format, fact, LIST, bext, JUNK, ...) before the samples; each costs at least 8 bytes.
inline constexpr int waveMaxChunks = 65536;

// One response as read from a WAVE file: blockLength samples.
using TWaveSamples = std::array<double, blockLength>;

// Reads the WAVE file at `path` into `samples`, with the acceptance rules, scaling and results of
// readWave below, touching nothing else. `rate` is set to the rate (Hz) of the last format chunk
// with a rate in range, whether or not that chunk was then accepted, and to 0 when there was none
// (or the file cannot be opened). Samples: ok, the normalised response; rejected, all 0.0;
// cannotOpen, unchanged. Callers that must keep their state on a rejection read into a scratch
// array and commit only an ok result.
TFileResult readWaveSamples(const std::string& path, TWaveSamples& samples, std::int32_t& rate);

// Reads the WAVE file at `path` into one member of a.irData: channel 0 = mic, 1 = pickup; the other
// member is never touched.
// Accepted: a "RIFF" file (form type not checked) whose chunks hold a format chunk (PCM, 1 channel,
// 16 bits, 1000..768000 Hz) before a data chunk. The first min(declared data size / 2, 8192)
// samples are stored from index 0 as s * 2^-15, the rest of the member is 0.0, and the member is
// divided by its largest magnitude (the peak starts at 1e-32, so silence stays all 0.0), which
// makes the peak exactly +1.0 or -1.0. Chunks are skipped by their size plus a pad byte for an odd
// size; a format chunk's bytes after its 16 bytes of fields are skipped. A data size that runs past
// the end of the file reads to the end of the file. A data chunk that is not among the first
// waveMaxChunks chunks is not looked for (waveNoFormat), so the walk ends soon in any file.
// The sample rate of each format chunk with a rate in range is stored with a.setFs at once, even
// when the chunk is then rejected.
// Results:
// - ok: the member holds the normalised response.
// - cannotOpen (missing, unreadable, a folder, FIFO or device; nothing is read): a.irData and a.fs
//   are unchanged; the message names the file but callers show none.
// - otherwise rejected with waveUnknownFormat, waveUnsupportedFormat or waveNoFormat as message:
//   the member is all 0.0.
TFileResult readWave(TAnalyzer& a, int channel, const std::string& path);

// The file name with its extension: everything after the last '/' ("" for a path ending in '/').
std::string stripPath(const std::string& path);
