#include "base/NumberText.h"

#include <charconv>
#include <cmath>

namespace {

// Large enough for the longest text any format here yields: "%1.2f" of -DBL_MAX has 313 characters.
constexpr int maxNumberText = 320;

template <typename... Args> void appendChars(std::string& out, Args... args) {
    char buf[maxNumberText];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, args...);
    out.append(buf, r.ptr);
}

// 10^k for k = 0..22, each exact in a double.
constexpr double exactPowers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// a * 10^k (|k| <= 44) with at most two roundings, so within 3e-16 of the exact product.
double scaleByPowerOfTen(double a, int k) {
    if (k >= 0)
        return k <= 22 ? a * exactPowers[k] : a * exactPowers[22] * exactPowers[k - 22];
    return -k <= 22 ? a / exactPowers[-k] : a / exactPowers[22] / exactPowers[-k - 22];
}

// "%1.3e" for the common case: v finite, 1e-40 <= |v| < 1e26, and its four significant digits
// not near a rounding tie. The scaled mantissa is then off by far less than its distance to a
// tie, so rounding it gives printf's digits. False (nothing appended) in every other case.
bool appendExp3Quickly(std::string& out, double v) {
    const double a = std::fabs(v);
    if (!(a >= 1e-40 && a < 1e26))
        return false;
    int e = static_cast<int>(std::floor(std::log10(a)));
    double m = scaleByPowerOfTen(a, 3 - e); // [1000, 10000) when e is right
    if (m < 1000) {
        --e;
        m = scaleByPowerOfTen(a, 3 - e);
    } else if (m >= 10000) {
        ++e;
        m = scaleByPowerOfTen(a, 3 - e);
    }
    const double whole = std::floor(m);
    const double fraction = m - whole;
    if (m < 1000 || m >= 10000 || std::fabs(fraction - 0.5) < 1e-6)
        return false;
    int digits = static_cast<int>(whole) + (fraction > 0.5 ? 1 : 0);
    if (digits == 10000) {
        digits = 1000;
        ++e;
    }
    char text[12];
    char* p = text;
    if (std::signbit(v))
        *p++ = '-';
    *p++ = static_cast<char>('0' + digits / 1000);
    *p++ = '.';
    *p++ = static_cast<char>('0' + digits / 100 % 10);
    *p++ = static_cast<char>('0' + digits / 10 % 10);
    *p++ = static_cast<char>('0' + digits % 10);
    *p++ = 'e';
    *p++ = e < 0 ? '-' : '+';
    const int magnitude = e < 0 ? -e : e; // below 100 in this range
    *p++ = static_cast<char>('0' + magnitude / 10);
    *p++ = static_cast<char>('0' + magnitude % 10);
    out.append(text, p);
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view skipBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

} // namespace

void appendExp3(std::string& out, double v) {
    if (!appendExp3Quickly(out, v))
        appendChars(out, v, std::chars_format::scientific, 3);
}

void appendFixed2(std::string& out, double v) {
    appendChars(out, v, std::chars_format::fixed, 2);
}

void appendInt(std::string& out, std::int64_t v) {
    appendChars(out, v);
}

void appendInts(std::string& out, std::span<const std::int32_t> values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            out += ' ';
        appendInt(out, values[i]);
    }
}

double parseDoublePrefix(std::string_view s) {
    s = skipBlanks(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    // from_chars accepts no sign of its own here (one was taken above), so "+-1" is not a number.
    if (s.empty() || s.front() == '-')
        return 0.0;
    double v = 0.0;
    const std::from_chars_result r = std::from_chars(s.data(), s.data() + s.size(), v);
    // A number beyond the double range (either way) is not usable: 0.0, like no number at all.
    if (r.ec != std::errc())
        return 0.0;
    return negative ? -v : v;
}

std::int32_t parseIntPrefix(std::string_view s, bool* whole) {
    if (whole)
        *whole = false;
    s = skipBlanks(s);
    std::string_view digits = s;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
        digits.remove_prefix(1);
    if (digits.empty() || digits.front() < '0' || digits.front() > '9')
        return 0;
    // from_chars takes '-' but not '+'; parse from the sign when it is '-'.
    const char* first = !s.empty() && s.front() == '-' ? s.data() : digits.data();
    std::int32_t v = 0;
    const std::from_chars_result r = std::from_chars(first, s.data() + s.size(), v);
    if (r.ec != std::errc())
        return 0;
    if (whole)
        *whole = r.ptr == s.data() + s.size();
    return v;
}
