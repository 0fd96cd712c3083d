// The streaming convolver against a direct sum: short signals, long ones fed in blocks of random
// sizes across many hops, both filters at once, and a fresh start after finish().
#include "dsp/Convolver.h"

#include "support/RandomSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {


// sum over k of h[k] x[n - k]
double directSumAt(const std::vector<float>& x, const std::vector<double>& h, std::size_t n) {
    const std::size_t kEnd = std::min(h.size(), n + 1);
    double s = 0;
    for (std::size_t k = 0; k < kEnd; ++k)
        s += h[k] * x[n - k];
    return s;
}

// Feeds x in the given block sizes (the last block takes the rest) and returns the stereo output.
std::vector<float> convolve(TConvolver& c, const std::vector<float>& x,
                            const std::vector<std::size_t>& blocks) {
    std::vector<float> out;
    const auto sink = [&out](const float* frames, int count) {
        out.insert(out.end(), frames, frames + 2 * count);
    };
    std::size_t pos = 0;
    for (const std::size_t b : blocks) {
        const std::size_t n = std::min(b, x.size() - pos);
        c.push(x.data() + pos, static_cast<std::int64_t>(n), sink);
        pos += n;
    }
    c.push(x.data() + pos, static_cast<std::int64_t>(x.size() - pos), sink);
    c.finish(sink);
    return out;
}

// Every output frame of a short signal; of a long one, those within 40 frames of each hop's edges
// and every 97th.
std::vector<std::size_t> checkedFrames(std::size_t length) {
    std::vector<std::size_t> frames;
    for (std::size_t n = 0; n < length; ++n) {
        const std::size_t inHop = n % TConvolver::hop;
        if (length <= 10000 || inHop < 40 || inHop >= TConvolver::hop - 40 || n % 97 == 0)
            frames.push_back(n);
    }
    return frames;
}

// Largest difference of one side of `stereo` from the direct sum over the checked frames,
// relative to the largest direct sum there.
double relativeError(const std::vector<float>& stereo, int side, const std::vector<float>& x,
                     const std::vector<double>& h) {
    double peak = 0, err = 0;
    for (const std::size_t n : checkedFrames(x.size())) {
        const double expected = directSumAt(x, h, n);
        peak = std::max(peak, std::abs(expected));
        err = std::max(err, std::abs(stereo[2 * n + side] - expected));
    }
    return peak > 0 ? err / peak : err;
}

// Float output: two units in the last place of the peak (the transforms add about 1e-15).
constexpr double floatPrecision = 0x1p-22;

} // namespace

TEST(Convolver, ShortSignalsEqualTheDirectSum) {
    const std::vector<double> left = decayingTaps(TConvolver::maxTaps, 1);
    const std::vector<double> right = decayingTaps(300, 2);
    TConvolver c(left, right);
    for (const std::size_t length : {1u, 2u, 17u, 8191u, 8192u, 8193u}) {
        const std::vector<float> x = uniformNoise(length, 3 + static_cast<unsigned>(length));
        const std::vector<float> y = convolve(c, x, {});
        ASSERT_EQ(y.size(), 2 * length);
        EXPECT_LT(relativeError(y, 0, x, left), floatPrecision) << length;
        EXPECT_LT(relativeError(y, 1, x, right), floatPrecision) << length;
    }
}

TEST(Convolver, AUnitImpulseFilterDelaysByItsPosition) {
    std::vector<double> left(TConvolver::maxTaps, 0.0), right(TConvolver::maxTaps, 0.0);
    left[0] = 1.0;
    right[TConvolver::maxTaps - 1] = -0.5;
    TConvolver c(left, right);
    const std::vector<float> x = uniformNoise(3 * TConvolver::hop + 5, 9);
    const std::vector<float> y = convolve(c, x, {1000});
    ASSERT_EQ(y.size(), 2 * x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        ASSERT_NEAR(y[2 * n], x[n], 1e-6) << n;
        const double delayed = n >= TConvolver::maxTaps - 1 ? -0.5 * x[n - (TConvolver::maxTaps - 1)] : 0.0;
        ASSERT_NEAR(y[2 * n + 1], delayed, 1e-6) << n;
    }
}

TEST(Convolver, RandomBlockBoundariesAcrossManyHopsEqualTheDirectSum) {
    const std::vector<double> left = decayingTaps(TConvolver::maxTaps, 11);
    const std::vector<double> right = decayingTaps(TConvolver::maxTaps, 12);
    TConvolver c(left, right);
    const std::vector<float> x = uniformNoise(3 * TConvolver::hop + 1234, 13);
    std::mt19937 gen(14);
    std::uniform_int_distribution<std::size_t> size(0, 2 * TConvolver::hop);
    std::vector<std::size_t> blocks{0, 1, 1, TConvolver::hop - 2, TConvolver::hop};
    while (blocks.size() < 40)
        blocks.push_back(blocks.size() % 3 ? size(gen) % 100 : size(gen));
    const std::vector<float> y = convolve(c, x, blocks);
    ASSERT_EQ(y.size(), 2 * x.size());
    EXPECT_LT(relativeError(y, 0, x, left), floatPrecision);
    EXPECT_LT(relativeError(y, 1, x, right), floatPrecision);
}

TEST(Convolver, FinishStartsAgainFromSilenceAndAnEmptyFilterIsSilent) {
    const std::vector<double> left = decayingTaps(TConvolver::maxTaps, 21);
    TConvolver c(left, {});
    const std::vector<float> first = uniformNoise(TConvolver::hop + 10, 22);
    convolve(c, first, {});
    const std::vector<float> x = uniformNoise(5000, 23);
    const std::vector<float> y = convolve(c, x, {});
    EXPECT_LT(relativeError(y, 0, x, left), floatPrecision);
    for (std::size_t n = 0; n < x.size(); ++n)
        ASSERT_EQ(y[2 * n + 1], 0.0f);
}
