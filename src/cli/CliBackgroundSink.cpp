#include "cli/CliBackgroundSink.h"

TBackgroundSink::TBackgroundSink(TRenderSink& sink) : sink(sink) {}

TBackgroundSink::~TBackgroundSink() {
    {
        const std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    changed.notify_all();
    if (writer.joinable())
        writer.join();
}

TFileResult TBackgroundSink::begin(int rate, std::int64_t frameCount) {
    TFileResult r = sink.begin(rate, frameCount);
    if (r.ok && !writer.joinable())
        writer = std::thread(&TBackgroundSink::writeLoop, this);
    return r;
}

TFileResult TBackgroundSink::write(const float* in, const float* out, int count) {
    if (TFileResult r = waitIdle(); !r.ok)
        return r;
    // The writing thread is idle: the buffers are this thread's until the block is queued.
    input.assign(in, in + count);
    stereo.assign(out, out + 2 * static_cast<size_t>(count));
    frames = count;
    {
        const std::lock_guard<std::mutex> hold(lock);
        queued = true;
    }
    changed.notify_all();
    return {};
}

TFileResult TBackgroundSink::commit() {
    return waitIdle();
}

void TBackgroundSink::abandon() {
    waitIdle();
    sink.abandon();
}

TFileResult TBackgroundSink::waitIdle() {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [this] { return !queued; });
    return failure;
}

void TBackgroundSink::writeLoop() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        changed.wait(hold, [this] { return queued || stopping; });
        if (!queued)
            return;
        hold.unlock();
        TFileResult r = failure.ok ? sink.write(input.data(), stereo.data(), frames) : TFileResult{};
        hold.lock();
        if (failure.ok)
            failure = r;
        queued = false;
        changed.notify_all();
    }
}
