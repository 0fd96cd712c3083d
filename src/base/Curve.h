// One plotted curve: a non-owned array of values, its pens, name and drawing order. The record
// lives here so that the analyzer's output channels can hold one; it is drawn by the plots
// (plot/Curve.cpp), the only place that may call draw.
#pragma once

#include "base/Pen.h"

#include <array>

class TCanvas;

// Points of a frequency-domain curve, and the size of a plot's x position table.
constexpr int maxCurvePoints = 500;

// A pair of logical coordinates (a corner or a size of the axis rectangle).
struct TPointD {
    double x = 0.0;
    double y = 0.0;
};

// A curve: a non-owned array of values (one per plot point), its two pens, name and order.
class TCurve {
public:
    const double* data = nullptr; // not owned; at least `count` values
    double penLimitLow = -1e100;  // values within [penLimitLow, penLimitHigh] use pens[0]
    double penLimitHigh = 1e100;  // any other value uses pens[1]
    std::array<TPen, 2> pens{};   // [0] the curve's pen, [1] the out-of-limits pen
    int layer = 0;                // drawing order inside its list, 0 first, up to 10
    bool visible = true;          // only visible curves are ranged and drawn
    char name[203] = "---";       // legend text
    int count = 500;              // number of points, at most 500

    // Widens [min, max] to the values of points first..last (both included) below `count`.
    void getRange(double& min, double& max, int first, int last) const;

    // Draws the curve as a polyline in logical units against the value range [min, max]: max on
    // the top edge of the axis rectangle (origin, size), min 8 units above its bottom edge; point
    // i at the fraction xNorm[i] of the axis length between 8 units inside either side. Each
    // segment takes pens[0] or pens[1] by the value at its end. The canvas pen is restored.
    void draw(TCanvas& canvas, TPointD origin, TPointD size, const double* xNorm, double min,
              double max) const;
};
