// Proves that an analysis run allocates nothing: replaces the global allocation functions of this
// test binary with counting ones (kept apart from the other tests for that reason).
#include "dsp/Analyzer.h"
#include "dsp/LiveConvolver.h"
#include "dsp/SyntheticGuitar.h"
#include "support/AllocationHooks.h"

#include <gtest/gtest.h>

namespace {
bool counting = false;
long allocations = 0;
} // namespace

void* testAllocate(std::size_t size, std::size_t alignment) {
    if (counting)
        ++allocations;
    return allocateAligned(size, alignment);
}

void testFree(void* p) {
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
    a->blend = 50;
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

TEST(AnalysisAllocation, LiveConvolutionAndAFilterChangeAllocateNothing) {
    std::vector<double> taps(TLiveConvolver::maxTaps, 0.001);
    TLiveConvolver c(taps, taps);
    std::vector<float> in(1000, 0.25f), out(2000);
    allocations = 0;
    counting = true;
    c.process(in.data(), out.data(), 1000);
    c.stage(taps, {});
    c.process(in.data(), out.data(), 1000);
    c.reset();
    counting = false;
    EXPECT_EQ(allocations, 0);
}

} // namespace
