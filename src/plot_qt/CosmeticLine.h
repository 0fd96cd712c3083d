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

// Calls plot(x, y) for every pixel of the line between two points given in 26.6 fixed point
// (device pixels times 64). Coordinates must lie within 0 .. 16383 pixels, so that the walk
// cannot overflow; plot may be called one pixel beyond a fractional end.
template <class Plot> void cosmeticLinePixels(int x1, int y1, int x2, int y2, Plot&& plot) {
    using cosmetic_line::fixedDivide;
    if (std::abs(x2 - x1) < std::abs(y2 - y1)) {
        // Steep: one pixel per row, the column from a 16.16 walk; the caps reach half a pixel out.
        if (y1 > y2) {
            std::swap(y1, y2);
            std::swap(x1, x2);
        }
        const int xinc = fixedDivide(x2 - x1, y2 - y1);
        int x = x1 * (1 << 10) - (xinc >> 1);
        y1 -= 32;
        y2 += 32;
        int y = (y1 + 32) >> 6;
        const int yEnd = (y2 + 32) >> 6;
        const int round = xinc > 0 ? 32 : 0;
        if (y == yEnd)
            return;
        x += ((y * 64) + round - y1) * xinc >> 6;
        do {
            plot(x >> 16, y);
            x += xinc;
        } while (++y < yEnd);
    } else {
        // Flat: one pixel per column, the row from the walk.
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        if (x1 == x2)
            return;
        const int yinc = fixedDivide(y2 - y1, x2 - x1);
        int y = y1 * (1 << 10) - (yinc >> 1);
        x1 -= 32;
        x2 += 32;
        int x = (x1 + 32) >> 6;
        const int xEnd = (x2 + 32) >> 6;
        const int round = yinc > 0 ? 32 : 0;
        if (x == xEnd)
            return;
        y += ((x * 64) + round - x1) * yinc >> 6;
        do {
            plot(x, y >> 16);
            y += yinc;
        } while (++x < xEnd);
    }
}
