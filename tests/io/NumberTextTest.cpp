#include "base/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

namespace {

// printf in the C locale (the tests run in it) is the reference for every written number.
std::string printfText(const char* format, double v) {
    char buf[400];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

TEST(NumberText, FormatsLikePrintf) {
    std::mt19937_64 gen(3);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-310, 310);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  0.5,
                                  9.9995,
                                  9.9994999,
                                  1.0005,
                                  2.675,
                                  5.0,
                                  1e-320,
                                  std::numeric_limits<double>::max(),
                                  -std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::nan("")};
    for (int i = 0; i < 20000; ++i)
        values.push_back(mantissa(gen) * std::pow(10.0, exponent(gen) % (i % 2 ? 300 : 8)));
    for (double v : values) {
        std::string e, f;
        appendExp3(e, v);
        ASSERT_EQ(e, printfText("%1.3e", v)) << v;
        appendFixed2(f, v);
        ASSERT_EQ(f, printfText("%1.2f", v)) << v;
    }
    std::string i;
    appendInt(i, -2147483648LL);
    EXPECT_EQ(i, "-2147483648");
}

TEST(NumberText, FourSignificantDigitsRoundTiesAndNearTiesLikePrintf) {
    std::vector<double> values;
    // Exact decimal ties (d.dddd5 and dyadic fractions), their neighbours, and the carry into the
    // next power of ten, across the exponents the body data and project files hold.
    for (int d = 1000; d < 10000; d += 7) {
        for (const double scale : {1.0, 10.0, 1000.0, 1e6, 0.5, 0.25, 0.0625, 1.0 / 1024}) {
            const double tie = (d + 0.5) * scale;
            values.insert(values.end(), {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300), -tie});
        }
        values.push_back(d / 4096.0);
        values.push_back(d * 0.001);
    }
    for (int e = -45; e <= 30; ++e)
        for (const double m : {9.9995, 9.99949999999, 9.9999999, 1.0, 0.99999999999})
            values.push_back(m * std::pow(10.0, e));
    std::mt19937_64 gen(5);
    std::uniform_real_distribution<double> exponent(-42.0, 27.0);
    for (int i = 0; i < 200000; ++i)
        values.push_back((i % 2 ? 1 : -1) * std::pow(10.0, exponent(gen)));
    for (const double v : values) {
        std::string e;
        appendExp3(e, v);
        ASSERT_EQ(e, printfText("%1.3e", v)) << v;
    }
}

TEST(NumberText, ParsesLikeStrtodAndAtoi) {
    EXPECT_EQ(parseDoublePrefix("1.234e-05"), 1.234e-05);
    EXPECT_EQ(parseDoublePrefix(" +2.5xyz"), 2.5);
    EXPECT_EQ(parseDoublePrefix("-.5"), -0.5);
    EXPECT_EQ(parseDoublePrefix("1e"), 1.0);
    EXPECT_EQ(parseDoublePrefix("abc"), 0.0);
    EXPECT_EQ(parseDoublePrefix("+-1"), 0.0);
    EXPECT_EQ(parseDoublePrefix("1e999"), 0.0);
    EXPECT_TRUE(std::isinf(parseDoublePrefix("-inf")));
    EXPECT_TRUE(std::isnan(parseDoublePrefix("nan")));

    bool whole = false;
    EXPECT_EQ(parseIntPrefix("48000", &whole), 48000);
    EXPECT_TRUE(whole);
    EXPECT_EQ(parseIntPrefix("+7", &whole), 7);
    EXPECT_TRUE(whole);
    EXPECT_EQ(parseIntPrefix("-12.5", &whole), -12);
    EXPECT_FALSE(whole);
    EXPECT_EQ(parseIntPrefix("x1", &whole), 0);
    EXPECT_FALSE(whole);
    EXPECT_EQ(parseIntPrefix("99999999999", &whole), 0);
    EXPECT_FALSE(whole);
}

} // namespace
