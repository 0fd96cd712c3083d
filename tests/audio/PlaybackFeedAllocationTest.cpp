// Proves that the output half of playback allocates nothing and takes no lock while the filling half
// runs beside it: replaces the global allocation functions and pthread_mutex_lock of this test
// binary with ones that count on the output's thread (kept apart from the other tests for that).
#include "audio/PlaybackFeed.h"
#include "audio/PlaybackFile.h"
#include "support/AllocationHooks.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace {
thread_local bool counting = false;
long allocations = 0;
long locks = 0;
} // namespace

void* testAllocate(std::size_t size, std::size_t alignment) {
    allocations += counting;
    return allocateAligned(size, alignment);
}

void testFree(void* p) {
    std::free(p);
}

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
    using TLock = int (*)(pthread_mutex_t*);
    static const TLock lock = reinterpret_cast<TLock>(::dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    locks += counting;
    return lock(mutex);
}

namespace {

constexpr int takeFrames = 96000;
constexpr float indexScale = 1.0f / 131072; // frame i's left sample is i * indexScale, exactly

// A take whose left side counts the frames and whose right side names the take; it notes the
// thread it is destroyed on.
class TCountingTake : public TPlaybackFile {
public:
    TCountingTake(const std::string& path, float name, std::thread::id* destroyedOn)
        : TPlaybackFile(path), destroyedOn(destroyedOn) {
        std::vector<float> input(takeFrames, 0.0f), stereo(2 * takeFrames);
        for (int i = 0; i < takeFrames; ++i) {
            stereo[2 * static_cast<size_t>(i)] = static_cast<float>(i) * indexScale;
            stereo[2 * static_cast<size_t>(i) + 1] = name;
        }
        EXPECT_TRUE(begin(48000, takeFrames).ok && write(input.data(), stereo.data(), takeFrames).ok && commit().ok);
    }
    ~TCountingTake() override { *destroyedOn = std::this_thread::get_id(); }

private:
    std::thread::id* destroyedOn;
};

TEST(PlaybackFeedAllocation, CountersSeeAnAllocationAndALock) {
    std::mutex mutex;
    allocations = locks = 0;
    counting = true;
    void* volatile p = ::operator new(64);
    mutex.lock();
    counting = false;
    mutex.unlock();
    ::operator delete(p);
    EXPECT_EQ(allocations, 1);
    EXPECT_EQ(locks, 1);
}

// Pulls a take to its end, seeking once and replacing the take once on the way: every frame handed
// out follows the one before (or is the seek's), and nothing is allocated or locked.
TEST(PlaybackFeedAllocation, OutputHalfAllocatesNothingAndTakesNoLock) {
    const std::string dir = ::testing::TempDir();
    std::thread::id firstGone, secondGone;
    auto first = std::make_shared<TCountingTake>(dir + "/feed-1.raw", 0.25f, &firstGone);
    auto second = std::make_shared<TCountingTake>(dir + "/feed-2.raw", 0.5f, &secondGone);
    TPlaybackFeed feed;
    feed.start(first, 1, 4096, 480);
    std::atomic<bool> quit{false};
    std::thread filler([&] {
        while (!quit) {
            feed.fill();
            ::usleep(200);
        }
    });
    const std::thread::id fillerId = filler.get_id();

    std::vector<float> out(2 * 480);
    std::int64_t expected = 0;
    bool replaced = false;
    allocations = locks = 0;
    for (int pulls = 0; !feed.ended() && pulls < 10000000; ++pulls) {
        counting = true;
        const int n = feed.pull(out.data(), 480, TOutputFormat::float32);
        counting = false;
        if (expected == 20000) {
            feed.seek(expected = 50000);
        } else if (expected >= 60000 && !replaced) {
            feed.setTake(second, 1);
            first.reset();
            replaced = true;
        }
        for (int i = 0; i < n; ++i, ++expected)
            ASSERT_EQ(std::lround(out[2 * static_cast<size_t>(i)] / indexScale), expected);
    }
    quit = true;
    filler.join();
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(locks, 0);
    EXPECT_EQ(feed.position(), takeFrames);
    EXPECT_EQ(firstGone, fillerId) << "the replaced take was released elsewhere";
    EXPECT_EQ(out[2 * 479 + 1], 0.5f) << "the second take was never heard";
}

} // namespace
