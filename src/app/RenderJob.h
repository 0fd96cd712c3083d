// TRenderJob: one rendering run on a thread of its own, so the window stays responsive. The
// window polls it (progress, finished) from its own thread; nothing is called back across threads.
#pragma once

#include "io/Renderer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class TRenderJob {
public:
    // Starts `work` at once on a new thread with options whose progress and cancel callbacks
    // feed progress() and cancel().
    explicit TRenderJob(std::function<TRenderResult(const TRenderOptions&)> work);
    // Cancels the rendering and waits for the thread.
    ~TRenderJob();
    TRenderJob(const TRenderJob&) = delete;
    TRenderJob& operator=(const TRenderJob&) = delete;

    // Asks the rendering to stop between blocks; it then ends cancelled, its output abandoned.
    void cancel() { cancelled = true; }
    // Fraction done, 0 .. 1.
    double progress() const { return done; }
    bool finished() const { return over; }
    // The outcome; valid once finished() is true.
    const TRenderResult& result() const { return outcome; }

private:
    std::atomic<bool> cancelled{false};
    std::atomic<double> done{0};
    std::atomic<bool> over{false};
    TRenderResult outcome;
    std::thread thread;
};
