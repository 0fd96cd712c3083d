// Runs the batch tool: loads the inputs, analyses once, stores the channels, writes the outputs.
#pragma once

#include "cli/CliOptions.h"

#include <iosfwd>
#include <string>

class TAnalyzer;

// Returns the process exit status: 0 success, 1 a file could not be read or written. Reports
// (of a learned take) go to `out`, errors to `err`; the first form reports to standard output.
int runCli(const TCliOptions& options, std::ostream& err);
int runCli(const TCliOptions& options, std::ostream& out, std::ostream& err);

// The analysis curves as CSV: header "freq_hz,mic_db,pickup_db,filter_db" and 500 rows, "%.17g",
// LF line ends.
std::string curvesCsv(const TAnalyzer& a);
// The filter impulse response as CSV: header "sample,filter_ir" and 8192 rows, LF line ends.
std::string impulseResponseCsv(const TAnalyzer& a);

// Draws the analysis and/or summary plot as PNG images of the options' size (offscreen, no display
// needed). Returns false with `error` naming the file on failure.
bool writePlots(TAnalyzer& a, const TCliOptions& options, std::string& error);
