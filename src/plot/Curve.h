// One plotted curve and the list of curves that share a plot's value range.
#pragma once

#include "plot/Canvas.h"

#include <array>

// A curve: a non-owned array of values (one per plot point), its two pens, name and order.
class TCurve {
public:
    const double* data = nullptr;  // not owned; at least `count` values
    double penLimitLow = -1e100;   // values within [penLimitLow, penLimitHigh] use pens[0]
    double penLimitHigh = 1e100;   // any other value uses pens[1]
    std::array<TPen, 2> pens{};    // [0] the curve's pen, [1] the out-of-limits pen
    int layer = 0;                 // drawing order inside its list, 0 first, up to 10
    bool visible = true;           // only visible curves are ranged and drawn
    char name[203] = "---";        // legend text
    int count = 500;               // number of points, at most 500

    // Widens [min, max] to the values of points first..last (both included) below `count`.
    void getRange(double& min, double& max, int first, int last) const;
};
