// What finish() finds in the sums: the transfer without its bulk delay, its reliability, and the
// faults of the take.
#include "dsp/TransferEstimateState.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int N = blockLength;
constexpr int analysisBins = N / 2 + 1;
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

double norm(const Complex& z) {
    return z.re * z.re + z.im * z.im;
}

double coherenceOf(double spp, double smm, const Complex& spm) {
    return spp > 0 && smm > 0 ? std::min(1.0, norm(spm) / (spp * smm)) : 0.0;
}

// The normalised autocorrelation of a periodic Hann window at lag x (a fraction of its length):
// the share of a transfer delayed by x segments that the averaged cross-spectrum keeps.
double hannOverlap(double x) {
    x = std::min(1.0, std::fabs(x));
    return (1 - x) * (2 + std::cos(2 * M_PI * x)) / 3 + std::sin(2 * M_PI * x) / (2 * M_PI);
}

// The exact centre of third-octave band b (its nominal centre is thirdBandCentres[b]).
double thirdCentre(int b) {
    return 1000 * std::pow(2.0, (b - 17) / 3.0);
}

// The variance of the learned curve at analysis bin k is divided by this much by the analysis'
// time window of k's band: the sum of the window's squares over the block length.
double smoothingFactor(int k) {
    for (const TAnalysisBand& band : analysisBands) {
        if (k >= band.firstBin && k < band.endBin) {
            const double d2 = band.decay * band.decay;
            return band.decay == 1 ? 1.0 : d2 * (1 - std::pow(d2, N)) / (1 - d2) / N;
        }
    }
    return 1;
}

// The bulk delay in samples from the sums at the analysis' bins: where the envelope of the phase
// transform of their cross-spectrum peaks, each bin weighted by its coherence so that bins of noise
// do not drown the peak. The phase transform keeps the direct sound's arrival sharp whatever the
// body and the room add; its envelope (the magnitude of its analytic signal) merges the lobes of
// either sign that a transfer's arrival can hold into one. `sign` is the sign of the transform at
// the arrival, `largestLag` where the envelope is largest.
// `reversed`: the delay of the pickup behind the mic instead.
double bulkDelay(const TSpectrumSums& g, int rate, double& sign, int& largestLag, bool reversed = false) {
    TRealFFT real(N), quadrature(N);
    for (int k = 0; k < analysisBins; ++k) {
        const double a = std::sqrt(norm(g.spm[k]));
        const double c = a > 0 ? coherenceOf(g.spp[k], g.smm[k], g.spm[k]) / a : 0.0;
        const Complex z = {g.spm[k].re, reversed ? -g.spm[k].im : g.spm[k].im};
        real.spectrum()[k] = {z.re * c, z.im * c};
        quadrature.spectrum()[k] = {z.im * c, -z.re * c}; // times -i
    }
    real.backward();
    quadrature.backward();
    const auto envelope = [&](int lag) {
        const int i = (lag % N + N) % N;
        return std::hypot(real.real()[i], quadrature.real()[i]);
    };
    int largest = 0;
    for (int lag = -N / 2; lag < N / 2; ++lag)
        if (envelope(lag) > envelope(largest))
            largest = lag;
    largestLag = largest;
    // The direct sound: the first peak within 30 ms before the largest that reaches half of it (in
    // a reverberant room the largest can come later).
    int first = largest;
    for (int lag = largest - static_cast<int>(0.030 * rate); lag < largest; ++lag) {
        const double v = envelope(lag);
        if (v >= 0.5 * envelope(largest) && v >= envelope(lag - 1) && v >= envelope(lag + 1)) {
            first = lag;
            break;
        }
    }
    // The centre of the envelope's energy within a millisecond of it, the window moved onto each
    // new centre until it settles: lobes close together count by their size whichever of them the
    // search met first, so the arrival moves smoothly with the transfer and its noise.
    const int window = rate / 1000;
    double centre = first;
    for (int step = 0; step < 16; ++step) {
        const int from = static_cast<int>(std::lround(centre));
        double sum = 0, weight = 0;
        for (int lag = from - window; lag <= from + window; ++lag) {
            const double e = envelope(lag) * envelope(lag);
            sum += e * lag;
            weight += e;
        }
        const double next = weight > 0 ? sum / weight : centre;
        const bool settled = std::fabs(next - centre) < 0.01;
        centre = next;
        if (settled)
            break;
    }
    const int near = static_cast<int>(std::lround(centre));
    sign = real.real()[(near % N + N) % N] < 0 ? -1 : 1;
    return centre;
}

