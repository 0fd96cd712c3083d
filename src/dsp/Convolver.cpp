#include "dsp/Convolver.h"

#include <algorithm>

namespace {

constexpr int bins = TConvolver::transformLength / 2 + 1; // a real filter's spectrum, the rest mirrored

} // namespace

struct TConvolver::TBuffers {
    // The input of a hop: block one in the real parts, block two in the imaginary parts, the last
    // maxTaps values zero; after the forward transform, the product of one side.
    alignas(TFFT::alignment) std::array<Complex, transformLength> input{};
    // The forward transform of the input; after the left product is made, the right output.
    alignas(TFFT::alignment) std::array<Complex, transformLength> spectrum{};
    alignas(TFFT::alignment) std::array<Complex, transformLength> leftOut{};
    // Each filter's spectrum, bins 0 .. transformLength / 2, scaled by 1 / transformLength.
    std::array<std::array<Complex, bins>, 2> filter{};
    // What rings on past the hop, for the next one, per side.
    std::array<std::array<double, maxTaps>, 2> tail{};
    std::array<float, 2 * block> interleaved{}; // a block of output frames
};

TConvolver::TConvolver(std::span<const double> left, std::span<const double> right)
    : b(std::make_unique<TBuffers>()) {
    // Each filter's spectrum, with the backward transform's factor n folded in.
    const double scale = 1.0 / transformLength;
    for (int side = 0; side < 2; ++side) {
        const std::span<const double> taps = side == 0 ? left : right;
        const size_t count = std::min<size_t>(taps.size(), maxTaps);
        for (size_t k = 0; k < count; ++k)
            b->input[k] = {taps[k] * scale, 0.0};
        fft.transformAligned(b->input.data(), b->spectrum.data(), transformLength, false);
        std::copy(b->spectrum.begin(), b->spectrum.begin() + bins, b->filter[side].begin());
        b->input.fill({});
    }
}

TConvolver::~TConvolver() = default;

void TConvolver::push(const float* input, std::int64_t frames, const TOutput& output) {
    while (frames > 0) {
        const int take = static_cast<int>(std::min<std::int64_t>(frames, hop - pendingFrames));
        const int first = std::clamp(block - pendingFrames, 0, take); // samples for block one
        Complex* to = b->input.data() + pendingFrames;
        for (int i = 0; i < first; ++i)
            to[i].re = input[i];
        to = b->input.data() + (pendingFrames + first - block); // block two, where take > first
        for (int i = first; i < take; ++i)
            to[i - first].im = input[i];
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
    for (auto& t : b->tail)
        t.fill(0.0);
}

// One hop of overlap-add over two blocks at once: the input times a filter gives, in the real
// parts, block one's block + maxTaps - 1 output samples and, in the imaginary parts, block two's.
void TConvolver::processHop(int validFrames, const TOutput& output) {
    TBuffers& d = *b;
    fft.transformAligned(d.input.data(), d.spectrum.data(), transformLength, false);
    for (int side = 0; side < 2; ++side) {
        const std::array<Complex, bins>& h = d.filter[side];
        Complex* x = d.spectrum.data();
        Complex* y = d.input.data();
        for (int k = 0; k < bins; ++k)
            y[k] = {x[k].re * h[k].re - x[k].im * h[k].im, x[k].re * h[k].im + x[k].im * h[k].re};
        // The upper bins of a real filter are the mirror of the lower ones, conjugated.
        for (int k = bins; k < transformLength; ++k) {
            const Complex g = h[transformLength - k];
            y[k] = {x[k].re * g.re + x[k].im * g.im, x[k].im * g.re - x[k].re * g.im};
        }
        // The spectrum is needed no more once the right product is made: it takes that output.
        fft.transformAligned(y, side == 0 ? d.leftOut.data() : d.spectrum.data(), transformLength, true);
    }
    d.input.fill({});
    pendingFrames = 0;
    emit(0, std::min(validFrames, block), output);
    if (validFrames > block)
        emit(block, validFrames - block, output);
}

// Emits `frames` output frames of the block starting at `start` (0 or block) of the hop just
// transformed, and for the second block keeps what rings on.
void TConvolver::emit(int start, int frames, const TOutput& output) {
    TBuffers& d = *b;
    for (int side = 0; side < 2; ++side) {
        const Complex* y = side == 0 ? d.leftOut.data() : d.spectrum.data();
        std::array<double, maxTaps>& tail = d.tail[side];
        float* out = d.interleaved.data() + side;
        if (start == 0) {
            for (int i = 0; i < maxTaps; ++i)
                out[2 * i] = static_cast<float>(y[i].re + tail[i]);
            for (int i = maxTaps; i < frames; ++i)
                out[2 * i] = static_cast<float>(y[i].re);
        } else {
            for (int i = 0; i < maxTaps; ++i)
                out[2 * i] = static_cast<float>(y[i].im + y[block + i].re);
            for (int i = maxTaps; i < frames; ++i)
                out[2 * i] = static_cast<float>(y[i].im);
            for (int i = 0; i < maxTaps; ++i)
                tail[i] = y[block + i].im;
        }
    }
    output(d.interleaved.data(), frames);
}
