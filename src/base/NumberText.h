// Numbers as text, always in the C locale whatever the process locale is (the window runs with the
// user's locale, where the decimal separator may be a comma). Nothing here consults the locale.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Appends v as printf's "%1.3e" does: four significant digits, at least two exponent digits.
void appendExp3(std::string& out, double v);
// Appends v as printf's "%1.2f" (or "%2.2f") does: two decimals.
void appendFixed2(std::string& out, double v);
// Appends v as printf's "%d" does.
void appendInt(std::string& out, std::int64_t v);
// Appends the values as appendInt does, one blank between them.
void appendInts(std::string& out, std::span<const std::int32_t> values);

// Like strtod on one piece of text: leading white space and a sign are allowed, the longest numeric
// prefix is used, 0.0 if there is none or if it lies beyond the double range. "inf" and "nan"
// come back as they are; callers decide what to accept.
double parseDoublePrefix(std::string_view s);
// Like atoi: leading white space, an optional sign and the leading digits; 0 if there are none or
// if the number does not fit a 32-bit signed integer. `whole` tells whether the piece held an
// integer and nothing else.
std::int32_t parseIntPrefix(std::string_view s, bool* whole = nullptr);
