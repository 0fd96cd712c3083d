// The numeric field's conversions between typed text and values, free of Qt so that they can be
// exercised on their own (tests, fuzzing).
#pragma once

#include <cstdint>
#include <string_view>

// Longest prefix of the field's text that is read; the rest is ignored.
inline constexpr std::size_t editNumReadLength = 98;

// The value a typed text stands for. `latin1` is the field's text as 8-bit characters; only its
// first editNumReadLength characters, up to a NUL, are read, with the C-locale text-to-double
// conversion (leading blanks skipped, longest numeric prefix, 0.0 if none).
// - dbDisplay: the number is a level in dB and the result is 10^(t/20) / scale (0.0 for -inf dB).
// - otherwise a text containing "e" or "E" is the value itself; any other text is divided by scale.
// The result may be NaN or infinite ("nan", "inf", huge numbers); the field's limit check refuses
// those. scale 0 gives an infinite or NaN result, refused the same way.
double editNumTextValue(std::string_view latin1, double scale, bool dbDisplay);

// The whole number an int binding stores for `value`: rounded half up (floor of value + 0.5) for
// negative values too, clamped to the int32 range so that no value can overflow the conversion;
// NaN gives the int32 minimum.
std::int32_t editNumIntValue(double value);
