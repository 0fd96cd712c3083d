#include "audio/PlaybackFeed.h"

#include "audio/PlaybackFile.h"

#include <algorithm>
#include <cmath>

TPlaybackFeed::TPlaybackFeed() = default;
TPlaybackFeed::~TPlaybackFeed() = default;

void TPlaybackFeed::start(std::shared_ptr<const TPlaybackFile> first, float firstGain, int ringFrames,
                          int outputBlock) {
    if (!ring || ring->capacity() < static_cast<std::size_t>(ringFrames))
        ring = std::make_unique<TRingBuffer<TFrame>>(static_cast<std::size_t>(ringFrames));
    ring->reset();
    readBlock.resize(3 * static_cast<std::size_t>(fillBlock));
    frameBlock.resize(fillBlock);
    blockFrames = std::max(outputBlock, 1);
    taken.resize(static_cast<std::size_t>(blockFrames));
    corrected.resize(2 * static_cast<std::size_t>(blockFrames));
    pickup.resize(static_cast<std::size_t>(blockFrames));
    mixed.resize(2 * static_cast<std::size_t>(blockFrames));
    {
        std::lock_guard guard(lock);
        changed = false;
        pending.reset();
    }
    take = std::move(first);
    gain = firstGain;
    abMixer.setPickupGain(gain);
    const std::int64_t from = position();
    queuing = seeks.load();
    next = from;
    queuedAll = -1;
    played = from;
    heard.store(queuing, std::memory_order_release);
}

void TPlaybackFeed::finish() {
    take.reset();
    if (ring)
        ring->reset();
}

void TPlaybackFeed::setTake(std::shared_ptr<const TPlaybackFile> replacement, float replacementGain) {
    std::shared_ptr<const TPlaybackFile> old;
    std::lock_guard guard(lock);
    old = std::exchange(pending, std::move(replacement));
    pendingGain = replacementGain;
    changed = true;
}

void TPlaybackFeed::seek(std::int64_t frame) {
    seekTo = frame;
    seeks.fetch_add(1, std::memory_order_acq_rel);
}

std::int64_t TPlaybackFeed::position() const {
    if (heard.load(std::memory_order_acquire) != seeks.load(std::memory_order_acquire))
        return seekTo.load();
    return played.load();
}

bool TPlaybackFeed::fill() {
    std::shared_ptr<const TPlaybackFile> retired;
    {
        std::lock_guard guard(lock);
        if (changed) {
            retired = std::exchange(take, std::move(pending));
            gain = pendingGain;
            changed = false;
        }
    }
    retired.reset(); // the last reference may close and delete a scratch file: here, not on the output
    if (const std::uint32_t s = seeks.load(std::memory_order_acquire); s != queuing) {
        queuing = s;
        next = seekTo.load();
    }
    const std::int64_t end = take ? take->frames() : 0;
    while (next < end) {
        const std::int64_t room = static_cast<std::int64_t>(ring->writable());
        if (room == 0)
            return true;
        queue(std::min({room, end - next, static_cast<std::int64_t>(fillBlock)}));
    }
    queuedAll.store(queuing, std::memory_order_release);
    return false;
}

void TPlaybackFeed::queue(std::int64_t count) {
    const int n = static_cast<int>(count);
    take->read(next, n, readBlock.data());
    for (int i = 0; i < n; ++i) {
        const float* v = &readBlock[3 * static_cast<std::size_t>(i)];
        frameBlock[static_cast<std::size_t>(i)] = {v[0], v[1], v[2], gain, next + i, queuing};
    }
    ring->write(frameBlock.data(), static_cast<std::size_t>(n));
    next += n;
}

int TPlaybackFeed::pull(void* out, int frames, TOutputFormat format) {
    frames = std::clamp(frames, 0, blockFrames);
    const std::uint32_t want = seeks.load(std::memory_order_acquire);
    // Take frames until there are enough of the latest seek (the rest was queued before it).
    int n = 0;
    while (n < frames) {
        const int got = static_cast<int>(
            ring->read(&taken[static_cast<std::size_t>(n)], static_cast<std::size_t>(frames - n)));
        if (got == 0)
            break;
        const int end = n + got;
        for (int i = n; i < end; ++i)
            if (taken[static_cast<std::size_t>(i)].seek == want)
                taken[static_cast<std::size_t>(n++)] = taken[static_cast<std::size_t>(i)];
    }
    // Mix them, one run of frames of the same take (the same pickup gain) at a time.
    for (int a = 0; a < n;) {
        const float runGain = taken[static_cast<std::size_t>(a)].gain;
        int b = a;
        for (; b < n && taken[static_cast<std::size_t>(b)].gain == runGain; ++b) {
            const TFrame& f = taken[static_cast<std::size_t>(b)];
            corrected[2 * static_cast<std::size_t>(b)] = f.left;
            corrected[2 * static_cast<std::size_t>(b) + 1] = f.right;
            pickup[static_cast<std::size_t>(b)] = f.pickup;
        }
        abMixer.setPickupGain(runGain);
        abMixer.mix(&corrected[2 * static_cast<std::size_t>(a)], &pickup[static_cast<std::size_t>(a)], b - a,
                    &mixed[2 * static_cast<std::size_t>(a)]);
        a = b;
    }
    if (format == TOutputFormat::float32) {
        float* o = static_cast<float*>(out);
        for (int i = 0; i < 2 * n; ++i)
            o[i] = std::clamp(mixed[static_cast<std::size_t>(i)], -1.0f, 1.0f);
    } else {
        std::int16_t* o = static_cast<std::int16_t*>(out);
        for (int i = 0; i < 2 * n; ++i)
            o[i] = static_cast<std::int16_t>(
                std::lround(std::clamp(mixed[static_cast<std::size_t>(i)], -1.0f, 1.0f) * 32767.0f));
    }
    if (n > 0) {
        played = taken[static_cast<std::size_t>(n - 1)].index + 1;
        heard.store(want, std::memory_order_release);
    }
    return n;
}

bool TPlaybackFeed::ended() const {
    return queuedAll.load(std::memory_order_acquire) == seeks.load(std::memory_order_acquire) &&
           ring->readable() == 0;
}
