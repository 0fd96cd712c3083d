// Proves that the output half of playback allocates nothing and takes no lock while the filling half
// runs beside it: replaces the allocation functions and pthread_mutex_lock of this binary with ones
// that count on the output's thread (kept apart from the other tests for that reason).
#include "audio/PlaybackFeed.h"
#include "audio/PlaybackFile.h"
#include "support/AllocationHooks.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

static thread_local bool counting = false;
static long allocations = 0, locks = 0;
static constexpr int takeFrames = 96000;
static constexpr float indexScale = 1.0f / 131072; // frame i's left sample is i * indexScale, exactly

void* testAllocate(std::size_t size, std::size_t alignment) {
    allocations += counting;
    return allocateAligned(size, alignment);
}
void testFree(void* p) {
    std::free(p);
}
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
    static const auto lock =
        reinterpret_cast<int (*)(pthread_mutex_t*)>(::dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    locks += counting;
    return lock(mutex);
}

// A take whose left side counts the frames and whose right side is `name`; notes where it is destroyed.
struct TCountingTake : TPlaybackFile {
    TCountingTake(const std::string& path, float name, std::thread::id* gone)
        : TPlaybackFile(path), gone(gone) {
        std::vector<float> input(takeFrames), stereo(2 * takeFrames, name);
        for (int i = 0; i < takeFrames; ++i)
            stereo[2 * static_cast<size_t>(i)] = static_cast<float>(i) * indexScale;
        EXPECT_TRUE(begin(48000, takeFrames).ok && write(input.data(), stereo.data(), takeFrames).ok);
    }
    ~TCountingTake() override { *gone = std::this_thread::get_id(); }
    std::thread::id* gone;
};

// Pulls a take to its end, seeking once and replacing the take once on the way: each frame handed
// out follows the one before (or is the seek's), and nothing is allocated or locked.
TEST(PlaybackFeedAllocation, OutputHalfAllocatesNothingAndTakesNoLock) {
    {
        std::mutex mutex; // first, the counters see an allocation and a lock
        counting = true;
        void* volatile p = ::operator new(64);
        const std::lock_guard guard(mutex);
        counting = false;
        ::operator delete(p);
        ASSERT_TRUE(allocations == 1 && locks == 1);
        allocations = locks = 0;
    }
    std::thread::id firstGone, secondGone;
    auto first = std::make_shared<TCountingTake>(::testing::TempDir() + "/1.raw", 0.25f, &firstGone);
    auto second = std::make_shared<TCountingTake>(::testing::TempDir() + "/2.raw", 0.5f, &secondGone);
    TPlaybackFeed feed;
    feed.start(first, 1, 4096, 480);
    std::atomic<bool> quit{false};
    std::thread filler([&] {
        while (!quit)
            feed.fill(), std::this_thread::yield();
    });
    std::vector<float> out(2 * 480);
    std::int64_t expected = 0, wrong = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!feed.ended() && std::chrono::steady_clock::now() < until) {
        counting = true;
        const int n = feed.pull(out.data(), 480, TOutputFormat::float32);
        counting = false;
        for (int i = 0; i < n; ++i, ++expected)
            wrong += std::lround(out[2 * static_cast<size_t>(i)] / indexScale) != expected;
        if (expected >= 20000 && expected < 50000)
            feed.seek(expected = 50000);
        else if (expected >= 60000 && first)
            feed.setTake(second, 1), first.reset();
    }
    quit = true;
    const std::thread::id fillerId = filler.get_id();
    filler.join();
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(locks, 0);
    EXPECT_EQ(wrong, 0) << "frames out of order";
    EXPECT_EQ(feed.position(), takeFrames);
    EXPECT_EQ(firstGone, fillerId) << "the replaced take was released elsewhere";
    EXPECT_EQ(out[2 * 479 + 1], 0.5f) << "the second take was never heard";
}
