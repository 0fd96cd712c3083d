#include "dsp/IrResampling.h"

#include "dsp/WindowedSinc.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int zeroCrossings = 64;  // of the kernel, each side
constexpr double kaiserBeta = 9.0; // about 90 dB of stop-band attenuation
constexpr double passFraction = 0.95;
constexpr int tableSteps = 512; // kernel values per zero crossing; linear between them

} // namespace

std::vector<double> resampleImpulseResponse(std::span<const double> ir, int fromRate, int toRate) {
    if (fromRate == toRate)
        return {ir.begin(), ir.end()};
    const std::int64_t n = static_cast<std::int64_t>(ir.size());
    const std::int64_t outLength = (n * toRate + fromRate - 1) / fromRate;
    std::vector<double> out(static_cast<std::size_t>(outLength));

    // The kernel in units of input samples: cut-off fc (cycles per input sample), zero crossings
    // 1 / (2 fc) apart, as a table over its right half.
    const double fc = 0.5 * passFraction * std::min(1.0, static_cast<double>(toRate) / fromRate);
    const double halfWidth = zeroCrossings / (2 * fc);
    const int tableLength = zeroCrossings * tableSteps + 2;
    std::vector<double> table(tableLength);
    const double i0Beta = besselI0(kaiserBeta);
    for (int i = 0; i < tableLength; ++i) {
        const double r = static_cast<double>(i) / (zeroCrossings * tableSteps); // 0 .. 1 of the half width
        table[i] = kaiserSinc(r * halfWidth, fc, halfWidth, kaiserBeta, i0Beta);
    }
    const double tableScale = zeroCrossings * tableSteps / halfWidth;
    const double gain = static_cast<double>(fromRate) / toRate;

    for (std::int64_t m = 0; m < outLength; ++m) {
        const double x = static_cast<double>(m) * fromRate / toRate; // position in input samples
        const std::int64_t first =
            std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(x - halfWidth)));
        const std::int64_t last =
            std::min<std::int64_t>(n - 1, static_cast<std::int64_t>(std::floor(x + halfWidth)));
        double sum = 0;
        for (std::int64_t k = first; k <= last; ++k) {
            const double t = std::abs(x - static_cast<double>(k)) * tableScale;
            const int i = static_cast<int>(t);
            if (i + 1 >= tableLength)
                continue;
            const double f = t - i;
            sum += ir[static_cast<std::size_t>(k)] * (table[i] + f * (table[i + 1] - table[i]));
        }
        out[static_cast<std::size_t>(m)] = gain * sum;
    }
    return out;
}
