// Proves that rendering streams: replaces the global allocation functions of this test binary
// with ones that track the bytes in use (kept apart from the other tests for that reason), and
// renders a recording far larger than what the rendering may hold at once.
#include "io/IoTestSupport.h"
#include "io/RenderTestSupport.h"
#include "io/Renderer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <malloc.h>
#include <new>

// The replacements below pair operator new with free by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::size_t inUse = 0;
std::size_t mostInUse = 0;

void* trackedAlloc(std::size_t size, std::size_t alignment) {
    if (size == 0)
        size = 1;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (p) {
        inUse += ::malloc_usable_size(p);
        mostInUse = std::max(mostInUse, inUse);
    }
    return p;
}

void trackedFree(void* p) {
    if (p)
        inUse -= ::malloc_usable_size(p);
    std::free(p);
}
} // namespace

void* operator new(std::size_t size) {
    if (void* p = trackedAlloc(size, alignof(std::max_align_t)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t al) {
    if (void* p = trackedAlloc(size, static_cast<std::size_t>(al)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t al) {
    return operator new(size, al);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return trackedAlloc(size, alignof(std::max_align_t));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return trackedAlloc(size, alignof(std::max_align_t));
}
void operator delete(void* p) noexcept {
    trackedFree(p);
}
void operator delete[](void* p) noexcept {
    trackedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    trackedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    trackedFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    trackedFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    trackedFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    trackedFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    trackedFree(p);
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
