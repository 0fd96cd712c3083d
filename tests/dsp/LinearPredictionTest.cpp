#include "dsp/LinearPrediction.h"
#include "dsp/FFT.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Deterministic white noise in [-0.5, 0.5).
class TNoise {
public:
    double next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(state >> 11) / double(1ULL << 53) - 0.5;
    }

private:
    std::uint64_t state = 12345;
};

std::vector<double> ar2Process(double c1, double c2) {
    TNoise noise;
    std::vector<double> x(blockLength);
    double x1 = 0, x2 = 0;
    for (double& v : x) {
        v = noise.next() - c1 * x1 - c2 * x2;
        x2 = x1;
        x1 = v;
    }
    return x;
}

TEST(LinearPrediction, AutocorrelationSumsEveryLagInOrderFromThe1e32Start) {
    std::vector<double> x = ar2Process(-1.2, 0.5);
    for (int L : {4, 7, 8, maxOrder}) {
        std::vector<double> r(L + 1);
        autocorrelate(x.data(), L, r.data());
        for (int m = 0; m <= L; ++m) {
            double sum = 1e-32;
            for (int n = 0; n + m < blockLength; ++n)
                sum += x[n] * x[n + m];
            if (m == 0)
                sum = sum * 1.0001;
            ASSERT_EQ(r[m], sum) << "L " << L << " lag " << m;
        }
    }
}

TEST(LinearPrediction, AutocorrelationOfSilenceAndOfAUnitImpulse) {
    std::vector<double> x(blockLength, 0.0), r(51);
    autocorrelate(x.data(), 50, r.data());
    EXPECT_EQ(r[0], 1e-32 * 1.0001);
    for (int m = 1; m <= 50; ++m)
        ASSERT_EQ(r[m], 1e-32);

    x[0] = 1;
    autocorrelate(x.data(), 50, r.data());
    EXPECT_EQ(r[0], (1e-32 + 1) * 1.0001);
    for (int m = 1; m <= 50; ++m)
        ASSERT_EQ(r[m], 1e-32);
}

TEST(LinearPrediction, LevinsonRecoversTheCoefficientsOfAnArProcess) {
    // x[n] + c1 x[n-1] + c2 x[n-2] = white noise: A(z) = 1 + c1 z^-1 + c2 z^-2.
    const double c1 = -1.6, c2 = 0.8;
    std::vector<double> x = ar2Process(c1, c2);
    std::vector<double> r(5), a(5);
    autocorrelate(x.data(), 4, r.data());
    levinsonDurbin(r.data(), 4, a.data());
    EXPECT_EQ(a[0], 1.0);
    EXPECT_NEAR(a[1], c1, 0.03);
    EXPECT_NEAR(a[2], c2, 0.03);
    EXPECT_NEAR(a[3], 0.0, 0.03);
    EXPECT_NEAR(a[4], 0.0, 0.03);
}

TEST(LinearPrediction, LevinsonResetsAVanishingErrorToSinglePrecisionHundredth) {
    // Order 2 predicts this sequence perfectly (E becomes 0); order 3 then divides by the floor.
    const double r[] = {1.0, 0.0, -1.0, 0.5};
    double a[4];
    levinsonDurbin(r, 3, a);
    EXPECT_EQ(a[3], -0.5 / 0.009999999776482582);
    EXPECT_TRUE(std::isfinite(a[1]) && std::isfinite(a[2]));
}

TEST(LinearPrediction, LagWindowScalesByPowersOfQ) {
    double a[] = {1.0, -1.5, 0.75, -0.25};
    lagWindow(a, 3, 0.5);
    EXPECT_EQ(a[0], 1.0);
    EXPECT_EQ(a[1], -0.75);
    EXPECT_EQ(a[2], 0.1875);
    EXPECT_EQ(a[3], -0.03125);

    double b[] = {1.0, -1.9, 0.95, 0.3, -0.2};
    lagWindow(b, 4, 0.0);
    EXPECT_EQ(b[0], 1.0);
    for (int m = 1; m <= 4; ++m)
        EXPECT_EQ(b[m], 0.0);
}

TEST(LinearPrediction, AllPoleResponseFollowsTheRecursionAndIgnoresA0) {
    std::vector<double> h(blockLength);
    const double first[] = {99.0, -0.5}; // a[0] is never read
    allPoleResponse(first, 1, h.data());
    for (int n = 0; n < 60; ++n)
        ASSERT_EQ(h[n], std::ldexp(1.0, -n));

    // A resonance: compare with the recursion evaluated directly.
    const double a[] = {1.0, -1.8, 0.9, -0.05};
    allPoleResponse(a, 3, h.data());
    std::vector<double> ref(blockLength);
    for (int n = 0; n < blockLength; ++n) {
        double sum = 0;
        for (int j = 1; j <= 3 && j <= n; ++j)
            sum += a[j] * ref[n - j];
        ref[n] = (n == 0 ? 1.0 : 0.0) - sum;
    }
    for (int n = 0; n < blockLength; ++n)
        ASSERT_NEAR(h[n], ref[n], 1e-13) << n;
}

