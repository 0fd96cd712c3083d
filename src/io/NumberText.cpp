#include "io/NumberText.h"

#include <charconv>

namespace {

// Large enough for the longest text any format here yields: "%1.2f" of -DBL_MAX has 313 characters.
constexpr int maxNumberText = 320;

template <typename... Args> void appendChars(std::string& out, Args... args) {
    char buf[maxNumberText];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, args...);
    out.append(buf, r.ptr);
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
    appendChars(out, v, std::chars_format::scientific, 3);
}

void appendFixed2(std::string& out, double v) {
    appendChars(out, v, std::chars_format::fixed, 2);
}

void appendInt(std::string& out, std::int64_t v) {
    appendChars(out, v);
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
