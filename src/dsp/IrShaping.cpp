#include "dsp/IrShaping.h"

#include "dsp/IrResampling.h"
#include "dsp/MinimumPhase.h"

#include <algorithm>
#include <cmath>

namespace {

// The lag (as a fraction of the length) at which the target's smoothing falls to 1/e.
constexpr double holdFraction = 1.0;

} // namespace

int irFadeSamples(int length, int rate) {
    return std::min(length / 4, static_cast<int>(std::lround(irFadeMs * 0.001 * rate)));
}

std::vector<double> shapeImpulseResponse(std::span<const double> ir, int filterRate, const TIrShape& shape) {
    const int rate = shape.rate > 0 ? shape.rate : filterRate;
    const std::vector<double> source = resampleImpulseResponse(ir, filterRate, rate);
    const int fade = irFadeSamples(shape.length, rate);
    if (shape.phase == TIrPhase::minimum)
        return minimumPhaseResponse(source, {shape.length, holdFraction, fade});
    std::vector<double> out(static_cast<std::size_t>(shape.length));
    std::copy_n(source.begin(), std::min(source.size(), out.size()), out.begin());
    if (out.size() < source.size())
        fadeOutSamples(out, fade);
    return out;
}
