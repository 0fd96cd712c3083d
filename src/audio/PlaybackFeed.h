// TPlaybackFeed: the way from a rendered take to the audio output, in two halves that never wait
// for each other. The filling half (fill, on a normal-priority thread) reads the take from its
// scratch file and queues its frames in a ring; the output half (pull, on the time-critical audio
// thread) takes them from the ring, crossfades between the corrected signal and the pickup (the A/B
// switch) and converts them to the output's samples. Everything the output half touches is sized
// by start(): it never allocates, locks, waits or reads a file. A take replaced while playing is
// released by the filling half.
// Threads: start, finish, setTake and seek belong to one thread (the window's); fill to one
// filling thread and pull to one output thread, both only between start and finish.
#pragma once

#include "audio/RingBuffer.h"
#include "dsp/ABMixer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TPlaybackFile;

enum class TOutputFormat { float32, int16 }; // interleaved stereo, native byte order

class TPlaybackFeed {
public:
    TPlaybackFeed();
    ~TPlaybackFeed();
    TPlaybackFeed(const TPlaybackFeed&) = delete;
    TPlaybackFeed& operator=(const TPlaybackFeed&) = delete;

    // Before either half runs: plays `take` (pickup scaled by `gain`) from position(). The ring holds
    // ringFrames frames and one pull hands out at most blockFrames; memory is allocated here (again
    // only when a size grows).
    void start(std::shared_ptr<const TPlaybackFile> take, float gain, int ringFrames, int blockFrames);
    // After both halves ended: releases the take and empties the ring; position() stays.
    void finish();

    // What plays next, from the frames queued after the ones already in the ring (which play out
    // first). Also while stopped, where start() decides.
    void setTake(std::shared_ptr<const TPlaybackFile> take, float gain);
    // Moves the position; the output half drops what was queued before.
    void seek(std::int64_t frame);
    // The next frame to be played: the one after the last handed out, or a seek not yet heard.
    std::int64_t position() const;

    // Filling half: tops the ring up from the take, fillBlock frames a read. Allocates nothing.
    // False when all of the take is queued (nothing to do before the next seek or take).
    bool fill();
    static constexpr int fillBlock = 2048;

    // Output half: up to `frames` (at most blockFrames) frames of the selected source, converted
    // into `out`; returns how many. Fewer when the ring runs short (none when it is empty).
    int pull(void* out, int frames, TOutputFormat format);
    // Output half: true once the take's last frame was handed out.
    bool ended() const;

    TABMixer& mixer() { return abMixer; }

private:
    // One frame on its way out: the take's frame `index` (corrected left and right, the bare pickup),
    // the gain of its take's pickup and the seek it was queued after.
    struct TFrame {
        float left, right, pickup, gain;
        std::int64_t index;
        std::uint32_t seek;
    };

    void queue(std::int64_t count);

    std::unique_ptr<TRingBuffer<TFrame>> ring;
    TABMixer abMixer{1};

    // Window's thread and filling half.
    std::mutex lock; // guards pending, pendingGain and changed
    std::shared_ptr<const TPlaybackFile> pending;
    float pendingGain = 1;
    bool changed = false;

    // Window's thread (writes) and both halves.
    std::atomic<std::int64_t> seekTo{0};
    std::atomic<std::uint32_t> seeks{0}; // counts the seeks

    // Filling half.
    std::shared_ptr<const TPlaybackFile> take;
    float gain = 1;
    std::int64_t next = 0;     // the next frame to queue
    std::uint32_t queuing = 0; // the seek being queued after
    std::vector<float> readBlock;
    std::vector<TFrame> frameBlock;
    std::atomic<std::int64_t> queuedAll{-1}; // the seek whose frames are queued to the take's end

    // Output half.
    std::vector<TFrame> taken;
    std::vector<float> corrected, pickup, mixed;
    int blockFrames = 0;
    std::atomic<std::int64_t> played{0}; // the frame after the last one handed out
    std::atomic<std::uint32_t> heard{0}; // the seek `played` belongs to
};
