#include "dsp/TrackAlignment.h"

#include "dsp/RealFFT.h"

#include <algorithm>
#include <cmath>

int coarseLag(const float* pickup, const float* mic, std::int64_t count, int maxLag) {
    int n = 2;
    while (n < count + maxLag)
        n *= 2;
    TRealFFT p(n), m(n);
    std::fill(p.real(), p.real() + n, 0.0);
    std::fill(m.real(), m.real() + n, 0.0);
    std::copy(pickup, pickup + count, p.real());
    std::copy(mic, mic + count, m.real());
    p.forward();
    m.forward();
    Complex* g = p.spectrum();
    for (int k = 0; k <= n / 2; ++k) {
        const Complex a = g[k], b = m.spectrum()[k];
        const Complex c = {a.re * b.re + a.im * b.im, a.re * b.im - a.im * b.re}; // conj(a) * b
        // A softened phase transform: all bins count nearly alike, the strongest a little more.
        const double size = std::pow(c.re * c.re + c.im * c.im, 0.4);
        g[k] = size > 0 ? Complex{c.re / size, c.im / size} : Complex{};
    }
    p.backward();
    const double* c = p.real();
    int best = 0;
    for (int lag = -maxLag; lag <= maxLag; ++lag)
        if (std::fabs(c[(lag + n) % n]) > std::fabs(c[(best + n) % n]))
            best = lag;
    return best;
}

double relativeLag(const std::vector<Complex>& reference, const std::vector<Complex>& later, int rate) {
    const int bins = static_cast<int>(reference.size());
    const int n = 2 * (bins - 1);
    TRealFFT fft(n);
    Complex* g = fft.spectrum();
    for (int k = 0; k < bins; ++k) {
        const Complex a = reference[k], b = later[k];
        const Complex c = {a.re * b.re + a.im * b.im, a.re * b.im - a.im * b.re}; // conj(a) * b
        const double size = std::pow(c.re * c.re + c.im * c.im, 0.4);
        const bool inBand = static_cast<double>(k) * rate / n < 8000;
        g[k] = size > 0 && inBand ? Complex{c.re / size, c.im / size} : Complex{};
    }
    fft.backward();
    const double* c = fft.real();
    const auto at = [&](int lag) { return c[(lag + n) % n]; };
    int peak = 0;
    for (int lag = -n / 4; lag < n / 4; ++lag)
        if (at(lag) > at(peak))
            peak = lag;
    const double before = at(peak - 1), here = at(peak), after = at(peak + 1);
    const double curve = before - 2 * here + after;
    return peak + (curve < 0 ? std::clamp(0.5 * (before - after) / curve, -0.5, 0.5) : 0.0);
}

double fitDriftPpm(const std::vector<TLagPoint>& points, int rate) {
    double w = 0, t = 0, l = 0;
    int used = 0;
    double first = 1e300, last = -1e300;
    for (const TLagPoint& p : points) {
        if (p.weight <= 0)
            continue;
        ++used;
        w += p.weight;
        t += p.weight * p.seconds;
        l += p.weight * p.lagSamples;
        first = std::min(first, p.seconds);
        last = std::max(last, p.seconds);
    }
    if (used < 3 || last - first < 10)
        return 0;
    t /= w;
    l /= w;
    double tt = 0, tl = 0;
    for (const TLagPoint& p : points) {
        if (p.weight <= 0)
            continue;
        tt += p.weight * (p.seconds - t) * (p.seconds - t);
        tl += p.weight * (p.seconds - t) * (p.lagSamples - l);
    }
    return tl / tt / rate * 1e6; // samples per second over samples per second
}
