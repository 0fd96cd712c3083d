// TBackgroundSink: passes a rendering on to another sink whose writes run on a thread of their own,
// so that the next block renders while the last one goes to the file. Its commit is held for
// later: the batch tool puts the rendering in place only after its other outputs are written.
#pragma once

#include "io/Renderer.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class TBackgroundSink : public TRenderSink {
public:
    explicit TBackgroundSink(TRenderSink& sink);
    // Waits for the write under way.
    ~TBackgroundSink() override;

    // On the caller's thread.
    TFileResult begin(int rate, std::int64_t frames) override;
    // Copies the block and hands it to the writing thread once that is done with the one before
    // (one block waits at most); returns the failure of an earlier write, if any.
    TFileResult write(const float* input, const float* stereo, int frames) override;
    // Waits for every write; their outcome. The sink's own commit is not called.
    TFileResult commit() override;
    // Waits for the write under way, then abandons the sink.
    void abandon() override;

private:
    void writeLoop();
    TFileResult waitIdle();

    TRenderSink& sink;
    std::mutex lock;
    std::condition_variable changed;
    bool queued = false; // a block waits in `input` and `stereo`, or is being written
    bool stopping = false;
    TFileResult failure; // of the first write that failed
    std::vector<float> input, stereo;
    int frames = 0;
    std::thread writer;
};