// The level of the loud group's transfer over the quiet group's in the octave band (125 Hz ..
// 4 kHz) where they differ most, dB: the mean over the band's bins of their ratio in dB, each bin
// weighted alike for both groups, by how well the weaker of them excites it and the coherence of
// both there.
double levelDifference(const TTransferEstimate::TState& s) {
    const TSpectrumSums& l = s.loud;
    const TSpectrumSums& q = s.quiet;
    double loudTotal = 0, quietTotal = 0;
    for (int k = 1; k < binCount; ++k) {
        loudTotal += l.spp[k];
        quietTotal += q.spp[k];
    }
    if (!(loudTotal > 0 && quietTotal > 0))
        return 0;
    double largest = 0;
    for (int b = 1; b <= 6; ++b) {
        const double low = octaveBandCentres[b] / std::sqrt(2.0),
                     high = octaveBandCentres[b] * std::sqrt(2.0);
        double sum = 0, weight = 0;
        for (int k = 1; k < binCount; ++k) {
            const double f = static_cast<double>(k) * s.rate / N;
            if (f < low || f >= high ||
                !(l.spp[k] > 0 && q.spp[k] > 0 && norm(l.spm[k]) > 0 && norm(q.spm[k]) > 0))
                continue;
            const double w = std::min(l.spp[k] / loudTotal, q.spp[k] / quietTotal) *
                             coherenceOf(l.spp[k], l.smm[k], l.spm[k]) *
                             coherenceOf(q.spp[k], q.smm[k], q.spm[k]);
            // |H_loud|^2 / |H_quiet|^2
            sum +=
                w * 10 *
                std::log10(norm(l.spm[k]) / (l.spp[k] * l.spp[k]) / (norm(q.spm[k]) / (q.spp[k] * q.spp[k])));
            weight += w;
        }
        if (weight > 0 && std::fabs(sum / weight) > std::fabs(largest))
            largest = sum / weight;
    }
    return largest;
}

// Per analysis bin, the relative variance of the learned magnitude: (1 - c) / (2 n c), with c the
// coherence and n the power-weighted number of averages (Spp summed, squared, over the sum of its
// squares: segments that hardly excite the bin hardly count).
void relativeVariance(const TSpectrumSums& g, const std::array<double, binCount>& coherence,
                      std::vector<double>& variance) {
    variance.assign(analysisBins, 0.0);
    for (int k = 0; k < binCount; ++k) {
        const double n = g.spp2[k] > 0 ? g.spp[k] * g.spp[k] / g.spp2[k] : 0;
        const double c = std::max(coherence[k], 1e-6);
        variance[k] = n > 0 ? (1 - c) / (2 * n * c) : 1e6;
    }
}

void findReliability(const TSpectrumSums& g, const std::vector<double>& variance, TTransferResult& r) {
    for (int b = 0; b < thirdBandCount; ++b) {
        const double low = thirdCentre(b) / std::pow(2.0, 1.0 / 6),
                     high = thirdCentre(b) * std::pow(2.0, 1.0 / 6);
        double sum = 0, weight = 0;
        int bins = 0;
        for (int k = std::max(1, static_cast<int>(low * N / r.rate)); k < binCount; ++k) {
            const double f = static_cast<double>(k) * r.rate / N;
            if (f >= high)
                break;
            if (f < low)
                continue;
            ++bins;
            sum += g.spp[k] * variance[k] * smoothingFactor(k);
            weight += g.spp[k];
        }
        r.bandErrorDb[b] = high > 0.45 * r.rate || bins == 0 ? notANumber
                           : weight > 0                      ? 20 / std::log(10.0) * std::sqrt(sum / weight)
                                                             : std::numeric_limits<double>::infinity();
    }
    // The longest run of reliable bands.
    int bestFirst = -1, bestLength = 0;
    for (int b = 0; b < thirdBandCount;) {
        if (!(r.bandErrorDb[b] <= TTransferEstimate::reliableLimitDb)) {
            ++b;
            continue;
        }
        int e = b;
        while (e < thirdBandCount && r.bandErrorDb[e] <= TTransferEstimate::reliableLimitDb)
            ++e;
        if (e - b > bestLength) {
            bestFirst = b;
            bestLength = e - b;
        }
        b = e;
    }
    if (bestFirst >= 0) {
        r.reliableLowHz = thirdBandCentres[bestFirst];
        r.reliableHighHz = thirdBandCentres[bestFirst + bestLength - 1];
    }
    r.weakestErrorDb = -1;
    for (int b = 0; b < thirdBandCount; ++b) {
        if (thirdBandCentres[b] < 100 || thirdBandCentres[b] > r.goodHighHz())
            continue;
        const double e =
            std::isnan(r.bandErrorDb[b]) ? std::numeric_limits<double>::infinity() : r.bandErrorDb[b];
        if (e > r.weakestErrorDb) {
            r.weakestErrorDb = e;
            r.weakestHz = thirdBandCentres[b];
        }
    }
}

