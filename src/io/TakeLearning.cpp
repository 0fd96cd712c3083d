#include "io/TakeLearning.h"

#include "dsp/Analyzer.h"

TFileResult probeTake(const std::string& path, TRecordingInfo& info) {
    TRecordingReader reader;
    TFileResult r = reader.open(path);
    if (r.ok)
        info = reader.info();
    return r;
}

TFileResult learnTake(const TTakeSource& source, TLearnedTake& result, const TLearnProgress&,
                      const TLearnCancel&) {
    result = {};
    result.source = source;
    return fileError("Learning is not built yet");
}

void applyLearnedTake(const TLearnedTake& take, TAnalyzer& a) {
    for (int i = 0; i < blockLength; ++i)
        a.irData[i] = {take.transfer.response[i], i == 0 ? 1.0 : 0.0};
    a.setFs(take.transfer.rate);
    a.delayMic = 0;
    a.delayPickup = 0;
    a.enablePickup = true;
}

std::string learnReport(const TLearnedTake&) {
    return {};
}
