// The yardstick every other figure is divided by: one FFTW complex forward transform of 8192 points
// with an FFTW_ESTIMATE plan on fftw_malloc buffers, and nothing else. It stays exactly this,
// whatever the analysis's own engine does, so that multiples from different runs and machines can
// be compared.
#include <benchmark/benchmark.h>

#include <fftw3.h>

namespace {

void BM_FFTYardstick(benchmark::State& state) {
    constexpr int n = 8192;
    fftw_complex* in = fftw_alloc_complex(n);
    fftw_complex* out = fftw_alloc_complex(n);
    const fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    for (int i = 0; i < n; ++i) {
        in[i][0] = (i % 17) * 0.125 - 1.0;
        in[i][1] = (i % 5) * 0.25 - 0.5;
    }
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out[0][0]);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}
BENCHMARK(BM_FFTYardstick)->Unit(benchmark::kMicrosecond);

} // namespace