// The strongest reflection 2..20 ms after the direct sound: the cepstrum of the learned log
// magnitude over the reliable range (Hann-tapered, its mean removed), scaled so that a single
// reflection of relative level a shows as a.
void findReflection(const std::vector<Complex>& h, TTransferResult& r) {
    if (r.reliableHighHz < 8 * r.reliableLowHz)
        return;
    const int first = std::max(1, static_cast<int>(r.reliableLowHz / std::pow(2.0, 1.0 / 6) * N / r.rate));
    const int last =
        std::min(binCount - 1, static_cast<int>(r.reliableHighHz * std::pow(2.0, 1.0 / 6) * N / r.rate));
    double mean = 0;
    for (int k = first; k <= last; ++k)
        mean += std::log(std::sqrt(norm(h[k])) + 1e-30) / (last - first + 1);
    TRealFFT cosines(N), sines(N);
    double taperSum = 0;
    for (int k = 0; k <= N / 2; ++k) {
        double v = 0;
        if (k >= first && k <= last) {
            const double taper = 0.5 - 0.5 * std::cos(2 * M_PI * (k - first + 0.5) / (last - first + 1));
            v = taper * (std::log(std::sqrt(norm(h[k])) + 1e-30) - mean);
            taperSum += taper;
        }
        cosines.spectrum()[k] = {v, 0};
        sines.spectrum()[k] = {0, -v};
    }
    cosines.backward();
    sines.backward();
    const int from = static_cast<int>(0.002 * r.rate), to = std::min(N / 2, static_cast<int>(0.020 * r.rate));
    for (int q = from; q <= to; ++q) {
        // backward() gives twice the real and imaginary parts of the one-sided sum.
        const double a = 0.5 * std::hypot(cosines.real()[q], sines.real()[q]) / (taperSum / 2);
        if (a > r.reflectionGain) {
            r.reflectionGain = a;
            r.reflectionSeconds = static_cast<double>(q) / r.rate;
        }
    }
    if (r.reflectionGain < TTransferEstimate::reflectionLimit)
        r.reflectionGain = r.reflectionSeconds = 0;
}

// The weight of bin k in the band that judges the arrival's sign and the room: nothing below
// 100 Hz, a cos^2 ramp to 1 at 200 Hz, 1 up to 8 kHz, a ramp to nothing at 12 kHz (a body's and a
// preamp's low ringing and the noise above are no part of either).
double judgingBand(int k, int rate) {
    const double f = static_cast<double>(k) * rate / N;
    const auto ramp = [](double x) {
        return x <= 0 ? 0.0 : x >= 1 ? 1.0 : std::pow(std::sin(M_PI / 2 * x), 2);
    };
    return ramp((f - 100) / 100) * ramp((12000 - f) / 4000);
}

// The response limited to the judging band.
std::vector<double> judgedResponse(const std::vector<Complex>& h, int rate) {
    TRealFFT inverse(N);
    for (int k = 0; k <= N / 2; ++k) {
        const double w = judgingBand(k, rate) / N;
        inverse.spectrum()[k] = {h[k].re * w, h[k].im * w};
    }
    inverse.backward();
    return std::vector<double>(inverse.real(), inverse.real() + N);
}

// The response's energy from 50 to 100 ms after its arrival relative to all of it, less the share
// the random error spreads over those samples. (Later samples hold what wrapped around from before
// the arrival.)
void findTail(const std::vector<Complex>& h, const std::vector<double>& variance,
              const std::vector<double>& judged, TTransferResult& r) {
    const int from = TTransferEstimate::arrivalSample + static_cast<int>(0.050 * r.rate);
    const int to = std::min(N / 2, TTransferEstimate::arrivalSample + static_cast<int>(0.100 * r.rate));
    double total = 0, late = 0, noise = 0;
    for (int t = 0; t < N; ++t) {
        total += judged[t] * judged[t];
        if (t >= from && t < to)
            late += judged[t] * judged[t];
    }
    for (int k = 1; k < binCount; ++k) // the complex error's variance is twice the magnitude's
        noise += 2 * 2 * variance[k] * norm(h[k]) * std::pow(judgingBand(k, r.rate), 2);
    noise = noise / (static_cast<double>(N) * N) * (to - from);
    r.tailDb = 10 * std::log10(std::max(late - noise, 1e-20 * total) / std::max(total, 1e-300));
    r.reverberant = r.tailDb >= TTransferEstimate::tailLimitDb;
}

} // namespace

