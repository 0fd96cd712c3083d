// Proves that an analysis run allocates nothing: replaces the global allocation functions of this
// test binary with counting ones (kept apart from the other tests for that reason).
#include "dsp/Analyzer.h"
#include "dsp/SyntheticGuitar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

// The replacements below pair operator new with free by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
bool counting = false;
long allocations = 0;

void* countedAlloc(std::size_t size, std::size_t alignment) {
    if (counting)
        ++allocations;
    if (size == 0)
        size = 1;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    return p;
}
} // namespace

void* operator new(std::size_t size) {
    if (void* p = countedAlloc(size, alignof(std::max_align_t)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t al) {
    if (void* p = countedAlloc(size, static_cast<std::size_t>(al)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t al) {
    return operator new(size, al);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return countedAlloc(size, alignof(std::max_align_t));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedAlloc(size, alignof(std::max_align_t));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace {

TEST(AnalysisAllocation, CounterSeesAnAllocation) {
    allocations = 0;
    counting = true;
    void* volatile p = ::operator new(64);
    counting = false;
    ::operator delete(p);
    EXPECT_EQ(allocations, 1);
}

TEST(AnalysisAllocation, RunAllocatesNothing) {
    auto a = testing_dsp::guitar();
    a->delayMic = 28;
    allocations = 0;
    counting = true;
    a->computeResponses();
    a->useMinPhase = true;
    a->computeResponses();
    a->enablePickup = false;
    a->computeResponses();
    a->resampleToPlot(a->binDb.data(), a->micDb.data());
    a->setChannel(0);
    counting = false;
    EXPECT_EQ(allocations, 0);
}

} // namespace
