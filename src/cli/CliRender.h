// The batch tool's --render: the recording through the stored left and right channels.
#pragma once

#include <iosfwd>

class TAnalyzer;
struct TCliOptions;

// Checks the recording --render names (readable, has the chosen channel) before anything is
// written; false after printing one line naming the file and the reason.
bool checkRenderInputCli(const TCliOptions& options, std::ostream& err);

// Renders it into the float WAVE --render names, then prints its peak level, a warning when
// that is above 0 dBFS and one for each channel never set (one line each). False after one line
// naming the file and the reason; no output file is left then.
bool renderCli(const TAnalyzer& a, const TCliOptions& options, std::ostream& err);
