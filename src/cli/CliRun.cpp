#include "cli/CliRun.h"

#include "base/CFormat.h"
#include "cli/CliLearn.h"
#include "cli/CliRender.h"
#include "dsp/Analyzer.h"
#include "dsp/ChannelNotes.h"
#include "io/BodyDataFile.h"
#include "io/IrExport.h"
#include "io/ProjectFile.h"
#include "io/SafeWriter.h"
#include "io/SampleRates.h"
#include "io/WaveReader.h"

#include <iostream>
#include <memory>
#include <ostream>

namespace {

// The message as one line: each line break with the blanks around it becomes one blank.
std::string oneLine(const std::string& message) {
    std::string out;
    bool afterBreak = false;
    for (const char c : message) {
        if (c == '\n' || c == '\r') {
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            afterBreak = true;
        } else if (!(afterBreak && c == ' ')) {
            if (afterBreak)
                out += ' ';
            afterBreak = false;
            out += c;
        }
    }
    return out;
}

// Reports a failed read on one line. A message that names the file in quotes (one that could not
// be opened, a rejected project file) stands alone; otherwise the quoted path and the window's
// caption go before it.
bool reportRead(const TFileResult& r, const std::string& path, const char* caption, std::ostream& err) {
    if (r.ok)
        return true;
    err << "body-analyzer-cli: ";
    if (r.message.find("\"" + path + "\"") == std::string::npos)
        err << "\"" << path << "\": " << caption << ": ";
    err << oneLine(r.message) << "\n";
    return false;
}

bool reportWrite(const TFileResult& r, std::ostream& err) {
    if (!r.ok)
        err << "body-analyzer-cli: " << r.message << "\n";
    return r.ok;
}

void appendG17(std::string& out, double v) {
    char text[40];
    formatC(text, sizeof text, "%.17g", v);
    out += text;
}

} // namespace

std::string curvesCsv(const TAnalyzer& a) {
    std::string out = "freq_hz,mic_db,pickup_db,filter_db\n";
    for (int i = 0; i < plotPoints; ++i) {
        for (const double v : {a.plotFreq[i], a.micDb[i], a.pickupDb[i]}) {
            appendG17(out, v);
            out += ',';
        }
        appendG17(out, a.filterDb[i]);
        out += '\n';
    }
    return out;
}

std::string impulseResponseCsv(const TAnalyzer& a) {
    std::string out = "sample,filter_ir\n";
    for (int i = 0; i < blockLength; ++i) {
        out += std::to_string(i);
        out += ',';
        appendG17(out, a.filterIr[i]);
        out += '\n';
    }
    return out;
}

int runCli(const TCliOptions& o, std::ostream& err) {
    return runCli(o, std::cout, err);
}

int runCli(const TCliOptions& o, std::ostream& out, std::ostream& err) {
    auto a = std::make_unique<TAnalyzer>();

    // Inputs, in their fixed order; a failure stops before anything is written.
    if (!o.openProject.empty() &&
        !reportRead(readProject(*a, o.openProject), o.openProject, "Project file error", err))
        return 1;
    // As in the window, fs follows the response loaded last; a pair of two rates is said once.
    std::int32_t micRate = o.openProject.empty() ? 0 : a->fs;
    std::int32_t pickupRate = micRate;
    if (!o.mic.empty()) {
        if (!reportRead(readWave(*a, 0, o.mic), o.mic, waveErrorCaption, err))
            return 1;
        micRate = a->fs;
    }
    if (!o.pickup.empty()) {
        if (!reportRead(readWave(*a, 1, o.pickup), o.pickup, waveErrorCaption, err))
            return 1;
        pickupRate = a->fs;
    }
    if (const std::string note = sampleRateNote(micRate, pickupRate, a->fs); !note.empty())
        err << "body-analyzer-cli: " << note << "\n";
    if (o.learns() && !learnForCli(o, *a, out, err))
        return 1;
    if (!o.renderInput.empty() && !checkRenderInputCli(o, err))
        return 1;

    a->delayMic = o.delayMic;
    a->delayPickup = o.delayPickup;
    a->alpha = static_cast<int>(o.alpha);
    a->beta = static_cast<int>(o.beta);
    a->useMinPhase = o.clean;
    a->gainDb = o.gainDb;
    if (o.blendGiven || o.openProject.empty())
        a->blend = o.blend; // otherwise the project's
    a->fHelm = o.helmholtz;
    a->fFirstBody = o.firstBody;
    a->fMin = o.fMin;
    a->fMax = o.fMax;
    a->dbRange = o.dbRange;
    if (o.noPickup) {
        a->setUnitImpulse(1);
        a->delayPickup = 0;
        a->enablePickup = false;
    }

    if (o.wantsAnalysis()) {
        a->analysisReady = true;
        a->computeResponses();
        if (a->micSilent)
            err << "body-analyzer-cli: the mic response is silent\n";
        if (a->pickupSilent && a->enablePickup)
            err << "body-analyzer-cli: the pickup response is silent\n";
        if (o.setLeft)
            a->setChannel(0);
        if (o.setRight)
            a->setChannel(1);
    }

    // The whole render input is read before any output is replaced.
    TCliRendering rendering;
    if (!o.renderOutput.empty() && !rendering.render(*a, o, err))
        return 1;
    if (!o.saveProject.empty() && !reportWrite(writeProject(*a, o.saveProject), err))
        return 1;
    if (!o.exportSmd.empty()) {
        // Written all the same, as the window's "Export anyway" does; the user hears why first.
        for (int c = 0; c < channelCount; ++c)
            if (const std::string w = channelExportWarning(*a, c); !w.empty())
                err << "body-analyzer-cli: warning: " << w << "\n";
        if (!reportWrite(writeBodyData(*a, o.name, o.exportSmd), err))
            return 1;
    }
    if (!o.curvesCsv.empty() && !reportWrite(writeFileSafely(o.curvesCsv, curvesCsv(*a)), err))
        return 1;
    if (!o.irCsv.empty() && !reportWrite(writeFileSafely(o.irCsv, impulseResponseCsv(*a)), err))
        return 1;
    if (!o.ir.file.empty()) {
        const TIrExportResult r = exportImpulseResponse(*a, o.ir.settings, o.ir.file);
        if (!reportWrite(r.file, err))
            return 1;
        err << r.summary << "\n";
    }
    if (o.wantsPlots()) {
        std::string error;
        if (!writePlots(*a, o, error)) {
            err << "body-analyzer-cli: " << error << "\n";
            return 1;
        }
    }
    if (!o.renderOutput.empty() && !rendering.commit(o, err))
        return 1;
    return 0;
}
