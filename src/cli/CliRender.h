// The batch tool's --render: the recording through the stored left and right channels.
#pragma once

#include "io/Renderer.h"

#include <iosfwd>
#include <memory>

class TAnalyzer;
struct TCliOptions;

// Checks the recording --render names (readable, has the chosen channel) before anything is
// written; false after printing one line naming the file and the reason.
bool checkRenderInputCli(const TCliOptions& options, std::ostream& err);

// A rendering done but not yet in place: its output waits in a temporary file (or, for an output
// written as it comes, such as standard output, has gone out already).
class TCliRendering {
public:
    // Renders the whole recording --render names, so that an input failing partway stops the
    // program before any other output is written. False after one line naming the file and the
    // reason; no output file is left then.
    bool render(const TAnalyzer& a, const TCliOptions& options, std::ostream& err);
    // Puts the output in place, then prints its peak level, a warning when that is above 0 dBFS
    // and one for each channel never set (one line each). False after one line naming the file and
    // the reason (the previous file kept).
    bool commit(const TCliOptions& options, std::ostream& err);

private:
    std::unique_ptr<TWaveFileSink> sink;
    TRenderResult result;
};
