#include "app/RenderJob.h"

TRenderJob::TRenderJob(std::function<TRenderResult(const TRenderOptions&)> work) {
    thread = std::thread([this, work = std::move(work)] {
        TRenderOptions options;
        options.progress = [this](double fraction) { done = fraction; };
        options.cancel = [this] { return cancelled.load(); };
        outcome = work(options);
        over = true;
    });
}

TRenderJob::~TRenderJob() {
    cancel();
    thread.join();
}
