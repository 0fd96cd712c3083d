// Learning from a take: the transfer estimate alone (no file reading) over a minute of a 48 kHz
// stereo take held in memory as interleaved floats, fed in the blocks the take reader uses.
#include "dsp/TransferEstimate.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

static void BM_LearnTake(benchmark::State& state) {
    const int rate = 48000;
    const std::int64_t frames = 60LL * rate;
    std::vector<float> take(static_cast<std::size_t>(2 * frames));
    std::mt19937 engine(1);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    float previous = 0;
    for (std::int64_t i = 0; i < frames; ++i) {
        const float x = noise(engine);
        take[2 * i] = x;
        take[2 * i + 1] = 0.5f * x + 0.4f * previous; // a simple transfer to the mic
        previous = x;
    }
    for (auto _ : state) {
        TTransferEstimate estimate(rate, true);
        for (std::int64_t start = 0; start < frames; start += 8192) {
            const std::int64_t n = std::min<std::int64_t>(8192, frames - start);
            estimate.add(take.data() + 2 * start, take.data() + 2 * start + 1, n, 2);
        }
        const TTransferResult r = estimate.finish();
        benchmark::DoNotOptimize(r.response[0]);
    }
}
BENCHMARK(BM_LearnTake)->Unit(benchmark::kMillisecond);
