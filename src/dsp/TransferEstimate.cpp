#include "dsp/TransferEstimate.h"

#include "dsp/RealFFT.h"
#include "base/CFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// A sample of this magnitude or more in an integer source is at full scale.
constexpr double fullScale = 32767.0 / 32768.0;
// Beyond this magnitude (or not finite) a sample of any source is broken, not playing.
constexpr double brokenScale = 1000.0;

double norm(const Complex& z) {
    return z.re * z.re + z.im * z.im;
}

} // namespace

int TTransferEstimate::segmentLength(int rate) {
    return blockLength * (rate >= 44100 ? 8 : rate >= 22050 ? 4 : 2);
}

struct TTransferEstimate::TState {
    int rate;
    bool integerSource;
    int L;            // segment length
    int hop;          // L / 2
    int spectrumBins; // L / 2 + 1
    // The current segment of both signals in two halves of `hop` samples: the older half starts
    // at olderBase, the newer one at the other half; `filled` samples of the segment are in.
    std::vector<double> pickup = std::vector<double>(static_cast<std::size_t>(L));
    std::vector<double> mic = std::vector<double>(static_cast<std::size_t>(L));
    int olderBase = 0;
    int filled = 0;
    std::array<double, 2> pickupEnergy{}, micEnergy{}; // sum of squares of the half at 0 and at hop
    std::int64_t lastClipped = -1;                     // index of the latest clipped sample fed, -1 for none
    std::vector<double> window = std::vector<double>(static_cast<std::size_t>(L));
    TRealFFT pickupFft{L};
    TRealFFT micFft{L};
    // Averages (sums) over the usable segments.
    std::vector<double> spp = std::vector<double>(static_cast<std::size_t>(spectrumBins));
    std::vector<double> smm = std::vector<double>(static_cast<std::size_t>(spectrumBins));
    std::vector<Complex> spm = std::vector<Complex>(static_cast<std::size_t>(spectrumBins));
    std::int64_t segments = 0;
    std::int64_t usableSamples = 0, silentSamples = 0, clippedSamples = 0;
    double loudestPickup = 0, loudestMic = 0; // highest segment RMS seen

    TState(int r, bool integer, int length)
        : rate(r), integerSource(integer), L(length), hop(length / 2), spectrumBins(length / 2 + 1) {
        // Periodic Hann: overlapping by half, the windows add up to a constant.
        for (int i = 0; i < L; ++i)
            window[i] = 0.5 - 0.5 * std::cos(2 * M_PI * i / L);
    }

    // Sum of squares of x[0..n-1] in four interleaved partial sums (n a multiple of 4).
    static double energy(const double* x, int n) {
        double e[4] = {0, 0, 0, 0};
        for (int i = 0; i < n; i += 4)
            for (int j = 0; j < 4; ++j)
                e[j] += x[i + j] * x[i + j];
        return (e[0] + e[1]) + (e[2] + e[3]);
    }
};

TTransferEstimate::TTransferEstimate(int rate, bool integerSource)
    : state(std::make_unique<TState>(rate, integerSource, segmentLength(rate))), length(segmentLength(rate)),
      hop(length / 2) {}

TTransferEstimate::~TTransferEstimate() = default;

void TTransferEstimate::add(const float* pickup, const float* mic, std::int64_t count, int stride) {
    addSamples(pickup, mic, count, stride);
}

void TTransferEstimate::add(const double* pickup, const double* mic, std::int64_t count, int stride) {
    addSamples(pickup, mic, count, stride);
}

