#include "dsp/FFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

TEST(FFT, UnitImpulseForwardIsFlatAndBackwardScalesByLength) {
    auto fft = std::make_unique<TFFT>();
    const int n = 8192;
    std::vector<Complex> x(n), spectrum(n), back(n);
    x[0] = {1.0, 0.0};
    fft->transform(x.data(), spectrum.data(), n, false);
    for (const Complex& c : spectrum) {
        EXPECT_DOUBLE_EQ(c.re, 1.0);
        EXPECT_DOUBLE_EQ(c.im, 0.0);
    }
    fft->transform(spectrum.data(), back.data(), n, true);
    EXPECT_NEAR(back[0].re, n, 1e-9);
    for (int i = 1; i < n; ++i)
        EXPECT_NEAR(std::abs(back[i].re) + std::abs(back[i].im), 0.0, 1e-9);
}

TEST(FFT, SignConventionForwardIsNegativeExponent) {
    // x[n] = delta[n - 1] transforms to e^(-2 pi i k / N).
    TFFT fft;
    const int n = 16;
    std::vector<Complex> x(n), y(n);
    x[1] = {1.0, 0.0};
    fft.transform(x.data(), y.data(), n, false);
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(y[k].re, std::cos(2 * M_PI * k / n), 1e-12);
        EXPECT_NEAR(y[k].im, -std::sin(2 * M_PI * k / n), 1e-12);
    }
    fft.transform(x.data(), y.data(), n, true);
    EXPECT_NEAR(y[1].im, std::sin(2 * M_PI / n), 1e-12);
}

TEST(FFT, InPlaceMatchesOutOfPlaceAndTouchesOnlyNValues) {
    TFFT fft;
    for (int n = 2; n <= TFFT::maxLength; n *= 2) {
        std::vector<Complex> x(n + 4), y(n + 4, Complex{7.0, 7.0});
        for (int i = 0; i < n; ++i)
            x[i] = {std::sin(0.37 * i), std::cos(0.11 * i * i)};
        x[n] = {5.0, 5.0};
        fft.transform(x.data(), y.data(), n, false);
        fft.transform(x.data(), x.data(), n, false);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(x[i].re, y[i].re) << "n=" << n << " i=" << i;
            ASSERT_EQ(x[i].im, y[i].im);
        }
        EXPECT_EQ(y[n].re, 7.0);
        EXPECT_EQ(x[n].re, 5.0);
    }
}

TEST(FFT, RoundTripOfLength8192ReturnsLengthTimesInput) {
    TFFT fft;
    const int n = 8192;
    std::vector<Complex> x(n), y(n), z(n);
    for (int i = 0; i < n; ++i)
        x[i] = {std::sin(0.01 * i) * std::exp(-0.001 * i), 0.25 * std::cos(0.3 * i)};
    fft.transform(x.data(), y.data(), n, false);
    fft.transform(y.data(), z.data(), n, true);
    for (int i = 0; i < n; ++i) {
        ASSERT_NEAR(z[i].re, n * x[i].re, 1e-9);
        ASSERT_NEAR(z[i].im, n * x[i].im, 1e-9);
    }
}

// Room for a block of real samples and its half spectrum, aligned for the engine or a double off.
struct RealBlockArrays {
    alignas(TFFT::alignment) double samples[blockLength + 8];
    alignas(TFFT::alignment) Complex spectrum[blockLength / 2 + 8];
};

TEST(FFT, RealBlockTransformsMatchTheComplexOneOnAlignedAndUnalignedArrays) {
    TFFT fft;
    std::vector<Complex> x(blockLength), full(blockLength);
    for (int i = 0; i < blockLength; ++i)
        x[i] = {std::sin(0.013 * i) * std::exp(-0.0007 * i) + 0.3 * std::cos(0.9 * i * i), 0.0};
    fft.transform(x.data(), full.data(), blockLength, false);
    auto arrays = std::make_unique<RealBlockArrays>();
    for (const int offset : {0, 1}) {
        double* samples = arrays->samples + offset;
        Complex* spectrum = reinterpret_cast<Complex*>(reinterpret_cast<double*>(arrays->spectrum) + offset);
        for (int i = 0; i < blockLength; ++i)
            samples[i] = x[i].re;
        fft.forwardRealBlock(samples, spectrum);
        for (int k = 0; k <= blockLength / 2; ++k) {
            ASSERT_NEAR(spectrum[k].re, full[k].re, 1e-11) << "offset " << offset << " bin " << k;
            ASSERT_NEAR(spectrum[k].im, full[k].im, 1e-11) << "offset " << offset << " bin " << k;
        }
        EXPECT_EQ(spectrum[0].im, 0.0);
        EXPECT_EQ(spectrum[blockLength / 2].im, 0.0);
        EXPECT_EQ(samples[blockLength - 1], x[blockLength - 1].re); // the input is kept

        // The imaginary parts of the outer bins are ignored on the way back.
        spectrum[0].im = 3.0;
        spectrum[blockLength / 2].im = -2.0;
        fft.inverseRealBlock(spectrum, samples);
        for (int i = 0; i < blockLength; ++i)
            ASSERT_NEAR(samples[i], blockLength * x[i].re, 1e-8) << "offset " << offset << " sample " << i;
    }
}

// Bytes the C heap has handed out (FFTW allocates through malloc), including mapped blocks.
std::size_t heapInUse() {
    const struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Whether heapInUse() follows malloc in this build (a sanitizer's allocator is not counted by it).
bool heapIsCounted() {
    const std::size_t before = heapInUse();
    void* volatile p = std::malloc(1 << 20);
    const bool counted = heapInUse() > before;
    std::free(p);
    return counted;
}

TEST(FFT, NoTransformOfAnyLengthAllocates) {
    const bool counted = heapIsCounted();
    TFFT fft;
    std::vector<Complex> x(TFFT::maxLength), y(TFFT::maxLength);
    for (int i = 0; i < TFFT::maxLength; ++i)
        x[i] = {std::sin(0.37 * i), std::cos(0.11 * i)};
    auto arrays = std::make_unique<RealBlockArrays>();
    const std::size_t start = heapInUse();
    for (int n = 2; n <= TFFT::maxLength; n *= 2) {
        fft.transform(x.data(), y.data(), n, false);
        fft.transform(y.data(), y.data(), n, true);
        ASSERT_NEAR(y[n - 1].re, n * x[n - 1].re, 1e-9 * n) << n;
    }
    for (const int offset : {0, 1}) {
        fft.forwardRealBlock(arrays->samples + offset, arrays->spectrum);
        fft.inverseRealBlock(arrays->spectrum, arrays->samples + offset);
    }
    if (counted) {
        EXPECT_EQ(heapInUse(), start);
    }
}

} // namespace
