// Proves that rendering streams: replaces the global allocation functions of this test binary
// with ones that track the bytes in use (kept apart from the other tests for that reason), and
// renders a recording far larger than what the rendering may hold at once.
#include "io/IoTestSupport.h"
#include "io/RenderTestSupport.h"
#include "io/Renderer.h"
#include "support/AllocationHooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <malloc.h>

namespace {
std::size_t inUse = 0;
std::size_t mostInUse = 0;
} // namespace

void* testAllocate(std::size_t size, std::size_t alignment) {
    void* p = allocateAligned(size, alignment);
    if (p) {
        inUse += ::malloc_usable_size(p);
        mostInUse = std::max(mostInUse, inUse);
    }
    return p;
}

void testFree(void* p) {
    if (p)
        inUse -= ::malloc_usable_size(p);
    std::free(p);
}

namespace {

class RenderMemory : public TScratchDir {};

TEST_F(RenderMemory, ALongRecordingIsRenderedInBoundedMemory) {
    // 2 million frames: 8 MB as float input, 16 MB of stereo output.
    const std::size_t frames = 2'000'000;
    {
        std::vector<float> x = noise(frames, 1);
        writeRecording(path("long.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, x);
    }
    TRenderFilters filters;
    filters.ir[0] = decayingFilter(2);
    filters.ir[1] = decayingFilter(3);
    filters.set = {true, true};
    const std::size_t before = inUse;
    mostInUse = inUse;
    const TRenderResult r = renderToWave(filters, path("long.wav"), path("out.wav"));
    const std::size_t held = mostInUse - before;
    ASSERT_TRUE(r.file.ok) << r.file.message;
    EXPECT_EQ(r.frames, static_cast<std::int64_t>(frames));
    EXPECT_EQ(std::filesystem::file_size(path("out.wav")), 58 + 8 * frames);
    // The convolver's fixed 2 MB and a few blocks; FFTW's and libsndfile's own buffers come from
    // malloc and are not counted here (the batch tool's whole footprint is measured separately).
    EXPECT_LT(held, 3u << 20) << held;
}

} // namespace
