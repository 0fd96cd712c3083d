// The yardstick every speed figure is reported against: one FFTW 8192-point complex forward
// transform (estimating planner), measured in the same run as the benchmark it measures.
#include <benchmark/benchmark.h>

#include <cmath>
#include <fftw3.h>

static void BM_FFTYardstick(benchmark::State& state) {
    const int n = 8192;
    fftw_complex* in = fftw_alloc_complex(n);
    fftw_complex* out = fftw_alloc_complex(n);
    const fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    for (int i = 0; i < n; ++i) {
        in[i][0] = std::sin(0.01 * i);
        in[i][1] = 0;
    }
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out[0][0]);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}
BENCHMARK(BM_FFTYardstick);
