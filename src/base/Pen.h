// Pens of the plots and strips, plain values the core's curve records can hold. Colours are
// 24-bit values 0x00BBGGRR (0x0000FF is red, 0xFF0000 is blue).
#pragma once

#include <cstdint>

using TColor = std::uint32_t;

enum class TPenStyle { solid, dot };

// A pen is a plain value: copying it copies colour, width (device pixels) and style.
struct TPen {
    TColor color = 0x000000;
    int width = 1;
    TPenStyle style = TPenStyle::solid;

    bool operator==(const TPen&) const = default;
};