TEST(LinearPrediction, LongOrderResponsesSumOldestTermFirstToTheLastBit) {
    // Coefficients of a lag-windowed model of a resonant signal, as the analysis makes them.
    const std::vector<double> x = ar2Process(-1.2, 0.5);
    for (int P : {8, 9, 16, 50, maxOrder}) {
        std::vector<double> r(P + 1), a(P + 1), h(blockLength), ref(blockLength);
        autocorrelate(x.data(), P, r.data());
        levinsonDurbin(r.data(), P, a.data());
        lagWindow(a.data(), P, 0.97);
        allPoleResponse(a.data(), P, h.data());
        for (int n = 0; n < blockLength; ++n) {
            double acc = n == 0 ? 1.0 : 0.0;
            for (int j = std::min(P, n); j >= 1; --j)
                acc -= a[j] * ref[n - j];
            ref[n] = acc;
        }
        for (int n = 0; n < blockLength; ++n)
            ASSERT_EQ(h[n], ref[n]) << "P " << P << " n " << n;
    }
}

TEST(LinearPrediction, LowAndHighOrdersComputeTheResponseAlike) {
    // Orders below 8 run a register form of the recursion; zero coefficients appended to reach a
    // higher order must not change a single bit.
    const double a4[] = {1.0, -2.1, 1.9, -0.88, 0.24}; // two resonances, stable
    std::vector<double> a12(13, 0.0), h4(blockLength), h12(blockLength);
    std::copy(std::begin(a4), std::end(a4), a12.begin());
    allPoleResponse(a4, 4, h4.data());
    allPoleResponse(a12.data(), 12, h12.data());
    for (int n = 0; n < blockLength; ++n)
        ASSERT_EQ(h4[n], h12[n]) << n;
}

TEST(LinearPrediction, ModelOfSilenceStaysFinite) {
    std::vector<double> x(blockLength, 0.0), r(maxOrder + 1), a(maxOrder + 1), h(blockLength);
    autocorrelate(x.data(), maxOrder, r.data());
    levinsonDurbin(r.data(), maxOrder, a.data());
    lagWindow(a.data(), maxOrder, 0.97);
    allPoleResponse(a.data(), maxOrder, h.data());
    for (int n = 0; n < blockLength; ++n)
        ASSERT_TRUE(std::isfinite(h[n])) << n;
}

TEST(LinearPrediction, LevinsonReportsWhetherTheModelIsStable) {
    const std::vector<double> x = ar2Process(-1.6, 0.8);
    std::vector<double> r(maxOrder + 1), a(maxOrder + 1);
    autocorrelate(x.data(), maxOrder, r.data());
    EXPECT_TRUE(levinsonDurbin(r.data(), maxOrder, a.data()));
    const double perfect[] = {1.0, 0.0, -1.0, 0.5}; // the error vanishes at order 2
    EXPECT_FALSE(levinsonDurbin(perfect, 3, a.data()));
    const double beyond[] = {1.0, 1.5}; // |k| > 1 at once
    EXPECT_FALSE(levinsonDurbin(beyond, 1, a.data()));
    const double nan[] = {std::nan(""), 0.5, 0.2};
    EXPECT_FALSE(levinsonDurbin(nan, 2, a.data()));
}

TEST(LinearPrediction, InterleavedAutocorrelationMatchesThePlainOneWithinRounding) {
    const std::vector<double> x = ar2Process(-1.2, 0.5);
    for (int L : {1, 4, 7}) {
        std::vector<double> plain(L + 1), interleaved(L + 1);
        autocorrelate(x.data(), L, plain.data());
        autocorrelateInterleaved(x.data(), L, interleaved.data());
        for (int m = 0; m <= L; ++m)
            ASSERT_NEAR(interleaved[m], plain[m], 1e-13 * plain[0]) << "L " << L << " lag " << m;
    }
    std::vector<double> silence(blockLength, 0.0), plain(5), interleaved(5);
    autocorrelate(silence.data(), 4, plain.data());
    autocorrelateInterleaved(silence.data(), 4, interleaved.data());
    EXPECT_EQ(plain, interleaved);
}

TEST(LinearPrediction, LagWindowedModelSpectrumIsTheReciprocalOfThePredictor) {
    // The response of a stable model windowed by 0.97 dies away inside the block, so its DFT is
    // 1 / A at the bins; predictorAt evaluates A there.
    const std::vector<double> x = ar2Process(-1.6, 0.8);
    TFFT fft;
    std::vector<Complex> w(blockLength / 2), predictor(blockLength / 2), spectrum(blockLength / 2 + 1);
    for (int k = 0; k < blockLength / 2; ++k)
        w[k] = {std::cos(2 * M_PI * k / blockLength), -std::sin(2 * M_PI * k / blockLength)};
    for (int P : {4, maxOrder}) {
        std::vector<double> r(P + 1), a(P + 1), h(blockLength);
        autocorrelate(x.data(), P, r.data());
        ASSERT_TRUE(levinsonDurbin(r.data(), P, a.data()));
        lagWindow(a.data(), P, 0.97);
        allPoleResponse(a.data(), P, h.data());
        fft.forwardRealBlock(h.data(), spectrum.data());
        predictorAt(a.data(), P, w.data(), blockLength / 2, predictor.data());
        for (int k = 0; k < blockLength / 2; ++k) {
            const Complex d = predictor[k];
            const double m = d.re * d.re + d.im * d.im;
            const Complex s = spectrum[k];
            const double size = std::sqrt(s.re * s.re + s.im * s.im);
            ASSERT_NEAR(d.re / m, s.re, 1e-12 * size) << "P " << P << " bin " << k;
            ASSERT_NEAR(-d.im / m, s.im, 1e-12 * size) << "P " << P << " bin " << k;
        }
    }
}

} // namespace
