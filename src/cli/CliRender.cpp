#include "cli/CliRender.h"

#include "base/CFormat.h"
#include "cli/CliBackgroundSink.h"
#include "cli/CliOptions.h"
#include "io/Renderer.h"

#include <ostream>
#include <string>

namespace {

bool report(const TFileResult& r, std::ostream& err) {
    if (r.ok)
        return true;
    std::string line = r.message;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    err << "body-analyzer-cli: " << line << "\n";
    return false;
}

} // namespace

bool checkRenderInputCli(const TCliOptions& o, std::ostream& err) {
    return report(checkRenderInput(o.renderInput, o.renderChannel), err);
}

bool TCliRendering::render(const TAnalyzer& a, const TCliOptions& o, std::ostream& err) {
    TRenderOptions options;
    options.channel = o.renderChannel;
    sink = std::make_unique<TWaveFileSink>(o.renderOutput);
    TBackgroundSink held(*sink);
    result = renderRecording(TRenderFilters::fromAnalyzer(a), o.renderInput, held, options);
    return report(result.file, err);
}

bool TCliRendering::commit(const TCliOptions& o, std::ostream& err) {
    if (!report(sink->commit(), err))
        return false;
    const TRenderResult& r = result;
    const std::string out = "\"" + o.renderOutput + "\"";
    if (r.peak > 0) {
        char level[40];
        formatC(level, sizeof level, "%.2f", r.peakDbfs);
        err << "Peak level of " << out << ": " << level << " dBFS\n";
    } else {
        err << "Peak level of " << out << ": silence\n";
    }
    if (r.overFullScale())
        err << "Warning: the peak of " << out << " is above 0 dBFS; lower the gain so it does not clip\n";
    const char* names[channelCount] = {"Left", "Right"};
    for (int c = 0; c < channelCount; ++c)
        if (!r.channelSet[c])
            err << "Warning: the " << names[c] << " channel was never set; it is silent in " << out << "\n";
    if (const std::string note = rateMismatchNote(r, o.renderInput); !note.empty())
        err << "Warning: " << note << "\n";
    return true;
}
