// Learning from a take: the transfer estimate alone (no file reading) over a minute of a 48 kHz
// stereo take held in memory as interleaved floats, fed in the blocks the take reader uses; and
// the whole of learning from the same minute as a 24-bit WAVE file (both passes over the file,
// the levels, the estimate and its findings).
#include "dsp/TransferEstimate.h"
#include "io/TakeLearning.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int rate = 48000;
constexpr std::int64_t frames = 60LL * rate;

// The minute of pickup and mic, interleaved: noise, and the mic a simple transfer of it.
const std::vector<float>& minute() {
    static const std::vector<float> take = [] {
        std::vector<float> t(static_cast<std::size_t>(2 * frames));
        std::mt19937 engine(1);
        std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
        float previous = 0;
        for (std::int64_t i = 0; i < frames; ++i) {
            const float x = noise(engine);
            t[2 * i] = x;
            t[2 * i + 1] = 0.5f * x + 0.4f * previous; // a simple transfer to the mic
            previous = x;
        }
        return t;
    }();
    return take;
}

} // namespace

static void BM_LearnTake(benchmark::State& state) {
    const std::vector<float>& take = minute();
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

static void BM_LearnTakeFile(benchmark::State& state) {
    const std::string path = "/tmp/body-analyzer-bench-take-" + std::to_string(getpid()) + ".wav";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr || sf_writef_float(f, minute().data(), frames) != frames) {
        state.SkipWithError("cannot write the take");
        return;
    }
    sf_close(f);
    TTakeSource source;
    source.take = path;
    for (auto _ : state) {
        TLearnedTake learned;
        if (!learnTake(source, learned).ok)
            state.SkipWithError("learning failed");
        benchmark::DoNotOptimize(learned.transfer.response[0]);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_LearnTakeFile)->Unit(benchmark::kMillisecond);
