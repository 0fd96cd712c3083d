#include "io/NumberText.h"

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
