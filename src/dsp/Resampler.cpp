#include "dsp/Resampler.h"

#include "dsp/WindowedSinc.h"

#include <algorithm>
#include <cmath>

TResampler::TResampler(double s) : step(s), table(static_cast<std::size_t>((phases + 1) * 2 * halfTaps)) {
    constexpr double cutoff = 0.47; // of the input rate
    constexpr double beta = 9;
    const double norm = besselI0(beta);
    for (int p = 0; p <= phases; ++p) {
        const double fraction = static_cast<double>(p) / phases;
        for (int j = 0; j < 2 * halfTaps; ++j) {
            // Tap j weighs input sample floor(t) - halfTaps + 1 + j, at distance x from t.
            const double x = (j - halfTaps + 1) - fraction;
            table[static_cast<std::size_t>(p * 2 * halfTaps + j)] =
                static_cast<float>(kaiserSinc(x, cutoff, halfTaps, beta, norm));
        }
    }
}

void TResampler::push(const float* x, std::int64_t count) {
    // Drop what no output to come needs.
    const std::int64_t needed = static_cast<std::int64_t>(std::floor(produced * step)) - halfTaps;
    if (needed - inputStart > 65536) {
        input.erase(input.begin(), input.begin() + (needed - inputStart));
        inputStart = needed;
    }
    input.insert(input.end(), x, x + count);
    inputEnd += count;
}

std::int64_t TResampler::pull(float* out, std::int64_t max) {
    std::int64_t n = 0;
    for (; n < max; ++n) {
        const double t = static_cast<double>(produced) * step;
        const std::int64_t whole = static_cast<std::int64_t>(std::floor(t));
        if (!finished && whole + halfTaps >= inputEnd)
            break;
        if (finished && whole >= inputEnd)
            break;
        const double position = (t - static_cast<double>(whole)) * phases;
        const int p = std::min(phases - 1, static_cast<int>(position));
        const double f = position - p;
        const float* a = table.data() + static_cast<std::ptrdiff_t>(p) * 2 * halfTaps;
        const float* b = a + 2 * halfTaps;
        double sum = 0;
        for (int j = 0; j < 2 * halfTaps; ++j) {
            const std::int64_t i = whole - halfTaps + 1 + j;
            if (i < inputStart || i >= inputEnd)
                continue;
            const double tap = a[j] + f * (b[j] - a[j]);
            sum += tap * input[static_cast<std::size_t>(i - inputStart)];
        }
        out[n] = static_cast<float>(sum);
        ++produced;
    }
    return n;
}
