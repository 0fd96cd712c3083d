// The pixels QPainter's raster engine sets for an aliased cosmetic line of width 1 with square
// caps, when the line needs no clipping (both ends inside the image and its clip): the same 26.6
// and 16.16 fixed-point walk along the major axis, so that a line drawn here and one drawn by
// QPainter::drawLines cover exactly the same pixels. Each line stands on its own: both end pixels
// are drawn, nothing is joined to a previous line. Lines of length zero are not covered.
#pragma once

#include <cstdlib>
#include <utility>

namespace cosmetic_line {

// a * 2^16 / b in 16.16, truncated toward zero.
inline int fixedDivide(int a, int b) {
    if (std::abs(a) > 0x7fff)
        return static_cast<int>(static_cast<long long>(a) * 65536 / b);
    return a * 65536 / b;
}

} // namespace cosmetic_line

// A device coordinate in 26.6 fixed point, truncated as the raster engine does.
inline int toFixed26(double v) {
    return static_cast<int>(v * 64.);
}

namespace cosmetic_line {

// The walk along the major axis a from (a1, b1) to (a2, b2), 26.6 fixed point: one pixel per
// major step, the minor coordinate from a 16.16 walk; the caps reach half a pixel out. Calls
// step(a, b) with the pixel's major and minor coordinates; nothing where a1 == a2.
template <class Step> void walk(int a1, int b1, int a2, int b2, Step&& step) {
    if (a1 > a2) {
        std::swap(a1, a2);
        std::swap(b1, b2);
    }
    if (a1 == a2)
        return;
    const int binc = fixedDivide(b2 - b1, a2 - a1);
    int b = b1 * (1 << 10) - (binc >> 1);
    a1 -= 32;
    a2 += 32;
    int a = (a1 + 32) >> 6;
    const int aEnd = (a2 + 32) >> 6;
    const int round = binc > 0 ? 32 : 0;
    if (a == aEnd)
        return;
    b += ((a * 64) + round - a1) * binc >> 6;
    do {
        step(a, b >> 16);
        b += binc;
    } while (++a < aEnd);
}

} // namespace cosmetic_line

// Calls plot(x, y) for every pixel of the line between two points given in 26.6 fixed point
// (device pixels times 64). Coordinates must lie within 0 .. 16383 pixels, so that the walk
// cannot overflow; plot may be called one pixel beyond a fractional end.
template <class Plot> void cosmeticLinePixels(int x1, int y1, int x2, int y2, Plot&& plot) {
    if (std::abs(x2 - x1) < std::abs(y2 - y1)) // steep: one pixel per row
        cosmetic_line::walk(y1, x1, y2, x2, [&plot](int y, int x) { plot(x, y); });
    else // flat: one pixel per column
        cosmetic_line::walk(x1, y1, x2, y2, plot);
}