template <typename T>
void TTransferEstimate::addSamples(const T* pickup, const T* mic, std::int64_t count, int stride) {
    TState& s = *state;
    for (std::int64_t i = 0; i < count;) {
        // Up to the end of the half being filled.
        const bool inOlder = s.filled < hop;
        const int base = inOlder ? s.olderBase + s.filled : (hop - s.olderBase) + (s.filled - hop);
        const std::int64_t n = std::min<std::int64_t>(count - i, (inOlder ? hop : s.L) - s.filled);
        double* p = s.pickup.data() + base;
        double* m = s.mic.data() + base;
        // A sample at or beyond `limit` (or not a number) is clipped; look for the last one only
        // when the block holds any.
        const double limit = s.integerSource ? fullScale : brokenScale;
        bool clipped = false;
        for (std::int64_t j = 0; j < n; ++j) {
            p[j] = pickup[(i + j) * stride];
            m[j] = mic[(i + j) * stride];
            clipped |= !(std::fabs(p[j]) < limit) | !(std::fabs(m[j]) < limit);
        }
        for (std::int64_t j = n - 1; clipped && j >= 0; --j) {
            if (!(std::fabs(p[j]) < limit) || !(std::fabs(m[j]) < limit)) {
                s.lastClipped = fed + j;
                break;
            }
        }
        s.filled += static_cast<int>(n);
        fed += n;
        i += n;
        if (s.filled == hop || s.filled == s.L) {
            // A half is complete.
            const int done = s.filled == hop ? s.olderBase : hop - s.olderBase;
            s.pickupEnergy[done == 0 ? 0 : 1] = TState::energy(s.pickup.data() + done, hop);
            s.micEnergy[done == 0 ? 0 : 1] = TState::energy(s.mic.data() + done, hop);
        }
        if (s.filled == s.L) {
            analyseSegment();
            s.olderBase = hop - s.olderBase; // the newer half becomes the older
            s.filled = hop;
        }
    }
}

void TTransferEstimate::analyseSegment() {
    TState& s = *state;
    const std::int64_t counted = s.segments == 0 ? s.L : hop;
    ++s.segments;

    const double pickupRms = std::sqrt((s.pickupEnergy[0] + s.pickupEnergy[1]) / s.L);
    const double micRms = std::sqrt((s.micEnergy[0] + s.micEnergy[1]) / s.L);
    s.loudestPickup = std::max(s.loudestPickup, pickupRms);
    s.loudestMic = std::max(s.loudestMic, micRms);
    const double silence = std::pow(10.0, silenceDbfs / 20);
    if (s.lastClipped >= fed - s.L) {
        s.clippedSamples += counted;
        return;
    }
    if (pickupRms < silence || micRms < silence) {
        s.silentSamples += counted;
        return;
    }
    s.usableSamples += counted;

    // Both halves in time order, windowed.
    double* x = s.pickupFft.real();
    double* y = s.micFft.real();
    const double* w = s.window.data();
    for (int half = 0; half < 2; ++half) {
        const int from = half == 0 ? s.olderBase : hop - s.olderBase;
        const double* p = s.pickup.data() + from;
        const double* m = s.mic.data() + from;
        const int to = half * hop;
        for (int i = 0; i < hop; ++i) {
            x[to + i] = p[i] * w[to + i];
            y[to + i] = m[i] * w[to + i];
        }
    }
    s.pickupFft.forward();
    s.micFft.forward();
    const Complex* ps = s.pickupFft.spectrum();
    const Complex* ms = s.micFft.spectrum();
    for (int k = 0; k < s.spectrumBins; ++k) {
        const Complex p = ps[k];
        const Complex m = ms[k];
        s.spp[k] += norm(p);
        s.smm[k] += norm(m);
        // conj(p) * m
        s.spm[k].re += p.re * m.re + p.im * m.im;
        s.spm[k].im += p.re * m.im - p.im * m.re;
    }
}

