// Learning from a take as a background job (TBackgroundJob), for the dialogs that learn: the
// Learn dialog and the Record dialog after Stop. Window's thread only.
#pragma once

#include "app/BackgroundJob.h"
#include "io/TakeLearning.h"

#include <functional>
#include <memory>
#include <utility>

// What one run of the learning gives.
struct TLearnRun {
    TLearnedTake take;
    TFileResult outcome;
};
using TLearnJob = TBackgroundJob<TLearnRun>;

// Starts learning from `source` (as the batch tool's --learn does). `finished` gets the run once
// it is over, on the window's thread, if `receiver` still exists; work that threw (out of memory)
// comes as a failure "Learning failed: ...". Destroying the job cancels the learning.
inline std::unique_ptr<TLearnJob> startLearning(TTakeSource source, QObject* receiver,
                                                std::function<void(TLearnRun run)> finished) {
    return std::make_unique<TLearnJob>(
        [source = std::move(source)](const TLearnProgress& progress, const TLearnCancel& cancel) {
            TLearnRun run;
            run.outcome = learnTake(source, run.take, progress, cancel);
            return run;
        },
        receiver,
        [finished = std::move(finished)](TJobOutcome<TLearnRun> outcome) {
            if (!outcome.result)
                outcome.result = TLearnRun{{}, fileError("Learning failed: " + outcome.error)};
            finished(std::move(*outcome.result));
        });
}
