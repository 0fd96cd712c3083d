// Analyzers built, run and destroyed in several threads at once (FFTW's planner is shared).
#include "dsp/Analyzer.h"
#include "dsp/SyntheticGuitar.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

TEST(AnalyzerThreads, AnalyzersBuiltAndRunInParallelGiveTheSameResultAsOne) {
    // No analyzer exists before the threads start, so they meet the planner in its first use.
    constexpr int threadCount = 4;
    constexpr int rounds = 4;
    std::vector<std::unique_ptr<TAnalyzer>> last(threadCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&last, i] {
            for (int round = 0; round < rounds; ++round) {
                last[i] = testing_dsp::guitar();
                last[i]->computeResponses();
            }
        });
    }
    for (std::thread& t : threads)
        t.join();

    auto reference = testing_dsp::guitar();
    reference->computeResponses();
    for (int i = 0; i < threadCount; ++i) {
        EXPECT_EQ(last[i]->filterIr, reference->filterIr) << "thread " << i;
        EXPECT_EQ(last[i]->filterDb, reference->filterDb) << "thread " << i;
    }
}
