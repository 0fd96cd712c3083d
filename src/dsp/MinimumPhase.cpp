#include "dsp/MinimumPhase.h"

#include "dsp/RealFFT.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int minTransform = 65536;
constexpr double floorBelowPeak = 1e-5; // -100 dB

int transformLength(std::size_t irLength, int length) {
    const std::size_t longer = std::max<std::size_t>(irLength, static_cast<std::size_t>(length));
    int n = minTransform;
    while (static_cast<std::size_t>(n) < 8 * longer)
        n *= 2;
    return n;
}

// The work of one call: a transform of n points and the spectra it passes between steps.
class TMinimumPhase {
public:
    explicit TMinimumPhase(int n) : n(n), bins(n / 2 + 1), fft(n) {}

    // The power spectrum of `x` (zero-padded).
    std::vector<double> power(std::span<const double> x) {
        std::fill(fft.real(), fft.real() + n, 0.0);
        std::copy(x.begin(), x.end(), fft.real());
        fft.forward();
        std::vector<double> p(bins);
        for (int k = 0; k < bins; ++k)
            p[k] = fft.spectrum()[k].re * fft.spectrum()[k].re + fft.spectrum()[k].im * fft.spectrum()[k].im;
        return p;
    }

    // `p` convolved with the transform of a Gaussian lag window falling to 1/e at `lag`: its
    // autocorrelation windowed. The window's transform is positive, so the result stays positive up
    // to rounding.
    std::vector<double> smooth(const std::vector<double>& p, double lag) {
        Complex* s = fft.spectrum();
        double* x = fft.real();
        for (int k = 0; k < bins; ++k)
            s[k] = {p[k], 0.0};
        fft.backward();
        for (int t = 0; t <= n / 2; ++t) {
            const double w = std::exp(-0.5 * (t / lag) * (t / lag)) / n;
            x[t] *= w;
            if (t > 0 && t < n / 2)
                x[n - t] *= w;
        }
        fft.forward();
        std::vector<double> out(bins);
        for (int k = 0; k < bins; ++k)
            out[k] = s[k].re;
        return out;
    }

    // The first `length` samples of the minimum-phase response with power spectrum `p`, each
    // value floored at `floorPower`.
    std::vector<double> response(const std::vector<double>& p, double floorPower, int length) {
        Complex* s = fft.spectrum();
        double* x = fft.real();
        // Real cepstrum of the log magnitude (n times), folded onto positive quefrencies.
        for (int k = 0; k < bins; ++k)
            s[k] = {0.5 * std::log(std::max(p[k], floorPower)), 0.0};
        fft.backward();
        for (int t = 1; t < n / 2; ++t) {
            x[t] *= 2.0 / n;
            x[n - t] = 0;
        }
        x[0] /= n;
        x[n / 2] /= n;
        // Back to a spectrum, its exponential, and the response.
        fft.forward();
        for (int k = 0; k < bins; ++k) {
            const double m = std::exp(s[k].re) / n;
            s[k] = {m * std::cos(s[k].im), m * std::sin(s[k].im)};
        }
        fft.backward();
        return {x, x + std::min(n, length)};
    }

private:
    int n;
    int bins;
    TRealFFT fft;
};

} // namespace

void fadeOutSamples(std::span<double> ir, int samples) {
    const int n = static_cast<int>(ir.size());
    samples = std::clamp(samples, 0, n);
    for (int i = 0; i < samples; ++i)
        ir[n - samples + i] *= 0.5 * (1 + std::cos(M_PI * (i + 1) / (samples + 1)));
}

std::vector<double> minimumPhaseResponse(std::span<const double> ir, const TMinimumPhaseOptions& options) {
    const int length = std::max(options.length, 0);
    std::vector<double> out(static_cast<std::size_t>(length));
    if (length == 0)
        return out;
    TMinimumPhase work(transformLength(ir.size(), length));
    const std::vector<double> power = work.power(ir);
    const double peak = *std::max_element(power.begin(), power.end());
    if (!(peak > 0) || !std::isfinite(peak))
        return out;
    const double floorPower = peak * floorBelowPeak * floorBelowPeak;

    const std::vector<double> target =
        options.holdFraction > 0 ? work.smooth(power, options.holdFraction * length) : power;
    out = work.response(target, floorPower, length);
    out.resize(static_cast<std::size_t>(length));
    fadeOutSamples(out, options.fadeSamples);
    return out;
}
