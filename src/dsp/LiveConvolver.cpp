#include "dsp/LiveConvolver.h"

#include <algorithm>

namespace {

constexpr size_t spectraSize =
    static_cast<size_t>(TLiveConvolver::partitions) * (TLiveConvolver::blockFrames + 1);

} // namespace

TLiveConvolver::TLiveConvolver(std::span<const double> left, std::span<const double> right)
    : fft(transformLength), prepareFft(transformLength), historyRe(spectraSize, 0.0),
      historyIm(spectraSize, 0.0), accRe(bins, 0.0), accIm(bins, 0.0), window(transformLength, 0.0),
      pendingIn(blockFrames, 0.0f), readyOut(2 * blockFrames, 0.0f), firstSide(blockFrames, 0.0) {
    for (TFilterSet& set : sets)
        for (int side = 0; side < 2; ++side) {
            set.re[side].assign(spectraSize, 0.0);
            set.im[side].assign(spectraSize, 0.0);
        }
    prepare(sets[0], left, right);
}

// Each partition of blockFrames taps, zero-padded to the transform length, with the backward
// transform's factor folded in.
void TLiveConvolver::prepare(TFilterSet& set, std::span<const double> left, std::span<const double> right) {
    const double scale = 1.0 / transformLength;
    for (int side = 0; side < 2; ++side) {
        const std::span<const double> taps = side == 0 ? left : right;
        const int count = static_cast<int>(std::min<size_t>(taps.size(), maxTaps));
        for (int p = 0; p < partitions; ++p) {
            double* t = prepareFft.real();
            std::fill(t, t + transformLength, 0.0);
            for (int k = p * blockFrames; k < std::min(count, (p + 1) * blockFrames); ++k)
                t[k - p * blockFrames] = taps[k] * scale;
            prepareFft.forward();
            const Complex* s = prepareFft.spectrum();
            for (int k = 0; k < bins; ++k) {
                set.re[side][static_cast<size_t>(p) * bins + k] = s[k].re;
                set.im[side][static_cast<size_t>(p) * bins + k] = s[k].im;
            }
        }
    }
}

bool TLiveConvolver::stage(std::span<const double> left, std::span<const double> right) {
    if (state.load(std::memory_order_acquire) != idle)
        return false;
    prepare(sets[1 - active.load(std::memory_order_relaxed)], left, right);
    state.store(staged, std::memory_order_release);
    return true;
}

void TLiveConvolver::reset() {
    std::fill(historyRe.begin(), historyRe.end(), 0.0);
    std::fill(historyIm.begin(), historyIm.end(), 0.0);
    std::fill(window.begin(), window.end(), 0.0);
    std::fill(readyOut.begin(), readyOut.end(), 0.0f);
    filled = 0;
    if (state.load(std::memory_order_acquire) != idle) {
        active.store(1 - active.load(std::memory_order_relaxed), std::memory_order_relaxed);
        state.store(idle, std::memory_order_release);
    }
}

void TLiveConvolver::process(const float* input, float* stereo, int frames) {
    while (frames > 0) {
        const int n = std::min(frames, blockFrames - filled);
        std::copy(readyOut.begin() + 2 * filled, readyOut.begin() + 2 * (filled + n), stereo);
        std::copy(input, input + n, pendingIn.begin() + filled);
        filled += n;
        input += n;
        stereo += 2 * n;
        frames -= n;
        if (filled == blockFrames) {
            computeBlock();
            filled = 0;
        }
    }
}

void TLiveConvolver::filterBlock(const TFilterSet& set, int side) {
    std::fill(accRe.begin(), accRe.end(), 0.0);
    std::fill(accIm.begin(), accIm.end(), 0.0);
    double* __restrict ar = accRe.data();
    double* __restrict ai = accIm.data();
    for (int p = 0; p < partitions; ++p) {
        const int slot = newest - p < 0 ? newest - p + partitions : newest - p;
        const double* __restrict xr = historyRe.data() + static_cast<size_t>(slot) * bins;
        const double* __restrict xi = historyIm.data() + static_cast<size_t>(slot) * bins;
        const double* __restrict hr = set.re[side].data() + static_cast<size_t>(p) * bins;
        const double* __restrict hi = set.im[side].data() + static_cast<size_t>(p) * bins;
        for (int k = 0; k < bins; ++k) {
            ar[k] += xr[k] * hr[k] - xi[k] * hi[k];
            ai[k] += xr[k] * hi[k] + xi[k] * hr[k];
        }
    }
    Complex* s = fft.spectrum();
    for (int k = 0; k < bins; ++k)
        s[k] = {ar[k], ai[k]};
    fft.backward();
}

// Overlap-save: the transform of the last two input blocks joins the ring of input spectra; of each
// side's circular convolution only the last blockFrames values are the block's output.
void TLiveConvolver::computeBlock() {
    std::copy(window.begin() + blockFrames, window.end(), window.begin());
    std::copy(pendingIn.begin(), pendingIn.end(), window.begin() + blockFrames);
    std::copy(window.begin(), window.end(), fft.real());
    fft.forward();
    newest = (newest + 1) % partitions;
    const Complex* s = fft.spectrum();
    for (int k = 0; k < bins; ++k) {
        historyRe[static_cast<size_t>(newest) * bins + k] = s[k].re;
        historyIm[static_cast<size_t>(newest) * bins + k] = s[k].im;
    }

    if (state.load(std::memory_order_acquire) == staged) {
        state.store(fading, std::memory_order_relaxed);
        fadeBlock = 0;
    }
    const bool fade = state.load(std::memory_order_relaxed) == fading;
    const int heard = active.load(std::memory_order_relaxed);
    const double* y = fft.real() + blockFrames;
    for (int side = 0; side < 2; ++side) {
        filterBlock(sets[heard], side);
        if (fade) {
            // Linear crossfade from the heard set to the staged one over fadeFrames frames.
            std::copy(y, y + blockFrames, firstSide.begin());
            filterBlock(sets[1 - heard], side);
            for (int i = 0; i < blockFrames; ++i) {
                const double w = static_cast<double>(fadeBlock * blockFrames + i + 1) / fadeFrames;
                readyOut[2 * i + side] = static_cast<float>((1 - w) * firstSide[i] + w * y[i]);
            }
        } else {
            for (int i = 0; i < blockFrames; ++i)
                readyOut[2 * i + side] = static_cast<float>(y[i]);
        }
    }
    if (fade && ++fadeBlock == fadeBlocks) {
        active.store(1 - heard, std::memory_order_relaxed);
        state.store(idle, std::memory_order_release);
    }
}
