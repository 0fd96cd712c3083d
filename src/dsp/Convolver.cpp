#include "dsp/Convolver.h"

#include <algorithm>

namespace {

constexpr int bins = TConvolver::transformLength / 2 + 1; // a real filter's spectrum, the rest mirrored

} // namespace

struct TConvolver::TBuffers {
    // The input of a hop: block one in the real parts, block two in the imaginary parts, the last
    // maxTaps values zero. After the forward transform it takes the left product, then the right
    // output.
    alignas(TFFT::alignment) std::array<Complex, transformLength> input{};
    // The forward transform of the input, then the left output.
    alignas(TFFT::alignment) std::array<Complex, transformLength> spectrum{};
    alignas(TFFT::alignment) std::array<Complex, transformLength> rightProduct{};
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

namespace {

// A bin of the input's spectrum times a filter's bin; past the bins kept, a real filter's bin is
// the conjugate of its mirror.
inline Complex times(const Complex& x, const Complex& h) {
    return {x.re * h.re - x.im * h.im, x.re * h.im + x.im * h.re};
}
inline Complex timesConjugate(const Complex& x, const Complex& h) {
    return {x.re * h.re + x.im * h.im, x.im * h.re - x.re * h.im};
}

} // namespace

// One hop of overlap-add over two blocks at once: the input times a filter gives, in the real
// parts, block one's block + maxTaps - 1 output samples and, in the imaginary parts, block two's.
void TConvolver::processHop(int validFrames, const TOutput& output) {
    TBuffers& d = *b;
    Complex* x = d.input.data();
    if (validFrames < hop) { // the last hop: what was not pushed is silence
        for (int k = std::min(validFrames, block); k < block; ++k)
            x[k].re = 0.0;
        for (int k = std::max(validFrames - block, 0); k < block; ++k)
            x[k].im = 0.0;
    }
    fft.transformAligned(x, d.spectrum.data(), transformLength, false);
    const Complex* s = d.spectrum.data();
    const Complex* left = d.filter[0].data();
    const Complex* right = d.filter[1].data();
    Complex* r = d.rightProduct.data();
    for (int k = 0; k < bins; ++k) {
        x[k] = times(s[k], left[k]);
        r[k] = times(s[k], right[k]);
    }
    for (int k = bins; k < transformLength; ++k) {
        x[k] = timesConjugate(s[k], left[transformLength - k]);
        r[k] = timesConjugate(s[k], right[transformLength - k]);
    }
    fft.transformAligned(x, d.spectrum.data(), transformLength, true);
    fft.transformAligned(r, x, transformLength, true);
    pendingFrames = 0;
    emit(0, std::min(validFrames, block), output);
    if (validFrames > block)
        emit(block, validFrames - block, output);
    // The next hop's pushes fill the first block of values again; the rest must be zero.
    std::fill(x + block, x + transformLength, Complex{});
}

// Emits `frames` output frames of the block starting at `start` (0 or block) of the hop just
// transformed, and for the second block keeps what rings on.
void TConvolver::emit(int start, int frames, const TOutput& output) {
    TBuffers& d = *b;
    for (int side = 0; side < 2; ++side) {
        const Complex* y = side == 0 ? d.spectrum.data() : d.input.data();
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
