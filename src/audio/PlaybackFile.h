// TPlaybackFile: a rendering kept for listening. As a render sink it stores every frame of the
// corrected stereo signal with the input (pickup) sample beside it in a scratch file of its own
// (12 bytes a frame: 10 minutes at 48 kHz take about 350 MB of disk and no memory), and afterwards
// hands out any stretch of frames, from any thread, for playback.
#pragma once

#include "io/Renderer.h"

#include <cstdint>
#include <string>

class TPlaybackFile : public TRenderSink {
public:
    // path: the scratch file, created by begin(), removed by the destructor.
    explicit TPlaybackFile(std::string path);
    ~TPlaybackFile() override;

    TFileResult begin(int rate, std::int64_t frames) override;
    TFileResult write(const float* input, const float* stereo, int frames) override;
    TFileResult commit() override;
    void abandon() override;

    // After commit: the input's rate (Hz) and frame count.
    int rate() const { return sampleRate; }
    std::int64_t frames() const { return frameCount; }

    // Reads frames first .. first + count - 1 into `frames`, 3 * count values: corrected left,
    // corrected right and pickup of each frame in turn. Frames past the end, or any a failing read
    // cannot deliver, are silence. Allocates nothing; safe to call from several threads at once.
    void read(std::int64_t first, int count, float* frames) const;

private:
    std::string path;
    int fd = -1;
    int sampleRate = 0;
    std::int64_t frameCount = 0;
    std::int64_t written = 0;
};
