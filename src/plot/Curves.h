// A list of up to 100 curves that share one value range and one unit.
#pragma once

#include "base/Curve.h"

#include <array>
#include <string>

class TCurves {
public:
    static constexpr int slotCount = 100;

    std::array<TCurve*, slotCount> curves{}; // not owned; an empty slot is null
    int layer = 0;                           // drawing order of the list inside its plot, 0..10
    double min = 0.0;                        // drawn 8 units above the bottom edge of the axes
    double max = 1.0;                        // drawn on the top edge of the axes
    char unit[24] = "";                      // value unit, over the value axis and in the readout

    // Fits [min, max] to points first..last of every visible curve, in slot order; with no
    // visible curve the range is 0 .. 1.
    void autoRange(int first, int last);
    // True when some slot holds a visible curve.
    bool hasVisible() const;
    // Draws the visible curves layer by layer (0..10), within a layer in slot order.
    void draw(TCanvas& canvas, TPointD origin, TPointD size, const double* xNorm) const;
    // Appends to text the value at vertical position v (0 at max, 1 at min) and the unit, with a
    // leading blank and as many decimals as one hundredth of the range needs (C locale).
    void formatValue(double v, std::string& text) const;
};
