#include "dsp/TransferEstimate.h"

#include "dsp/TransferEstimateState.h"

#include <algorithm>
#include <cmath>

namespace {

// Beyond this magnitude (or not finite) a sample of any source is broken, not playing.
constexpr double brokenScale = 1000.0;

double norm(const Complex& z) {
    return z.re * z.re + z.im * z.im;
}

// Sum of squares of x[0..n-1] in four interleaved partial sums (n a multiple of 4).
double energy(const double* x, int n) {
    double e[4] = {0, 0, 0, 0};
    for (int i = 0; i < n; i += 4)
        for (int j = 0; j < 4; ++j)
            e[j] += x[i + j] * x[i + j];
    return (e[0] + e[1]) + (e[2] + e[3]);
}

} // namespace

void TSpectrumSums::subtract(const TSpectrumSums& o) {
    for (std::size_t k = 0; k < spp.size(); ++k) {
        spp[k] = std::max(0.0, spp[k] - o.spp[k]);
        smm[k] = std::max(0.0, smm[k] - o.smm[k]);
        spm[k] = {spm[k].re - o.spm[k].re, spm[k].im - o.spm[k].im};
        spp2[k] = std::max(0.0, spp2[k] - o.spp2[k]);
    }
    segments -= o.segments;
}

int TTransferEstimate::segmentLength(int rate) {
    return blockLength * (rate >= 44100 ? 8 : rate >= 22050 ? 4 : 2);
}

TTransferEstimate::TState::TState(int r, const TTakeLevels& l, int length)
    : rate(r), levels(l), clipLevel{std::min(l.pickup.clipLevel(), brokenScale),
                                    std::min(l.mic.clipLevel(), brokenScale)},
      L(length), hop(length / 2), spectrumBins(length / 2 + 1), step(length / blockLength) {
    // Periodic Hann: overlapping by half, the windows add up to a constant.
    for (int i = 0; i < L; ++i)
        window[i] = 0.5 - 0.5 * std::cos(2 * M_PI * i / L);
}

TTransferEstimate::TTransferEstimate(int rate, const TTakeLevels& levels)
    : state(std::make_unique<TState>(rate, levels, segmentLength(rate))), length(segmentLength(rate)),
      hop(length / 2) {}

TTransferEstimate::TTransferEstimate(int rate, bool integerSource)
    : TTransferEstimate(rate, defaultLevels(integerSource)) {}

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
        // A sample at or beyond its channel's clip level (or not a number) is clipped; look for the
        // last one only when the block holds any.
        const double pickupLimit = s.clipLevel[0], micLimit = s.clipLevel[1];
        bool clipped = false;
        for (std::int64_t j = 0; j < n; ++j) {
            p[j] = pickup[(i + j) * stride];
            m[j] = mic[(i + j) * stride];
            clipped |= !(std::fabs(p[j]) < pickupLimit) | !(std::fabs(m[j]) < micLimit);
        }
        for (std::int64_t j = n - 1; clipped && j >= 0; --j) {
            if (!(std::fabs(p[j]) < pickupLimit) || !(std::fabs(m[j]) < micLimit)) {
                s.lastClipped = fed + j;
                break;
            }
        }
        if (clipped) // what is clipped adds nothing to the sums
            for (std::int64_t j = 0; j < n; ++j) {
                p[j] = std::fabs(p[j]) < pickupLimit ? p[j] : 0.0;
                m[j] = std::fabs(m[j]) < micLimit ? m[j] : 0.0;
            }
        s.filled += static_cast<int>(n);
        fed += n;
        i += n;
        if (s.filled == hop || s.filled == s.L) {
            // A half is complete.
            const int done = s.filled == hop ? s.olderBase : hop - s.olderBase;
            s.pickupEnergy[done == 0 ? 0 : 1] = energy(s.pickup.data() + done, hop);
            s.micEnergy[done == 0 ? 0 : 1] = energy(s.mic.data() + done, hop);
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
    if (s.lastClipped >= fed - s.L) {
        s.clippedSamples += counted;
        return;
    }
    s.loudestPickup = std::max(s.loudestPickup, pickupRms);
    s.loudestMic = std::max(s.loudestMic, micRms);
    if (pickupRms < s.levels.pickup.silenceRms || micRms < s.levels.mic.silenceRms) {
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
    // The analysis' bins, for all usable segments and for the loud or quiet group this one is in.
    TSpectrumSums* groups[3] = {&s.all, nullptr, nullptr};
    if (pickupRms >= s.levels.loudRms)
        groups[1] = &s.loud;
    if (pickupRms <= s.levels.quietRms)
        groups[2] = &s.quiet;
    for (TSpectrumSums* g : groups) {
        if (g == nullptr)
            continue;
        ++g->segments;
        for (int k = 0; k <= blockLength / 2; ++k) {
            const Complex p = ps[k * s.step];
            const Complex m = ms[k * s.step];
            const double pp = norm(p);
            g->spp[k] += pp;
            g->smm[k] += norm(m);
            g->spm[k].re += p.re * m.re + p.im * m.im; // conj(p) * m
            g->spm[k].im += p.re * m.im - p.im * m.re;
            g->spp2[k] += pp * pp;
        }
    }
}

const std::vector<Complex>& TTransferEstimate::crossSpectrum() const {
    return state->all.spm;
}

int TTransferEstimate::usableSegments() const {
    return state->all.segments;
}

TTransferResult TTransferEstimate::finish() const {
    const TState& s = *state;
    TTransferResult r;
    r.rate = s.rate;
    r.levels = s.levels;
    r.usableSeconds = static_cast<double>(s.usableSamples) / s.rate;
    r.silentSeconds = static_cast<double>(s.silentSamples) / s.rate;
    r.clippedSeconds = static_cast<double>(s.clippedSamples) / s.rate;
    r.usableSegments = s.all.segments;
    // A channel is silent when none of its unclipped segments reaches its silence threshold.
    const bool heard = s.clippedSamples < s.usableSamples + s.silentSamples + s.clippedSamples;
    if (heard && s.loudestPickup < s.levels.pickup.silenceRms)
        r.error = TTransferError::silentPickup;
    else if (heard && s.loudestMic < s.levels.mic.silenceRms)
        r.error = TTransferError::silentMic;
    else if (r.usableSeconds < minUsableSeconds)
        r.error = TTransferError::tooLittle;
    if (!r.ok())
        return r;
    findTransfer(s, r);
    return r;
}