TTransferResult TTransferEstimate::finish() const {
    const TState& s = *state;
    TTransferResult r;
    r.rate = s.rate;
    r.usableSeconds = static_cast<double>(s.usableSamples) / s.rate;
    r.silentSeconds = static_cast<double>(s.silentSamples) / s.rate;
    r.clippedSeconds = static_cast<double>(s.clippedSamples) / s.rate;
    const double silence = std::pow(10.0, silenceDbfs / 20);
    if (s.segments > 0 && s.loudestPickup < silence)
        r.error = TTransferError::silentPickup;
    else if (s.segments > 0 && s.loudestMic < silence)
        r.error = TTransferError::silentMic;
    else if (r.usableSeconds < minUsableSeconds)
        r.error = TTransferError::tooLittle;
    if (!r.ok())
        return r;

    // The estimate at the analysis' bins (every second bin of the segment's transform) and the
    // coherence there.
    std::vector<Complex> h(blockLength / 2 + 1);
    for (int k = 0; k <= blockLength / 2; ++k) {
        const int q = (s.L / blockLength) * k;
        const double p = s.spp[q];
        const Complex c = s.spm[q];
        if (p > 0)
            h[k] = {c.re / p, c.im / p};
        if (k < binCount && p > 0 && s.smm[q] > 0)
            r.coherence[k] = std::min(1.0, norm(c) / (p * s.smm[q]));
    }
    TRealFFT inverse(blockLength);
    std::copy(h.begin(), h.end(), inverse.spectrum());
    inverse.backward();
    for (int i = 0; i < blockLength; ++i)
        r.response[i] = inverse.real()[i] / blockLength;

    for (int b = 0; b < octaveBandCount; ++b) {
        const double low = octaveBandCentres[b] / std::sqrt(2.0),
                     high = octaveBandCentres[b] * std::sqrt(2.0);
        double sum = 0;
        int bins = 0;
        for (int k = 1; k < binCount; ++k) {
            const double f = static_cast<double>(k) * s.rate / blockLength;
            if (f >= low && f < high) {
                sum += r.coherence[k];
                ++bins;
            }
        }
        r.bandCoherence[b] = bins > 0 ? sum / bins : std::numeric_limits<double>::quiet_NaN();
    }

    // Cross-correlation of mic and pickup by the phase transform of the averaged cross-spectrum,
    // each bin weighted by its coherence so that bins of noise do not drown the peak.
    TRealFFT lagFft(s.L);
    Complex* g = lagFft.spectrum();
    for (int k = 0; k < s.spectrumBins; ++k) {
        const double a = std::sqrt(norm(s.spm[k]));
        const double coherence = s.spp[k] > 0 && s.smm[k] > 0 ? norm(s.spm[k]) / (s.spp[k] * s.smm[k]) : 0;
        g[k] = a > 0 ? Complex{s.spm[k].re / a * coherence, s.spm[k].im / a * coherence} : Complex{};
    }
    lagFft.backward();
    const double* c = lagFft.real();
    const int peak = static_cast<int>(std::max_element(c, c + s.L) - c);
    r.lagSeconds = static_cast<double>(peak < s.L / 2 ? peak : peak - s.L) / s.rate;
    r.looksShifted = std::fabs(r.lagSeconds) > shiftLimitSeconds;

    // The verdict from the weakest band the analysis relies on (125 Hz .. 8 kHz).
    double weakest = 1;
    double weakestCentre = 0;
    for (int b = 1; b <= 7; ++b) {
        if (!std::isnan(r.bandCoherence[b]) && r.bandCoherence[b] < weakest) {
            weakest = r.bandCoherence[b];
            weakestCentre = octaveBandCentres[b];
        }
    }
    char text[200];
    if (weakest >= 0.9)
        formatC(text, sizeof text, "Good take: pickup and mic agree closely from 125 Hz to 8 kHz.");
    else if (weakest >= 0.6)
        formatC(text, sizeof text,
                "Fair take: the learned response is less certain around %g Hz (coherence %.2f); "
                "more varied playing would help.",
                weakestCentre, weakest);
    else
        formatC(text, sizeof text,
                "Poor take: pickup and mic agree little around %g Hz (coherence %.2f); check the "
                "channels and levels and record again.",
                weakestCentre, weakest);
    r.verdict = text;
    return r;
}
