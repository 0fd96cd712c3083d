// The batch tool's learning from a take.
#pragma once

#include "cli/CliOptions.h"

#include <iosfwd>

class TAnalyzer;

// Learns from the take the options name, puts the learned pair into `a` as the window's "Use" does
// and prints the report on `out`. On failure prints one line on `err` and returns false, leaving
// `a` unchanged.
bool learnForCli(const TCliOptions& o, TAnalyzer& a, std::ostream& out, std::ostream& err);
