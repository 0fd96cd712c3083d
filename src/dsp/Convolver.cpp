#include "dsp/Convolver.h"

#include <algorithm>

namespace {

constexpr int binsOf(int n) {
    return n / 2 + 1;
}

} // namespace

TConvolver::TConvolver(std::span<const double> left, std::span<const double> right)
    : fft(transformLength), leftSpectrum(binsOf(transformLength)), rightSpectrum(binsOf(transformLength)),
      inputSpectrum(binsOf(transformLength)), pending(hop, 0.0), leftTail(maxTaps, 0.0),
      rightTail(maxTaps, 0.0), interleaved(2 * static_cast<size_t>(hop), 0.0f) {
    // Each filter's spectrum, with the backward transform's factor n folded in.
    const double scale = 1.0 / transformLength;
    for (int side = 0; side < 2; ++side) {
        const std::span<const double> taps = side == 0 ? left : right;
        std::vector<Complex>& target = side == 0 ? leftSpectrum : rightSpectrum;
        double* t = fft.real();
        std::fill(t, t + transformLength, 0.0);
        const size_t count = std::min<size_t>(taps.size(), maxTaps);
        for (size_t k = 0; k < count; ++k)
            t[k] = taps[k] * scale;
        fft.forward();
        std::copy(fft.spectrum(), fft.spectrum() + binsOf(transformLength), target.begin());
    }
}

void TConvolver::push(const float* input, std::int64_t frames, const TOutput& output) {
    while (frames > 0) {
        const int take = static_cast<int>(std::min<std::int64_t>(frames, hop - pendingFrames));
        std::copy(input, input + take, pending.begin() + pendingFrames);
        pendingFrames += take;
        input += take;
        frames -= take;
        if (pendingFrames == hop)
            processHop(hop, output);
    }
}

void TConvolver::finish(const TOutput& output) {
    if (pendingFrames > 0)
        processHop(pendingFrames, output);
    std::fill(leftTail.begin(), leftTail.end(), 0.0);
    std::fill(rightTail.begin(), rightTail.end(), 0.0);
}

// One hop of overlap-add: the hop's input, zero-padded to the transform length, times each
// filter gives hop + maxTaps - 1 samples; the first maxTaps of them take the previous hop's tail,
// the last maxTaps become the next one's.
void TConvolver::processHop(int validFrames, const TOutput& output) {
    double* t = fft.real();
    std::copy(pending.begin(), pending.begin() + validFrames, t);
    std::fill(t + validFrames, t + transformLength, 0.0);
    fft.forward();
    std::copy(fft.spectrum(), fft.spectrum() + binsOf(transformLength), inputSpectrum.begin());

    for (int side = 0; side < 2; ++side) {
        const std::vector<Complex>& h = side == 0 ? leftSpectrum : rightSpectrum;
        std::vector<double>& tail = side == 0 ? leftTail : rightTail;
        Complex* s = fft.spectrum();
        for (int k = 0; k < binsOf(transformLength); ++k) {
            const Complex x = inputSpectrum[k];
            s[k] = {x.re * h[k].re - x.im * h[k].im, x.re * h[k].im + x.im * h[k].re};
        }
        fft.backward();
        for (int i = 0; i < maxTaps; ++i)
            t[i] += tail[i];
        for (int i = 0; i < validFrames; ++i)
            interleaved[2 * static_cast<size_t>(i) + side] = static_cast<float>(t[i]);
        // A partial hop is the last one: its tail is never needed.
        std::copy(t + hop, t + transformLength, tail.begin());
    }
    pendingFrames = 0;
    output(interleaved.data(), validFrames);
}