double TTransferResult::goodHighHz() const {
    double high = 0;
    for (int b = 0; b < thirdBandCount && thirdBandCentres[b] <= 8000; ++b)
        if (thirdCentre(b) * std::pow(2.0, 1.0 / 6) <= 0.45 * rate)
            high = thirdBandCentres[b];
    return high;
}

void findTransfer(const TTransferEstimate::TState& s, TTransferResult& r) {
    // Level dependence first: when the loudest playing distorts, the rest is learned from.
    if (s.loud.segments >= 2 && s.quiet.segments >= 2) {
        r.levelDifferenceDb = levelDifference(s);
        r.distorts = std::fabs(r.levelDifferenceDb) >= TTransferEstimate::distortionLimitDb;
    }
    TSpectrumSums used = s.all;
    if (r.distorts)
        used.subtract(s.loud);

    double sign = 1;
    int largest = 0;
    const double lag = bulkDelay(s.all, s.rate, sign, largest);
    r.lagSeconds = lag / s.rate;
    // Both the arrival and the envelope's largest peak before the pickup: a stray early peak in a
    // noisy take is no swap.
    const double limit = -TTransferEstimate::swapLimitSeconds * s.rate;
    r.swapped = lag < limit && largest < limit;
    if (r.swapped) // how far the mic is ahead, measured as it would be with the channels swapped back
        r.lagSeconds = -bulkDelay(s.all, s.rate, sign, largest, true) / s.rate;
    (void)sign;
    r.shiftSamples = lag - TTransferEstimate::arrivalSample;

    // The estimate at the analysis' bins with the bulk delay taken out, and the coherence there.
    std::vector<Complex> h(analysisBins);
    const double keep = 1 / std::max(hannOverlap(lag / s.L), 0.05);
    for (int k = 0; k < analysisBins; ++k) {
        const double p = used.spp[k];
        const Complex c = used.spm[k];
        if (k < binCount)
            r.coherence[k] = coherenceOf(p, used.smm[k], c);
        if (!(p > 0))
            continue;
        const double phase = 2 * M_PI * k * r.shiftSamples / N;
        const double cs = std::cos(phase), sn = std::sin(phase);
        h[k] = {(c.re * cs - c.im * sn) / p * keep, (c.re * sn + c.im * cs) / p * keep};
    }
    h[N / 2].im = 0;
    TRealFFT inverse(N);
    std::copy(h.begin(), h.end(), inverse.spectrum());
    inverse.backward();
    for (int i = 0; i < N; ++i)
        r.response[i] = inverse.real()[i] / N;
    // The main arrival's sign: the response in the judging band summed over a millisecond either
    // side of the arrival under a Hann window, so that lobes of either sign close together count
    // by their area.
    const std::vector<double> judged = judgedResponse(h, s.rate);
    const int window = s.rate / 1000;
    double area = 0;
    for (int t = -window; t <= window; ++t)
        area += judged[(TTransferEstimate::arrivalSample + t + N) % N] *
                (0.5 + 0.5 * std::cos(M_PI * t / window));
    r.polarityInverted = area < 0;

    for (int b = 0; b < octaveBandCount; ++b) {
        const double low = octaveBandCentres[b] / std::sqrt(2.0),
                     high = octaveBandCentres[b] * std::sqrt(2.0);
        double sum = 0;
        int bins = 0;
        for (int k = 1; k < binCount; ++k) {
            const double f = static_cast<double>(k) * s.rate / N;
            if (f >= low && f < high) {
                sum += r.coherence[k];
                ++bins;
            }
        }
        r.bandCoherence[b] = bins > 0 ? sum / bins : notANumber;
    }

    std::vector<double> variance;
    relativeVariance(used, r.coherence, variance);
    findReliability(used, variance, r);
    findReflection(h, r);
    findTail(h, variance, judged, r);
}
